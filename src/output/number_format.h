#pragma once
// Number formatting for every writer of reports and data files.
//
// The report and the data files keep the look they have always had, so the
// printf formats are read the way the program's first C runtime read them:
// - Every exponent of an e, E, g or G conversion has at least three digits:
//   "% .4le" of 1 gives " 1.0000e+000", "%lg" of 1e-5 gives "1e-005". The
//   field width counts the widened exponent, so "% -20.12le" fills exactly
//   20 characters.
// - Infinity and NaN are written "inf" and "nan" ("INF" and "NAN" for the
//   upper-case conversions E, F, G, A). Negative infinity carries a "-"; a
//   positive infinity and every NaN (whatever its sign bit) take the "+" or
//   blank of the flags. They are padded with blanks to the field width, never
//   with zeros, so a column of numbers keeps its width.
// - The largest double is written like any other number ("% .4le" gives
//   " 1.7977e+308").
// - The decimal point is always ".", whatever locale the process runs in.
//
// Widths and precisions are clamped to kMaxFieldWidth, so no format can ask
// for more than a few kilobytes per conversion. The conversion "%n" writes
// nothing and stores nothing. A malformed conversion is copied to the output
// as it stands.

#include <cstdarg>
#include <string>

namespace vireon {

// Digits that every exponent is widened to.
inline constexpr int kExponentDigits = 3;
// Largest width and precision honoured; larger ones are taken as this.
inline constexpr int kMaxFieldWidth = 4096;

// printf with the rules above for every conversion of the format. The
// compiler checks the arguments against a literal format.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* format, std::va_list args);
// Format, appended to out.
void AppendFormat(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Formats one double. The first floating conversion of the format (f, F, e,
// E, g, G, a, A, with or without "l", and with literal width and precision)
// takes the value; "%%" gives "%"; every other conversion, a second floating
// one included, is copied as it stands. Safe for any format text.
std::string FormatNumber(const char* format, double value);

// "% .*le": a blank or "-", then the value with `precision` decimals in
// exponent form (the report's number form).
std::string FormatExponential(double value, int precision);

// "% -*.*le" with the width and width - 8 decimals: one column of a data
// file, left-aligned and exactly `width` characters wide for every finite
// value and for infinity and NaN (width 8 to 25 as the Tasks page offers;
// below 8 the precision is negative, which printf takes as six decimals).
std::string FormatColumnValue(double value, int width);
// FormatColumnValue, appended to out.
void AppendColumnValue(std::string& out, double value, int width);

// "%lg": six significant digits, fixed or exponent form.
std::string FormatGeneral(double value);

// A real for a file that will be read back: the text `format` gives (one
// floating conversion, e.g. "%.16lf"), or, when that text would not read
// back as the same double, 17 significant digits in exponent form, so that
// saving never loses a value (a constant of 1e-20 would be 0 in "%.16lf").
// Unlike the reports and data files, these files keep the exponent as the C
// library writes it, with at least two digits: "%le" of 10 is
// "1.000000e+01", as in the expression records the same files hold.
std::string FormatRealExactly(const char* format, double value);

}  // namespace vireon
