#include "output/number_format.h"

#include <locale.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <limits>
#include <string_view>
#include <type_traits>

#include "model/record_cursor.h"

namespace vireon {
namespace {

// Every conversion is handed to the C library under the "C" locale of the
// calling thread, so that a locale chosen by the GUI (a comma as decimal
// point) never reaches the files.
class CLocaleScope {
 public:
  CLocaleScope() {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (cLocale != static_cast<locale_t>(nullptr)) previous_ = uselocale(cLocale);
  }
  ~CLocaleScope() {
    if (previous_ != static_cast<locale_t>(nullptr)) uselocale(previous_);
  }
  CLocaleScope(const CLocaleScope&) = delete;
  CLocaleScope& operator=(const CLocaleScope&) = delete;

 private:
  locale_t previous_ = static_cast<locale_t>(nullptr);
};

// snprintf into a string of the length it needs. A conversion the C library
// refuses (a wide character without a narrow form) gives nothing.
template <typename... Args>
std::string Print(const char* single, Args... args) {
  char small[128];
  CLocaleScope cLocale;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  const int length = std::snprintf(small, sizeof small, single, args...);
  if (length < 0) return {};
  if (static_cast<std::size_t>(length) < sizeof small) return std::string(small, length);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), single, args...);
#pragma GCC diagnostic pop
  text.resize(static_cast<std::size_t>(length));
  return text;
}

enum class Length { kNone, kChar, kShort, kLong, kLongLong, kLongDouble, kIntMax, kSize, kPtrDiff };

// One conversion as written in a format.
struct Conversion {
  std::string_view text;  // from the "%" to the conversion character
  bool minus = false;
  bool plus = false;
  bool space = false;
  bool hash = false;
  bool zero = false;
  bool widthStar = false;
  int width = 0;
  bool precisionStar = false;
  int precision = -1;  // -1: none given
  Length length = Length::kNone;
  char conversion = '\0';
};

// Reads a run of digits, clamping the value at kMaxFieldWidth.
int ReadNumber(const char*& p) {
  int value = 0;
  while (*p >= '0' && *p <= '9') {
    value = std::min(kMaxFieldWidth, value * 10 + (*p - '0'));
    ++p;
  }
  return value;
}

// Parses the conversion that starts at the "%" at `start`. Returns false for
// a malformed one (no known conversion character).
bool ParseConversion(const char* start, Conversion& c) {
  const char* p = start + 1;
  for (;; ++p) {
    if (*p == '-') {
      c.minus = true;
    } else if (*p == '+') {
      c.plus = true;
    } else if (*p == ' ') {
      c.space = true;
    } else if (*p == '#') {
      c.hash = true;
    } else if (*p == '0') {
      c.zero = true;
    } else if (*p == '\'') {
      // Digit grouping: the "C" locale has none.
    } else {
      break;
    }
  }
  if (*p == '*') {
    c.widthStar = true;
    ++p;
  } else {
    c.width = ReadNumber(p);
  }
  if (*p == '.') {
    ++p;
    if (*p == '*') {
      c.precisionStar = true;
      ++p;
    } else {
      c.precision = ReadNumber(p);
    }
  }
  switch (*p) {
    case 'h':
      ++p;
      c.length = Length::kShort;
      if (*p == 'h') {
        ++p;
        c.length = Length::kChar;
      }
      break;
    case 'l':
      ++p;
      c.length = Length::kLong;
      if (*p == 'l') {
        ++p;
        c.length = Length::kLongLong;
      }
      break;
    case 'q':
      ++p;
      c.length = Length::kLongLong;
      break;
    case 'L':
      ++p;
      c.length = Length::kLongDouble;
      break;
    case 'j':
      ++p;
      c.length = Length::kIntMax;
      break;
    case 'z':
      ++p;
      c.length = Length::kSize;
      break;
    case 't':
      ++p;
      c.length = Length::kPtrDiff;
      break;
    default:
      break;
  }
  if (*p == '\0' || std::string_view("diouxXcsCSpnfFeEgGaA%").find(*p) == std::string_view::npos) {
    return false;
  }
  c.conversion = *p;
  c.text = std::string_view(start, static_cast<std::size_t>(p - start + 1));
  return true;
}

bool IsFloating(char conversion) {
  return std::string_view("fFeEgGaA").find(conversion) != std::string_view::npos;
}

// A width taken from the argument list: negative means left-justified.
void TakeStarWidth(Conversion& c, int width) {
  if (width < 0) {
    c.minus = true;
    c.width = width == INT_MIN ? kMaxFieldWidth : std::min(kMaxFieldWidth, -width);
  } else {
    c.width = std::min(kMaxFieldWidth, width);
  }
}

// A precision taken from the argument list: negative means none.
void TakeStarPrecision(Conversion& c, int precision) {
  c.precision = precision < 0 ? -1 : std::min(kMaxFieldWidth, precision);
}

// Pads `body` to the conversion's width: blanks on the right when
// left-justified, zeros after the sign (and "0x") when asked for, else blanks
// on the left.
std::string Pad(std::string body, const Conversion& c, bool zeroAllowed) {
  const std::size_t width = static_cast<std::size_t>(c.width);
  if (body.size() >= width) return body;
  const std::size_t fill = width - body.size();
  if (c.minus) {
    body.append(fill, ' ');
  } else if (c.zero && zeroAllowed) {
    std::size_t at = 0;
    if (at < body.size() && (body[at] == '-' || body[at] == '+' || body[at] == ' ')) ++at;
    if (at + 1 < body.size() && body[at] == '0' && (body[at + 1] == 'x' || body[at + 1] == 'X')) {
      at += 2;
    }
    body.insert(at, fill, '0');
  } else {
    body.insert(0, fill, ' ');
  }
  return body;
}

// Widens the exponent after the last "e" or "E" of `text` to kExponentDigits.
void WidenExponent(std::string& text) {
  const std::size_t e = text.find_last_of("eE");
  if (e == std::string::npos || e + 1 >= text.size()) return;
  std::size_t digits = e + 1;
  if (text[digits] == '+' || text[digits] == '-') ++digits;
  const std::size_t count = text.size() - digits;
  if (count < static_cast<std::size_t>(kExponentDigits)) {
    text.insert(digits, static_cast<std::size_t>(kExponentDigits) - count, '0');
  }
}

// Narrows a widened exponent at the end of `text` back to the two digits at
// least that the C library writes ("1.000000e+001" becomes "1.000000e+01";
// "1e-100" stays). Text that does not end in an exponent is left alone.
void NarrowExponent(std::string& text) {
  const std::size_t e = text.find_last_of("eE");
  if (e == std::string::npos || e + 2 >= text.size()) return;
  const std::size_t digits = e + 2;
  if (text[e + 1] != '+' && text[e + 1] != '-') return;
  for (std::size_t i = digits; i < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return;
  }
  while (text.size() - digits > 2 && text[digits] == '0') text.erase(digits, 1);
}

// Appends `length` characters of `text` padded as Pad does.
void AppendPadded(std::string& out, const char* text, std::size_t length, const Conversion& c) {
  const std::size_t width = static_cast<std::size_t>(c.width);
  const std::size_t fill = width > length ? width - length : 0;
  if (c.minus) {
    out.append(text, length);
    if (fill > 0) out.append(fill, ' ');
  } else if (c.zero) {
    const std::size_t sign = length > 0 && (text[0] == '-' || text[0] == '+' || text[0] == ' ');
    out.append(text, sign);
    out.append(fill, '0');
    out.append(text + sign, length - sign);
  } else {
    out.append(fill, ' ');
    out.append(text, length);
  }
}

// The digits of a number in exponent form with few decimals, the data
// files' and reports' form:
//   1. the decimal exponent E is estimated from the binary one;
//   2. y = |x| 10^(p - E) is formed, and E is corrected until
//      10^p <= y < 10^(p+1);
//   3. y is rounded to an integer; a y so close to a half that the
//      rounding errors could decide the way it goes (this includes every
//      exact tie) is left to std::to_chars;
//   4. the integer's p + 1 digits are the mantissa; rounding up to
//      10^(p+1) moves the exponent.
// Steps 2 and 3 run in double precision for every normal number whose
// power of ten a double holds, and otherwise in extended precision.
// Writes "d.ddde+XXX" (the exponent in kExponentDigits digits, as the
// reports and data files show it) and returns the end, or returns null
// when the number is not one it can do.
constexpr int kShortScientificMaxPrecision = 9;
constexpr int kExactPowerOfTen = 27;
// Far enough from a half that at most a few dozen roundings of 2^-64
// relative size, on a y below 10^10, cannot cross it.
constexpr long double kHalfMargin = 0x1p-20L;

// 10^0 ... 10^27, each exact in extended precision.
constexpr std::array<long double, kExactPowerOfTen + 1> kPowersOfTen = [] {
  std::array<long double, kExactPowerOfTen + 1> powers{};
  long double power = 1.0L;
  for (long double& p : powers) {
    p = power;
    power *= 10.0L;
  }
  return powers;
}();

long double PowerOfTenLong(int k) {
  return kPowersOfTen[static_cast<std::size_t>(k)];
}

// 10^0 ... 10^308 as doubles: each the nearest double to a product of
// extended-precision roundings, so within 1.2 units of 2^-53 of the power
// (exact up to 10^22).
constexpr int kLargestDoublePowerOfTen = 308;
constexpr std::array<double, kLargestDoublePowerOfTen + 1> kDoublePowersOfTen = [] {
  std::array<double, kLargestDoublePowerOfTen + 1> powers{};
  long double power = 1.0L;
  for (double& p : powers) {
    p = static_cast<double>(power);
    power *= 10.0L;
  }
  return powers;
}();

// y within 2.3 units of 2^-53 of the exact value, so that a rounding decided
// farther than 2^-48 y from a half is the exact value's.
constexpr double kDoubleHalfMargin = 0x1p-48;

// The binary exponent of a normal double, as frexp gives it; 0 for zero,
// subnormal and non-finite numbers.
int NormalBinaryExponent(double magnitude) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &magnitude, sizeof bits);
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  return biased == 0 || biased == 0x7ff ? 0 : biased - 1022;
}

// Steps 1 and 2: the decimal exponent E estimated from the binary one,
// floor((binaryExponent - 1) log10(2)) near enough, and corrected until
// low <= y = scale(p - E) < high. False when scale refuses a power (returns
// false) or three tries do not settle E.
template <typename Real, typename Scale>
bool SettleExponent(int binaryExponent, int precision, Real low, Real high, Scale scale,
                    int& exponent, Real& y) {
  constexpr int kLog10Of2Times2To18 = 78913;
  exponent = ((binaryExponent - 1) * kLog10Of2Times2To18) >> 18;
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (!scale(precision - exponent, y)) return false;
    if (y < low) {
      --exponent;
    } else if (y >= high) {
      ++exponent;
    } else {
      return true;
    }
  }
  return false;
}

// Steps 1 to 3 in double precision; false when the number is outside what
// they cover (a subnormal, a power of ten beyond a double's) or too near a
// half.
bool ScaleInDouble(double magnitude, int precision, std::uint64_t& digits, int& exponent) {
  const int binaryExponent = NormalBinaryExponent(magnitude);
  if (binaryExponent == 0) return false;
  const double low = kDoublePowersOfTen[static_cast<std::size_t>(precision)];
  const double high = kDoublePowersOfTen[static_cast<std::size_t>(precision + 1)];
  const auto scale = [magnitude](int k, double& y) {
    if (k > kLargestDoublePowerOfTen || k < -kLargestDoublePowerOfTen) return false;
    y = k >= 0 ? magnitude * kDoublePowersOfTen[static_cast<std::size_t>(k)]
               : magnitude / kDoublePowersOfTen[static_cast<std::size_t>(-k)];
    return true;
  };
  double y = 0.0;
  if (!SettleExponent(binaryExponent, precision, low, high, scale, exponent, y)) return false;
  // Adding and taking away 2^52 rounds y (below 2^34) to the nearest whole
  // number, without changing the rounding mode.
  constexpr double kRoundingShift = 0x1p52;
  const double nearest = (y + kRoundingShift) - kRoundingShift;
  if (std::fabs(std::fabs(y - nearest) - 0.5) < kDoubleHalfMargin * y) return false;
  digits = static_cast<std::uint64_t>(nearest);
  if (nearest == high) {
    digits = static_cast<std::uint64_t>(low);
    ++exponent;
  }
  return true;
}

// Whether extended precision carries its full 64-bit mantissa: the x87
// control word can narrow it (to 53 bits, as some programs set it).
bool FullExtendedPrecision() {
#if defined(__x86_64__) || defined(__i386__)
  unsigned short control = 0;
  __asm__("fnstcw %0" : "=m"(control));
  constexpr unsigned short kPrecisionBits = 0x300;  // 11: 64-bit mantissa
  return (control & kPrecisionBits) == kPrecisionBits;
#else
  return true;
#endif
}

// Steps 1 to 3 in extended precision, with exact powers of ten (10^27 is
// the largest that extended precision holds exactly), one rounding per
// factor; false when the number is too near a half.
bool ScaleInExtended(double magnitude, int precision, std::uint64_t& digits, int& exponent) {
  static_assert(std::numeric_limits<long double>::digits >= 64);
  // With a narrowed extended precision the margin above does not hold.
  if (!FullExtendedPrecision()) return false;
  int binaryExponent = 0;
  std::frexp(magnitude, &binaryExponent);
  const long double low = PowerOfTenLong(precision);
  const long double high = PowerOfTenLong(precision + 1);
  const auto scale = [magnitude](int k, long double& y) {
    y = magnitude;
    while (k > kExactPowerOfTen) {
      y *= PowerOfTenLong(kExactPowerOfTen);
      k -= kExactPowerOfTen;
    }
    while (k < -kExactPowerOfTen) {
      y /= PowerOfTenLong(kExactPowerOfTen);
      k += kExactPowerOfTen;
    }
    y = k >= 0 ? y * PowerOfTenLong(k) : y / PowerOfTenLong(-k);
    return true;
  };
  long double y = 0.0L;
  if (!SettleExponent(binaryExponent, precision, low, high, scale, exponent, y)) return false;
  // Adding and taking away 2^63 rounds y to the nearest whole number
  // (which fits a double exactly), without changing the rounding mode.
  constexpr long double kRoundingShift = 0x1p63L;
  const long double nearest = (y + kRoundingShift) - kRoundingShift;
  const long double distance = std::fabs(y - nearest);
  if (std::fabs(distance - 0.5L) < kHalfMargin) return false;
  digits = static_cast<std::uint64_t>(static_cast<double>(nearest));
  if (static_cast<long double>(digits) == high) {
    digits = static_cast<std::uint64_t>(low);
    ++exponent;
  }
  return true;
}

char* WriteShortScientific(char* out, double value, int precision) {
  if (precision > kShortScientificMaxPrecision || !std::isfinite(value)) return nullptr;
  const bool negative = std::signbit(value);
  const double magnitude = std::fabs(value);
  std::uint64_t digits = 0;
  int exponent = 0;
  if (magnitude != 0.0 && !ScaleInDouble(magnitude, precision, digits, exponent) &&
      !ScaleInExtended(magnitude, precision, digits, exponent)) {
    return nullptr;
  }

  char* p = out;
  if (negative) *p++ = '-';
  // The digits go straight to their places, the last one first.
  char* const point = p + 1;
  char* const lastDigit = precision > 0 ? point + precision : p;
  for (char* d = lastDigit; d > point; --d) {
    *d = static_cast<char>('0' + digits % 10);
    digits /= 10;
  }
  *p = static_cast<char>('0' + digits);
  if (precision > 0) *point = '.';
  p = lastDigit + 1;
  *p++ = 'e';
  *p++ = exponent < 0 ? '-' : '+';
  // A double's decimal exponent has three digits at most.
  static_assert(kExponentDigits == 3);
  const int shown = exponent < 0 ? -exponent : exponent;
  *p++ = static_cast<char>('0' + shown / 100);
  *p++ = static_cast<char>('0' + shown / 10 % 10);
  *p++ = static_cast<char>('0' + shown % 10);
  return p;
}

// Room for the numbers written without printf; a longer one (many
// decimals, or a large value in fixed notation) goes through printf.
constexpr std::size_t kFastNumberLength = 96;

// A finite double in e, E, f, F, g or G notation through std::to_chars,
// which writes the digits printf writes in the "C" locale, without printf's
// format parsing and locale switching: the data files and reports are made
// of thousands of such numbers. Returns false (writing nothing) for what it
// does not cover: the alternate form, and numbers longer than its buffer.
bool AppendFastFloating(std::string& out, const Conversion& c, double value) {
  std::chars_format format;
  switch (c.conversion) {
    case 'e':
    case 'E':
      format = std::chars_format::scientific;
      break;
    case 'f':
    case 'F':
      format = std::chars_format::fixed;
      break;
    case 'g':
    case 'G':
      format = std::chars_format::general;
      break;
    default:
      return false;
  }
  if (c.hash) return false;
  constexpr int kDefaultPrecision = 6;
  const int precision = c.precision >= 0 ? c.precision : kDefaultPrecision;
  // One place for the sign flag in front and one exponent digit behind.
  char buffer[kFastNumberLength + 2];
  char* begin = buffer + 1;
  char* end = format == std::chars_format::scientific
                  ? WriteShortScientific(begin, value, precision)
                  : nullptr;
  const bool shortForm = end != nullptr;
  if (end == nullptr) {
    const auto result = std::to_chars(begin, buffer + kFastNumberLength, value, format, precision);
    if (result.ec != std::errc()) return false;
    end = result.ptr;
  }
  if (*begin != '-' && (c.plus || c.space)) *--begin = c.plus ? '+' : ' ';
  char* last = end;
  if (format != std::chars_format::fixed) {
    // The short writer's exponent is complete; to_chars' may want widening.
    char* e = shortForm ? end - (kExponentDigits + 2) : std::find(begin, end, 'e');
    if (e != end) {
      if (c.conversion == 'E' || c.conversion == 'G') *e = 'E';
      char* digits = e + 2;  // after the exponent's sign
      if (last - digits < kExponentDigits) {
        const std::ptrdiff_t missing = kExponentDigits - (last - digits);
        std::memmove(digits + missing, digits, static_cast<std::size_t>(last - digits));
        std::fill(digits, digits + missing, '0');
        last += missing;
      }
    }
  }
  AppendPadded(out, begin, static_cast<std::size_t>(last - begin), c);
  return true;
}

template <typename Real>
std::string FormatFloating(const Conversion& c, Real value) {
  const bool upper = std::isupper(static_cast<unsigned char>(c.conversion)) != 0;
  if (!std::isfinite(value)) {
    std::string body;
    if (std::isinf(value) && std::signbit(value)) {
      body = "-";
    } else if (c.plus) {
      body = "+";
    } else if (c.space) {
      body = " ";
    }
    body += std::isnan(value) ? (upper ? "NAN" : "nan") : (upper ? "INF" : "inf");
    return Pad(std::move(body), c, false);
  }
  // The number is printed without its width; the width is applied after the
  // exponent has been widened.
  std::string single = "%";
  if (c.plus) single += '+';
  if (c.space) single += ' ';
  if (c.hash) single += '#';
  if (c.precision >= 0) single += '.' + std::to_string(c.precision);
  if constexpr (std::is_same_v<Real, long double>) single += 'L';
  single += c.conversion;
  std::string body = Print(single.c_str(), value);
  if (c.conversion != 'f' && c.conversion != 'F' && c.conversion != 'a' && c.conversion != 'A') {
    WidenExponent(body);
  }
  return Pad(std::move(body), c, true);
}

// FormatFloating, appended to out.
template <typename Real>
void AppendFloating(std::string& out, const Conversion& c, Real value) {
  if constexpr (std::is_same_v<Real, double>) {
    if (std::isfinite(value) && AppendFastFloating(out, c, value)) return;
  }
  out += FormatFloating(c, value);
}

// The format of one non-floating conversion, with its width and
// precision written out as numbers.
std::string SingleFormat(const Conversion& c) {
  std::string single = "%";
  if (c.minus) single += '-';
  if (c.plus) single += '+';
  if (c.space) single += ' ';
  if (c.hash) single += '#';
  if (c.zero) single += '0';
  if (c.width > 0) single += std::to_string(c.width);
  if (c.precision >= 0) single += '.' + std::to_string(c.precision);
  // Integers given "L" are read as long long, as the C library does.
  constexpr const char* kLengthText[] = {"", "hh", "h", "l", "ll", "ll", "j", "z", "t"};
  single += kLengthText[static_cast<int>(c.length)];
  single += c.conversion;
  return single;
}

// The argument list of FormatV; a struct so that it can be passed on by
// reference on every platform.
struct Arguments {
  std::va_list list;
};

std::string FormatInteger(const Conversion& c, Arguments& args) {
  const std::string single = SingleFormat(c);
  const bool isSigned = c.conversion == 'd' || c.conversion == 'i';
  switch (c.length) {
    case Length::kLong:
      return isSigned ? Print(single.c_str(), va_arg(args.list, long))
                      : Print(single.c_str(), va_arg(args.list, unsigned long));
    case Length::kLongLong:
    case Length::kLongDouble:
      return isSigned ? Print(single.c_str(), va_arg(args.list, long long))
                      : Print(single.c_str(), va_arg(args.list, unsigned long long));
    case Length::kIntMax:
      return isSigned ? Print(single.c_str(), va_arg(args.list, std::intmax_t))
                      : Print(single.c_str(), va_arg(args.list, std::uintmax_t));
    case Length::kSize:
      return isSigned ? Print(single.c_str(), va_arg(args.list, std::make_signed_t<std::size_t>))
                      : Print(single.c_str(), va_arg(args.list, std::size_t));
    case Length::kPtrDiff:
      return isSigned
                 ? Print(single.c_str(), va_arg(args.list, std::ptrdiff_t))
                 : Print(single.c_str(), va_arg(args.list, std::make_unsigned_t<std::ptrdiff_t>));
    default:
      // char and short arrive promoted to int; the format narrows them again.
      return isSigned ? Print(single.c_str(), va_arg(args.list, int))
                      : Print(single.c_str(), va_arg(args.list, unsigned int));
  }
}

// Formats one conversion whose star arguments have been taken.
std::string FormatOne(Conversion c, Arguments& args) {
  switch (c.conversion) {
    case '%':
      return "%";
    case 'd':
    case 'i':
    case 'o':
    case 'u':
    case 'x':
    case 'X':
      return FormatInteger(c, args);
    case 'c':
    case 'C':
      if (c.conversion == 'C' || c.length == Length::kLong) {
        c.conversion = 'c';
        c.length = Length::kLong;
        return Print(SingleFormat(c).c_str(), va_arg(args.list, std::wint_t));
      }
      return Print(SingleFormat(c).c_str(), va_arg(args.list, int));
    case 's':
    case 'S':
      if (c.conversion == 'S' || c.length == Length::kLong) {
        c.conversion = 's';
        c.length = Length::kLong;
        return Print(SingleFormat(c).c_str(), va_arg(args.list, const wchar_t*));
      }
      return Print(SingleFormat(c).c_str(), va_arg(args.list, const char*));
    case 'p':
      return Print(SingleFormat(c).c_str(), va_arg(args.list, void*));
    case 'n':
      // Never store through a pointer that a format asks for.
      static_cast<void>(va_arg(args.list, void*));
      return {};
    default:
      if (c.length == Length::kLongDouble) return FormatFloating(c, va_arg(args.list, long double));
      return FormatFloating(c, va_arg(args.list, double));
  }
}

// "%s" of a string: at most `precision` bytes of it, padded with blanks to
// the width (on the right when left-justified).
void AppendText(std::string& out, const char* text, const Conversion& c) {
  const std::size_t length =
      c.precision >= 0 ? strnlen(text, static_cast<std::size_t>(c.precision)) : std::strlen(text);
  const std::size_t width = static_cast<std::size_t>(c.width);
  const std::size_t fill = width > length ? width - length : 0;
  if (!c.minus) out.append(fill, ' ');
  out.append(text, length);
  if (c.minus) out.append(fill, ' ');
}

// "%d" of an int: the sign (or the "+" or blank of the flags), at least
// `precision` digits (none for 0 with precision 0), padded to the width with
// blanks, or with zeros after the sign when asked for without a precision.
void AppendInteger(std::string& out, int value, const Conversion& c) {
  char digits[16];
  const unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                                 : static_cast<unsigned long long>(value);
  char* end = digits;
  if (!(c.precision == 0 && value == 0))
    end = std::to_chars(digits, digits + sizeof digits, magnitude).ptr;
  const std::size_t count = static_cast<std::size_t>(end - digits);
  const std::size_t zeros =
      c.precision > 0 && static_cast<std::size_t>(c.precision) > count ? c.precision - count : 0;
  const char sign = value < 0 ? '-' : c.plus ? '+' : c.space ? ' ' : '\0';
  const std::size_t length = (sign != '\0') + zeros + count;
  const std::size_t width = static_cast<std::size_t>(c.width);
  const std::size_t fill = width > length ? width - length : 0;
  const bool zeroFill = c.zero && !c.minus && c.precision < 0;
  if (!c.minus && !zeroFill) out.append(fill, ' ');
  if (sign != '\0') out += sign;
  if (zeroFill) out.append(fill, '0');
  out.append(zeros, '0');
  out.append(digits, count);
  if (c.minus) out.append(fill, ' ');
}

// Formats one conversion, taking its arguments from the list, and appends it.
void AppendOne(std::string& out, Conversion c, Arguments& args) {
  if (c.widthStar) TakeStarWidth(c, va_arg(args.list, int));
  if (c.precisionStar) TakeStarPrecision(c, va_arg(args.list, int));
  switch (c.conversion) {
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
      if (c.length == Length::kLongDouble) {
        AppendFloating(out, c, va_arg(args.list, long double));
      } else {
        AppendFloating(out, c, va_arg(args.list, double));
      }
      return;
    case 's':
      if (c.length == Length::kNone && !c.zero) {
        const char* text = va_arg(args.list, const char*);
        if (text == nullptr) {
          out += Print(SingleFormat(c).c_str(), text);
        } else {
          AppendText(out, text, c);
        }
        return;
      }
      break;
    case 'd':
    case 'i':
      if (c.length == Length::kNone) {
        AppendInteger(out, va_arg(args.list, int), c);
        return;
      }
      break;
    default:
      break;
  }
  out += FormatOne(c, args);
}

void AppendFormatV(std::string& out, const char* format, std::va_list list) {
  if (format == nullptr) return;
  Arguments args;
  va_copy(args.list, list);
  for (const char* p = format; *p != '\0';) {
    if (*p != '%') {
      const char* literal = p;
      while (*p != '\0' && *p != '%') ++p;
      out.append(literal, static_cast<std::size_t>(p - literal));
      continue;
    }
    Conversion c;
    if (!ParseConversion(p, c)) {
      out += '%';
      ++p;
      continue;
    }
    AppendOne(out, c, args);
    p += c.text.size();
  }
  va_end(args.list);
}

}  // namespace

std::string Format(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = FormatV(format, args);
  va_end(args);
  return text;
}

std::string FormatV(const char* format, std::va_list args) {
  std::string text;
  AppendFormatV(text, format, args);
  return text;
}

void AppendFormat(std::string& out, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  AppendFormatV(out, format, args);
  va_end(args);
}

std::string FormatNumber(const char* format, double value) {
  std::string out;
  if (format == nullptr) return out;
  bool used = false;
  for (const char* p = format; *p != '\0';) {
    if (*p != '%') {
      out += *p++;
      continue;
    }
    Conversion c;
    if (!ParseConversion(p, c)) {
      out += '%';
      ++p;
      continue;
    }
    p += c.text.size();
    if (c.conversion == '%') {
      out += '%';
    } else if (!used && IsFloating(c.conversion) && !c.widthStar && !c.precisionStar &&
               c.length != Length::kLongDouble) {
      AppendFloating(out, c, value);
      used = true;
    } else {
      out += c.text;
    }
  }
  return out;
}

std::string FormatExponential(double value, int precision) {
  Conversion c;
  c.space = true;
  c.conversion = 'e';
  TakeStarPrecision(c, precision);
  std::string text;
  AppendFloating(text, c, value);
  return text;
}

void AppendColumnValue(std::string& out, double value, int width) {
  Conversion c;
  c.minus = true;
  c.space = true;
  c.conversion = 'e';
  c.width = std::clamp(width, 0, kMaxFieldWidth);
  // Below width 8 the precision is negative, which printf takes as no
  // precision at all (six decimals).
  TakeStarPrecision(c, c.width - 8);
  AppendFloating(out, c, value);
}

std::string FormatColumnValue(double value, int width) {
  std::string text;
  AppendColumnValue(text, value, width);
  return text;
}

std::string FormatGeneral(double value) {
  Conversion c;
  c.conversion = 'g';
  std::string text;
  AppendFloating(text, c, value);
  return text;
}

std::string FormatRealExactly(const char* format, double value) {
  std::string text = FormatNumber(format, value);
  if (!std::isfinite(value)) return text;
  NarrowExponent(text);
  double back = 0.0;
  if (ScanFields<double>(text, "%lf", &back).fields == 1 && back == value) return text;
  text = FormatNumber("%.16le", value);
  NarrowExponent(text);
  return text;
}

}  // namespace vireon
