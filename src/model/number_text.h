#pragma once
// Reading a number a person typed into a field, and writing one back, in
// the "C" locale whatever locale the program runs in: "2.5" is two and a
// half for every user, as it is in the files. Every entry field of the
// program reads its numbers here. (The model file's own fields keep the
// reading of its record cursor, which takes what the C library's scanf
// took, so that files read back byte for byte.)

#include <optional>
#include <string>
#include <string_view>

namespace vireon {

// How much of the text the number must fill.
enum class NumberExtent {
  kWhole,   // the whole text, blanks after the number allowed
  kPrefix,  // the start of the text, as "%lf" reads: whatever follows is left
};

// Which reals are taken.
enum class NumberRange {
  kFinite,  // refuses "inf", "nan" and values beyond the largest double (1e999)
  kAny,     // also "inf", "infinity" and "nan" (any case), and overflow as infinity
};

// A real in decimal or exponent form ("-2", "+.5", "1e-3", "7."), after
// any blanks (C isspace), with at most one sign. A value that underflows
// the doubles ("1e-400") is refused. nullopt when no number is there, when
// more than blanks follow it in kWhole, or when it is out of `range`.
std::optional<double> ParseReal(std::string_view text, NumberExtent extent = NumberExtent::kWhole,
                                NumberRange range = NumberRange::kFinite);

// Why a field refuses `text` as ParseReal reads it, in words that follow
// the quoted text: "is empty", "is not a number", "is not a finite number"
// ("inf", "nan"), "is beyond the largest number (about 1.8e308)",
// "is too close to zero (below about 2.2e-308)". Empty when it is taken.
std::string RealRefusal(std::string_view text, NumberExtent extent = NumberExtent::kWhole,
                        NumberRange range = NumberRange::kFinite);
// The message that refuses a typed number, naming the field:
// 'Km: "1e999" is beyond the largest number (about 1.8e308).'
// Empty when the text is taken.
std::string RealRefusalMessage(std::string_view field, std::string_view text,
                               NumberExtent extent = NumberExtent::kWhole,
                               NumberRange range = NumberRange::kFinite);

// A decimal integer within the range of int, after any blanks, with at most
// one sign; nullopt otherwise ("2.5" in kWhole, "99999999999").
std::optional<int> ParseInteger(std::string_view text, NumberExtent extent = NumberExtent::kWhole);

// "%.*lg" in the "C" locale: a real with that many significant digits.
std::string RealText(double value, int significantDigits);

}  // namespace vireon
