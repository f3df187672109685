#include "sbml/xml_depth.h"

#include <algorithm>

namespace vireon::sbml {

namespace {

// The position just after the first `end` at or after `from`, or the end of
// the text.
std::size_t After(std::string_view text, std::size_t from, std::string_view end) {
  const std::size_t found = text.find(end, from);
  return found == std::string_view::npos ? text.size() : found + end.size();
}

// The position just after the ">" that closes a tag opened before `from`,
// skipping quoted attribute values; `empty` tells whether it was "/>".
std::size_t AfterTag(std::string_view text, std::size_t from, bool& empty) {
  char quote = 0;
  for (std::size_t i = from; i < text.size(); ++i) {
    const char c = text[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      empty = i > from && text[i - 1] == '/';
      return i + 1;
    }
  }
  empty = false;
  return text.size();
}

// The position just after a declaration such as <!DOCTYPE ...>, whose
// internal subset in brackets may hold declarations of its own.
std::size_t AfterDeclaration(std::string_view text, std::size_t from) {
  int brackets = 0;
  char quote = 0;
  for (std::size_t i = from; i < text.size(); ++i) {
    const char c = text[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '[') {
      ++brackets;
    } else if (c == ']') {
      brackets = std::max(0, brackets - 1);
    } else if (c == '>' && brackets == 0) {
      return i + 1;
    }
  }
  return text.size();
}

}  // namespace

XmlDepth MeasureXmlDepth(std::string_view text, int limit) {
  XmlDepth result;
  int depth = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t open = text.find('<', i);
    if (open == std::string_view::npos) break;
    const std::string_view rest = text.substr(open);
    if (rest.starts_with("<!--")) {
      i = After(text, open + 4, "-->");
    } else if (rest.starts_with("<![CDATA[")) {
      i = After(text, open + 9, "]]>");
    } else if (rest.starts_with("<?")) {
      i = After(text, open + 2, "?>");
    } else if (rest.starts_with("<!")) {
      i = AfterDeclaration(text, open + 2);
      if (text.substr(open, i - open).find("<!ENTITY") != std::string_view::npos) {
        result.entity = true;
      }
    } else if (rest.starts_with("</")) {
      bool empty = false;
      i = AfterTag(text, open + 2, empty);
      depth = std::max(0, depth - 1);
    } else {
      bool empty = false;
      i = AfterTag(text, open + 1, empty);
      if (empty) continue;
      ++depth;
      result.depth = std::max(result.depth, depth);
      if (depth > limit) {
        result.line =
            1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(open), '\n'));
        return result;
      }
    }
  }
  return result;
}

}  // namespace vireon::sbml
