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

// The position of the ">" that closes a tag or a declaration opened before
// `from`, skipping quoted attribute values, or the end of the text. Within
// a declaration such as <!DOCTYPE ...> a ">" inside the brackets of its
// internal subset closes one of its own declarations, not it.
std::size_t ClosingBracket(std::string_view text, std::size_t from, bool declaration) {
  int brackets = 0;
  char quote = 0;
  for (std::size_t i = from; i < text.size(); ++i) {
    const char c = text[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (declaration && c == '[') {
      ++brackets;
    } else if (declaration && c == ']') {
      brackets = std::max(0, brackets - 1);
    } else if (c == '>' && brackets == 0) {
      return i;
    }
  }
  return text.size();
}

// The position just after the ">" that closes a tag opened before `from`;
// `empty` tells whether it was "/>".
std::size_t AfterTag(std::string_view text, std::size_t from, bool& empty) {
  const std::size_t close = ClosingBracket(text, from, /*declaration=*/false);
  if (close == text.size()) {
    empty = false;
    return close;
  }
  empty = close > from && text[close - 1] == '/';
  return close + 1;
}

// The position just after a declaration such as <!DOCTYPE ...>.
std::size_t AfterDeclaration(std::string_view text, std::size_t from) {
  const std::size_t close = ClosingBracket(text, from, /*declaration=*/true);
  return close == text.size() ? close : close + 1;
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
