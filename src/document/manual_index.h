#pragma once
// The user manual as a list of sections that Help > Search looks through:
// the manual cut at its headings (the Markdown source, or the HTML page the
// build makes of it), and a search by words that ranks the sections that
// hold every word. The dialogs' Help buttons open the section of a title.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vireon {

struct ManualSection {
  std::string title;  // the heading's text, without its "#" marks
  int level = 1;      // 1 for "#", 2 for "##", ...
  std::string text;   // the markup from the heading up to the next heading
  std::string plain;  // the same as plain text: HTML tags dropped, entities decoded
};

enum class ManualFormat { kMarkdown, kHtml };

struct ManualHit {
  int section = 0;      // index into the sections
  int score = 0;        // higher first
  std::string excerpt;  // the first line of the section that holds a word, trimmed
};

class ManualIndex {
 public:
  // Markdown is cut at its heading lines ("# ", "## ", ...), where lines in
  // fenced code blocks are never headings; HTML at its <h1> ... <h6>
  // elements, and its </body> ends the last section. Text before the first
  // heading belongs to no section.
  ManualIndex(std::string_view manual, ManualFormat format);

  const std::vector<ManualSection>& sections() const { return sections_; }
  ManualFormat format() const { return format_; }

  // The sections that hold every word of the query (letters and digits,
  // any case; the words of the query are split at anything else), best
  // first: a word in the title counts kTitleWeight, every other occurrence
  // one. Ties keep the manual's order. Empty for a query without words.
  std::vector<ManualHit> Search(std::string_view query) const;

  // The first section whose title is `title` or begins with it (any
  // case), or -1.
  int FindSection(std::string_view title) const;

  static constexpr int kTitleWeight = 10;

 private:
  void CutMarkdown(std::string_view markdown);
  void CutHtml(std::string_view html);

  ManualFormat format_;
  std::vector<ManualSection> sections_;
  std::vector<std::string> lowered_;  // each section's plain text in lower case
};

// Reads the manual at `path`, HTML when its name ends in ".html", Markdown
// otherwise; nullopt, with the reason in `why`, when it cannot be read.
std::optional<ManualIndex> ReadManual(const std::filesystem::path& path, std::string& why);

}  // namespace vireon
