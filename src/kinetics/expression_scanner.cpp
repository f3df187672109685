#include "kinetics/expression_scanner.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace vireon {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsAlphanumeric(char c) {
  return IsDigit(c) || IsLetter(c);
}

std::size_t CountDigits(std::string_view text, std::size_t from) {
  std::size_t end = from;
  while (end < text.size() && IsDigit(text[end])) ++end;
  return end - from;
}

// The decimal exponent of the leading digit of a number token that the
// conversion found out of range: positive means too large, negative too small.
long long ApproximateDecimalExponent(std::string_view text) {
  std::size_t point = text.find_first_of(".eE");
  std::string_view mantissa = text.substr(0, text.find_first_of("eE"));
  long long exponent = 0;
  std::size_t e = text.find_first_of("eE");
  if (e != std::string_view::npos) {
    std::string_view digits = text.substr(e + 1);
    bool negative = !digits.empty() && digits[0] == '-';
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) digits.remove_prefix(1);
    // Saturate: only the sign of the total matters for a value out of range.
    for (char c : digits) {
      exponent = exponent * 10 + (c - '0');
      if (exponent > 1000000000LL) break;
    }
    if (negative) exponent = -exponent;
  }
  std::size_t integerEnd = point == std::string_view::npos ? mantissa.size() : point;
  std::size_t firstNonZero = mantissa.find_first_not_of("0.");
  if (firstNonZero == std::string_view::npos) return -1;  // zero never overflows
  if (firstNonZero < integerEnd)
    return exponent + static_cast<long long>(integerEnd - firstNonZero) - 1;
  return exponent - static_cast<long long>(firstNonZero - integerEnd);
}

}  // namespace

std::size_t MatchNumber(std::string_view text, const ExpressionDialect&) {
  std::size_t length = CountDigits(text, 0);
  if (length == 0) return 0;
  if (length < text.size() && text[length] == '.') length += 1 + CountDigits(text, length + 1);
  if (length < text.size() && (text[length] == 'e' || text[length] == 'E')) {
    std::size_t exponent = length + 1;
    if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
    std::size_t digits = CountDigits(text, exponent);
    if (digits > 0) length = exponent + digits;
  }
  return length;
}

std::size_t MatchFunctionName(std::string_view text, const ExpressionDialect& dialect) {
  std::size_t longest = 0;
  for (const FunctionSpelling& spelling : dialect.functions) {
    if (spelling.text.size() > longest && text.starts_with(spelling.text)) {
      longest = spelling.text.size();
    }
  }
  return longest;
}

std::size_t MatchOperator(std::string_view text, const ExpressionDialect&) {
  if (text.empty()) return 0;
  return std::string_view("+-*/^()").find(text[0]) != std::string_view::npos ? 1 : 0;
}

std::size_t MatchComma(std::string_view text, const ExpressionDialect&) {
  return !text.empty() && text[0] == ',' ? 1 : 0;
}

std::size_t MatchCallName(std::string_view text, const ExpressionDialect& dialect) {
  for (const CallFunction& function : dialect.callFunctions) {
    if (!text.starts_with(function.text)) continue;
    std::size_t next = function.text.size();
    if (next < text.size() && IsAlphanumeric(text[next])) continue;
    while (next < text.size() && MatchBlank(text.substr(next), dialect) == 1) ++next;
    if (next < text.size() && text[next] == '(') return function.text.size();
  }
  return 0;
}

std::size_t MatchIdentifier(std::string_view text, const ExpressionDialect&) {
  if (text.empty() || !IsLetter(text[0])) return 0;
  std::size_t length = 1;
  while (length < text.size() && IsAlphanumeric(text[length])) ++length;
  return length;
}

std::size_t MatchLetter(std::string_view text, const ExpressionDialect&) {
  return !text.empty() && IsLetter(text[0]) ? 1 : 0;
}

std::size_t MatchAlphanumericRun(std::string_view text, const ExpressionDialect&) {
  std::size_t length = 0;
  while (length < text.size() && IsAlphanumeric(text[length])) ++length;
  return length >= 2 ? length : 0;
}

std::size_t MatchBlank(std::string_view text, const ExpressionDialect&) {
  if (text.empty()) return 0;
  char c = text[0];
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' ? 1 : 0;
}

double NumberValue(std::string_view text) {
  double value = 0.0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  (void)end;
  if (error == std::errc::result_out_of_range) {
    return ApproximateDecimalExponent(text) > 0 ? HUGE_VAL : 0.0;
  }
  if (error != std::errc()) return 0.0;
  return value;
}

TokenScan ScanExpression(std::string_view text, const ExpressionDialect& dialect) {
  TokenScan result;
  std::size_t offset = 0;
  while (offset < text.size()) {
    std::string_view rest = text.substr(offset);
    std::size_t bestLength = 0;
    TokenClass bestClass = TokenClass::kInvalid;
    for (const TokenRule& rule : dialect.rules) {
      std::size_t length = rule.match(rest, dialect);
      if (length > bestLength) {
        bestLength = length;
        bestClass = rule.tokenClass;
      }
    }
    if (bestLength == 0 || bestClass == TokenClass::kInvalid) {
      result.ok = false;
      result.invalidOffset = offset;
      result.tokens.clear();
      return result;
    }
    if (bestClass != TokenClass::kBlank) {
      result.tokens.push_back(Token{bestClass, offset, rest.substr(0, bestLength)});
    }
    offset += bestLength;
  }
  return result;
}

}  // namespace vireon
