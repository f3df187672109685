#include "model/syntax_fault.h"

#include <algorithm>

namespace vireon {

namespace {

bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The offset of the next character after the one at `offset`.
std::size_t NextCharacter(std::string_view text, std::size_t offset) {
  if (offset >= text.size()) return text.size();
  ++offset;
  while (offset < text.size() && IsContinuationByte(text[offset])) ++offset;
  return offset;
}

// Moves back to the first byte of the character that holds `offset`.
std::size_t CharacterStart(std::string_view text, std::size_t offset) {
  offset = std::min(offset, text.size());
  while (offset > 0 && offset < text.size() && IsContinuationByte(text[offset])) --offset;
  return offset;
}

// `count` characters back from `offset`, not before the text's start.
std::size_t CharactersBack(std::string_view text, std::size_t offset, std::size_t count) {
  while (count > 0 && offset > 0) {
    --offset;
    while (offset > 0 && IsContinuationByte(text[offset])) --offset;
    --count;
  }
  return offset;
}

std::size_t CharactersForward(std::string_view text, std::size_t offset, std::size_t count) {
  while (count > 0 && offset < text.size()) {
    offset = NextCharacter(text, offset);
    --count;
  }
  return offset;
}

void AppendShown(std::string& out, std::string_view part) {
  for (char c : part) out.push_back(c == '\n' || c == '\r' || c == '\t' ? ' ' : c);
}

}  // namespace

std::size_t CharacterNumber(std::string_view text, std::size_t offset) {
  offset = std::min(offset, text.size());
  std::size_t number = 1;
  for (std::size_t i = 0; i < offset; ++i) {
    if (!IsContinuationByte(text[i])) ++number;
  }
  return number;
}

std::string DescribeSyntaxFault(std::string_view text, const SyntaxFault& fault) {
  const std::size_t at = CharacterStart(text, fault.offset);
  const bool atEnd = at >= text.size();
  std::string sentence = "Syntax error ";
  sentence += atEnd ? "at the end" : "at character " + std::to_string(CharacterNumber(text, at));
  if (!fault.reason.empty()) sentence += " (" + fault.reason + ")";
  sentence += ": ";
  const std::size_t from = CharactersBack(text, at, kSyntaxFaultContext);
  const std::size_t faultEnd = NextCharacter(text, at);
  const std::size_t to = CharactersForward(text, faultEnd, kSyntaxFaultContext);
  if (from > 0) sentence += "...";
  AppendShown(sentence, text.substr(from, at - from));
  sentence += "[";
  AppendShown(sentence, text.substr(at, faultEnd - at));
  sentence += "]";
  AppendShown(sentence, text.substr(faultEnd, to - faultEnd));
  if (to < text.size()) sentence += "...";
  return sentence;
}

}  // namespace vireon
