#pragma once
// The table-driven scanner of the expression engine and the matchers its
// tables are made of. Each matcher returns the length of the token of its
// class at the start of a text, 0 when there is none.

#include <cstddef>
#include <string_view>
#include <vector>

#include "kinetics/expression.h"

namespace vireon {

struct Token {
  TokenClass tokenClass = TokenClass::kInvalid;
  std::size_t offset = 0;  // in the scanned text
  std::string_view text;
};

struct TokenScan {
  std::vector<Token> tokens;  // blanks left out
  bool ok = true;             // false: an invalid token stopped the scan
  std::size_t invalidOffset = 0;
};

// Splits `text` into tokens by the dialect's table: at every position each
// line of the table is tried, the longest match wins and among equal lengths
// the earlier line; a position where no line matches, or where the winner
// is of class kInvalid, stops the scan.
TokenScan ScanExpression(std::string_view text, const ExpressionDialect& dialect);

// Digits, optionally "." and digits, optionally e or E, a sign and digits.
// A number never begins with ".".
std::size_t MatchNumber(std::string_view text, const ExpressionDialect& dialect);
// The longest of the dialect's function spellings that begins the text.
std::size_t MatchFunctionName(std::string_view text, const ExpressionDialect& dialect);
// One of + - * / ^ ( ).
std::size_t MatchOperator(std::string_view text, const ExpressionDialect& dialect);
// A comma.
std::size_t MatchComma(std::string_view text, const ExpressionDialect& dialect);
// One of the dialect's call function names, when an opening parenthesis
// follows it after blanks at most.
std::size_t MatchCallName(std::string_view text, const ExpressionDialect& dialect);
// An ASCII letter followed by ASCII letters and digits.
std::size_t MatchIdentifier(std::string_view text, const ExpressionDialect& dialect);
// A single ASCII letter.
std::size_t MatchLetter(std::string_view text, const ExpressionDialect& dialect);
// Two or more ASCII letters and digits.
std::size_t MatchAlphanumericRun(std::string_view text, const ExpressionDialect& dialect);
// One blank, tab, carriage return or line feed.
std::size_t MatchBlank(std::string_view text, const ExpressionDialect& dialect);

// The value of a number token, read as the C library's atof reads it but
// independent of the locale: a value beyond the range of double is infinite,
// one below it is 0.
double NumberValue(std::string_view text);

}  // namespace vireon
