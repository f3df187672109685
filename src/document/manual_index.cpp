#include "document/manual_index.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <utility>

namespace vireon {

namespace {

// The longest excerpt shown under a hit.
constexpr std::size_t kExcerptLength = 160;

char Lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool IsWordCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

std::string Lowered(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), Lower);
  return out;
}

std::vector<std::string> Words(std::string_view query) {
  std::vector<std::string> words;
  std::string word;
  for (char c : query) {
    if (IsWordCharacter(c)) {
      word.push_back(Lower(c));
    } else if (!word.empty()) {
      words.push_back(std::move(word));
      word.clear();
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

std::size_t CountOccurrences(std::string_view text, std::string_view word) {
  std::size_t count = 0;
  for (std::size_t at = text.find(word); at != std::string_view::npos;
       at = text.find(word, at + word.size())) {
    ++count;
  }
  return count;
}

// The heading level of a line ("## Tasks" is 2), 0 for any other line.
int HeadingLevel(std::string_view line) {
  std::size_t marks = 0;
  while (marks < line.size() && line[marks] == '#') ++marks;
  if (marks == 0 || marks > 6 || marks >= line.size() || line[marks] != ' ') return 0;
  return static_cast<int>(marks);
}

// The next "<h1" ... "<h6" tag from `from`, or npos.
std::size_t FindHtmlHeading(std::string_view html, std::size_t from) {
  for (std::size_t at = html.find("<h", from); at != std::string_view::npos;
       at = html.find("<h", at + 2)) {
    if (at + 3 < html.size() && html[at + 2] >= '1' && html[at + 2] <= '6' &&
        (html[at + 3] == '>' || html[at + 3] == ' ')) {
      return at;
    }
  }
  return std::string_view::npos;
}

// HTML as text: tags dropped (a heading or paragraph ends its line) and
// the entities the manual's converter writes decoded.
std::string PlainText(std::string_view html) {
  static constexpr std::pair<std::string_view, char> kEntities[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#39;", '\''}};
  std::string out;
  std::size_t i = 0;
  while (i < html.size()) {
    if (html[i] == '<') {
      const std::size_t close = html.find('>', i);
      if (close == std::string_view::npos) break;
      const std::string_view tag = html.substr(i, close - i);
      if (tag.starts_with("</h") || tag.starts_with("</p") || tag.starts_with("</li") ||
          tag.starts_with("<br") || tag.starts_with("</tr")) {
        out.push_back('\n');
      }
      i = close + 1;
      continue;
    }
    if (html[i] == '&') {
      bool decoded = false;
      for (const auto& [entity, character] : kEntities) {
        if (html.substr(i).starts_with(entity)) {
          out.push_back(character);
          i += entity.size();
          decoded = true;
          break;
        }
      }
      if (decoded) continue;
    }
    out.push_back(html[i++]);
  }
  return out;
}

std::string Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return "";
  const std::size_t last = text.find_last_not_of(" \t\r");
  return std::string(text.substr(first, last - first + 1));
}

}  // namespace

ManualIndex::ManualIndex(std::string_view manual, ManualFormat format) : format_(format) {
  if (format == ManualFormat::kHtml) {
    CutHtml(manual);
  } else {
    CutMarkdown(manual);
  }
  for (const ManualSection& section : sections_) lowered_.push_back(Lowered(section.plain));
}

void ManualIndex::CutMarkdown(std::string_view markdown) {
  bool inFence = false;
  std::size_t start = 0;
  while (start < markdown.size()) {
    std::size_t end = markdown.find('\n', start);
    if (end == std::string_view::npos) end = markdown.size();
    const std::string_view line = markdown.substr(start, end - start);
    if (line.starts_with("```") || line.starts_with("~~~")) inFence = !inFence;
    const int level = inFence ? 0 : HeadingLevel(line);
    if (level > 0) {
      ManualSection section;
      section.level = level;
      section.title = Trimmed(line.substr(static_cast<std::size_t>(level)));
      sections_.push_back(std::move(section));
    }
    if (!sections_.empty()) {
      sections_.back().text.append(line);
      sections_.back().text.push_back('\n');
    }
    start = end + 1;
  }
  for (ManualSection& section : sections_) section.plain = section.text;
}

void ManualIndex::CutHtml(std::string_view html) {
  std::size_t bodyEnd = html.find("</body>");
  if (bodyEnd == std::string_view::npos) bodyEnd = html.size();
  html = html.substr(0, bodyEnd);
  std::size_t at = FindHtmlHeading(html, 0);
  while (at != std::string_view::npos) {
    const int level = html[at + 2] - '0';
    const std::size_t next = FindHtmlHeading(html, at + 3);
    const std::string_view fragment =
        html.substr(at, (next == std::string_view::npos ? html.size() : next) - at);
    const std::string closing = "</h" + std::to_string(level) + ">";
    const std::size_t titleEnd = fragment.find(closing);
    ManualSection section;
    section.level = level;
    section.title = Trimmed(PlainText(fragment.substr(0, titleEnd)));
    section.text = std::string(fragment);
    section.plain = PlainText(fragment);
    sections_.push_back(std::move(section));
    at = next;
  }
}

std::vector<ManualHit> ManualIndex::Search(std::string_view query) const {
  const std::vector<std::string> words = Words(query);
  std::vector<ManualHit> hits;
  if (words.empty()) return hits;
  for (std::size_t s = 0; s < sections_.size(); ++s) {
    const std::string title = Lowered(sections_[s].title);
    int score = 0;
    bool all = true;
    for (const std::string& word : words) {
      const std::size_t inText = CountOccurrences(lowered_[s], word);
      if (inText == 0) {
        all = false;
        break;
      }
      const std::size_t inTitle = CountOccurrences(title, word);
      // The heading line is part of the text: its words count once there.
      score += static_cast<int>(inText - inTitle) + static_cast<int>(inTitle) * kTitleWeight;
    }
    if (!all) continue;
    ManualHit hit;
    hit.section = static_cast<int>(s);
    hit.score = score;
    // The first line after the heading that holds the first word.
    const std::string& text = sections_[s].plain;
    std::size_t lineStart = text.find('\n');
    while (lineStart != std::string::npos && lineStart + 1 < text.size()) {
      const std::size_t next = text.find('\n', lineStart + 1);
      const std::size_t lineEnd = next == std::string::npos ? text.size() : next;
      const std::string_view line(text.data() + lineStart + 1, lineEnd - lineStart - 1);
      if (Lowered(line).find(words.front()) != std::string::npos) {
        hit.excerpt = Trimmed(line).substr(0, kExcerptLength);
        break;
      }
      lineStart = next;
    }
    hits.push_back(std::move(hit));
  }
  std::stable_sort(hits.begin(), hits.end(),
                   [](const ManualHit& a, const ManualHit& b) { return a.score > b.score; });
  return hits;
}

int ManualIndex::FindSection(std::string_view title) const {
  const std::string wanted = Lowered(title);
  for (std::size_t s = 0; s < sections_.size(); ++s) {
    if (Lowered(sections_[s].title).starts_with(wanted)) return static_cast<int>(s);
  }
  return -1;
}

std::optional<ManualIndex> ReadManual(const std::filesystem::path& path, std::string& why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    why = "The user manual could not be found:\n" + path.string();
    return std::nullopt;
  }
  std::stringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    why = "The user manual could not be read:\n" + path.string();
    return std::nullopt;
  }
  const ManualFormat format =
      path.extension() == ".html" ? ManualFormat::kHtml : ManualFormat::kMarkdown;
  return ManualIndex(text.str(), format);
}

}  // namespace vireon
