#pragma once
// Where a text the user typed is wrong: the character at fault, what is
// wrong there, and one sentence that shows it among its neighbours, so that
// every "Syntax error" says where. The equation parser, the rate laws and
// the output functions all describe their faults through it.

#include <cstddef>
#include <string>
#include <string_view>

namespace vireon {

struct SyntaxFault {
  std::size_t offset = 0;  // byte offset of the character at fault; the text's size for its end
  std::string reason;      // what is wrong there, a phrase without a full stop
};

// Characters of the text shown on either side of the fault.
inline constexpr std::size_t kSyntaxFaultContext = 16;

// The character at a byte offset as the user counts it, from 1: every UTF-8
// sequence is one character.
std::size_t CharacterNumber(std::string_view text, std::size_t offset);

// One sentence for the user:
//   Syntax error at character 7 (a name is missing after "*"): A + 2*[=] P
//   Syntax error at the end (an operand is missing after "+"): Vmax*S/(Km+[]
// The text around the fault is cut to kSyntaxFaultContext characters on
// either side ("..." where it is cut), its line breaks and tabs shown as
// blanks, and the character at fault is put in brackets.
std::string DescribeSyntaxFault(std::string_view text, const SyntaxFault& fault);

}  // namespace vireon
