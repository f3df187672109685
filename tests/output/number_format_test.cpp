#include "output/number_format.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace vireon {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kSmallestSubnormal = 4.9406564584124654e-324;

struct NumberCase {
  const char* format;
  double value;
  const char* expected;
};

// Every row is checked through FormatNumber and through Format.
const NumberCase kNumberCases[] = {
    // The report's exponent form: a blank for the plus sign, three exponent digits.
    {"% .4le", 1.0, " 1.0000e+000"},
    {"% .4le", -1.0, "-1.0000e+000"},
    {"% .4le", 0.0, " 0.0000e+000"},
    {"% .4le", -0.0, "-0.0000e+000"},
    {"% .4le", 123456.789, " 1.2346e+005"},
    {"% .4le", -0.00012345, "-1.2345e-004"},
    {"% .6le", 1e-300, " 1.000000e-300"},
    {"% .6le", 6.02214076e23, " 6.022141e+023"},
    {"% .3le", 42.0, " 4.200e+001"},
    {"%.2le", 10.0, "1.00e+001"},
    {"%+.6le", 0.5, "+5.000000e-001"},
    {"%+.6le", -0.5, "-5.000000e-001"},
    {"% 6.4le", 0.25, " 2.5000e-001"},
    {"%le", 1.0, "1.000000e+000"},
    {"%e", -1e-7, "-1.000000e-007"},
    {"%E", 1234.5, "1.234500E+003"},
    // Subnormals, the smallest normal and the largest double.
    {"% .4le", kSmallestSubnormal, " 4.9407e-324"},
    {"% .4le", 1e-310, " 1.0000e-310"},
    {"% .4le", DBL_MIN, " 2.2251e-308"},
    {"% .4le", DBL_MAX, " 1.7977e+308"},
    {"% .4le", -DBL_MAX, "-1.7977e+308"},
    {"%.16le", DBL_MAX, "1.7976931348623157e+308"},
    // Rounding that carries into the exponent.
    {"% .4le", 9.99995, " 1.0000e+001"},
    {"% .4le", -9.99996, "-1.0000e+001"},
    {"%.3le", 0.99995, "1.000e+000"},
    {"%.0le", 9.7, "1e+001"},
    // Widths count the widened exponent.
    {"% -20.12le", 1.0, " 1.000000000000e+000"},
    {"% -20.12le", -1.5, "-1.500000000000e+000"},
    {"% -22.12le|", 1.0, " 1.000000000000e+000  |"},
    {"%14.4le", 1.0, "   1.0000e+000"},
    {"%-14.4le|", 1.0, "1.0000e+000   |"},
    {"%11.4le", 1.0, "1.0000e+000"},
    {"%5.4le", 1.0, "1.0000e+000"},
    {"%012.3le", -1.5, "-01.500e+000"},
    {"%+013.3le", 1.5, "+001.500e+000"},
    {"%-012.3le|", 1.5, "1.500e+000  |"},
    // "%lg" switches to the exponent form below 1e-4 and from 1e6 (after rounding).
    {"%lg", 1.0, "1"},
    {"%lg", 0.001, "0.001"},
    {"%lg", 0.0001, "0.0001"},
    {"%lg", 0.00001, "1e-005"},
    {"%lg", 123456.0, "123456"},
    {"%lg", 1234567.0, "1.23457e+006"},
    {"%lg", 999999.4, "999999"},
    {"%lg", 999999.5, "1e+006"},
    {"%lg", 1e-9, "1e-009"},
    {"%lg", 1e100, "1e+100"},
    {"%lg", 0.0, "0"},
    {"%lg", -0.0, "-0"},
    {"%lg", DBL_MAX, "1.79769e+308"},
    {"%lg", kSmallestSubnormal, "4.94066e-324"},
    {"%g", -2.5e-7, "-2.5e-007"},
    {"%G", 1e-10, "1E-010"},
    {"%#g", 1.0, "1.00000"},
    {"%#g", 1e-5, "1.00000e-005"},
    {"%10g", 1e-5, "    1e-005"},
    {"%-10g|", 1e20, "1e+020    |"},
    {"%.3lg", 2.0 / 3.0, "0.667"},
    // Fixed notation has no exponent and stays as the C library writes it.
    {"% 1.0f", 1.0, " 1"},
    {"% 1.0f", -2.0, "-2"},
    {"% 1.0f", 0.0, " 0"},
    {"%.0lf", 3.0, "3"},
    {"%.2f", 1e5, "100000.00"},
    {"%08.2f", -3.14159, "-0003.14"},
    // Infinity and NaN: glibc's words, blank-padded, NaN without a sign.
    {"% .4le", kInf, " inf"},
    {"% .4le", -kInf, "-inf"},
    {"%le", kInf, "inf"},
    {"%+le", kInf, "+inf"},
    {"%12.4le", kInf, "         inf"},
    {"% -12.4le|", kNaN, " nan        |"},
    {"%le", kNaN, "nan"},
    {"%le", -kNaN, "nan"},
    {"%+e", kNaN, "+nan"},
    {"%E", kInf, "INF"},
    {"%G", kNaN, "NAN"},
    {"%012e", -kInf, "        -inf"},
    {"%lg", kInf, "inf"},
    {"%f", -kInf, "-inf"},
    // Literal text around the number.
    {"x = % .4le!", 2.0, "x =  2.0000e+000!"},
    {"100%% of %lg", 0.5, "100% of 0.5"},
};

class NumberFormatTable : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberFormatTable, FormatNumberWritesTheExpectedText) {
  const NumberCase& row = GetParam();
  EXPECT_EQ(FormatNumber(row.format, row.value), row.expected) << "format " << row.format;
}

TEST_P(NumberFormatTable, FormatWritesTheSameText) {
  const NumberCase& row = GetParam();
  EXPECT_EQ(Format(row.format, row.value), row.expected) << "format " << row.format;
}

INSTANTIATE_TEST_SUITE_P(Cases, NumberFormatTable, ::testing::ValuesIn(kNumberCases));

TEST(NumberFormatTest, FormatMixesNumbersWithOtherConversions) {
  EXPECT_EQ(Format(" %s = % .4le\n", "Km", 2.0), " Km =  2.0000e+000\n");
  EXPECT_EQ(Format("[%10s] initial = % .6le %s", "A", 1.0, "mM"),
            "[         A] initial =  1.000000e+000 mM");
  EXPECT_EQ(Format("%c% -*.*le", ',', 12, 4, 0.5), ", 5.0000e-001");
  EXPECT_EQ(Format("% .6le %+.6le*i", -1.0, 2.0), "-1.000000e+000 +2.000000e+000*i");
  EXPECT_EQ(Format("%2d - %s", 3, "v"), " 3 - v");
  EXPECT_EQ(Format("100%% %d%%", 5), "100% 5%");
  EXPECT_EQ(Format("%5.2s|", "abc"), "   ab|");
  EXPECT_EQ(Format("%-10.10s | ", "LongMetaboliteName"), "LongMetabo | ");
  EXPECT_EQ(Format("%.*s%*s|", 3, "title", 4, ""), "tit    |");
}

TEST(NumberFormatTest, TextArgumentsAreNeverRewritten) {
  EXPECT_EQ(Format("%s %le", "x1e+05", 1.0), "x1e+05 1.000000e+000");
  EXPECT_EQ(Format("%x %le", 0xe5u, 1.0), "e5 1.000000e+000");
}

TEST(NumberFormatTest, IntegerConversionsTakeEveryLength) {
  EXPECT_EQ(Format("%ld %lld %zu %x %o %u", 1L, -2LL, std::size_t{3}, 255u, 8u, 4u),
            "1 -2 3 ff 10 4");
  EXPECT_EQ(Format("%hhd %hd %jd %td", 300, 70000, std::intmax_t{-5}, std::ptrdiff_t{6}),
            "44 4464 -5 6");
  EXPECT_EQ(Format("%05d|%-5d|%+d|% d", 42, 42, 42, 42), "00042|42   |+42| 42");
  EXPECT_EQ(Format("%.3d %#x %#o", 7, 255u, 8u), "007 0xff 010");
  EXPECT_EQ(Format("%c%lc%ls", 'a', static_cast<wint_t>(L'b'), L"cd"), "abcd");
}

TEST(NumberFormatTest, LongDoubleTakesTheSameExponentRule) {
  EXPECT_EQ(Format("%Le", 1.0L), "1.000000e+000");
  EXPECT_EQ(Format("% .2Le", 1e4000L), " 1.00e+4000");
  EXPECT_EQ(Format("%Lg", 1e-20L), "1e-020");
}

TEST(NumberFormatTest, StarWidthAndPrecisionFollowTheCRules) {
  EXPECT_EQ(Format("%*d|", -4, 7), "7   |");
  EXPECT_EQ(Format("%*.*le|", 14, 2, 1.0), "     1.00e+000|");
  EXPECT_EQ(Format("%*.*le|", -14, 2, 1.0), "1.00e+000     |");
  EXPECT_EQ(Format("%.*le", -1, 1.0), "1.000000e+000");
}

TEST(NumberFormatTest, HugeWidthsAndPrecisionsAreSafe) {
  const std::string wide = Format("%3000.2le", 1.0);
  EXPECT_EQ(wide.size(), 3000u);
  EXPECT_EQ(wide.substr(wide.size() - 9), "1.00e+000");

  EXPECT_EQ(Format("%*d|", 100000, 1).size(), static_cast<std::size_t>(kMaxFieldWidth) + 1);
  const std::string starWidth = "%*d|";  // not a literal: the compiler would refuse INT_MIN
  const std::string leftmost = Format(starWidth.c_str(), INT_MIN, 7);
  EXPECT_EQ(leftmost.size(), static_cast<std::size_t>(kMaxFieldWidth) + 1);
  EXPECT_EQ(leftmost.front(), '7');

  // "1." + the clamped number of decimals + "e+000".
  EXPECT_EQ(Format("%.*le", 100000, 1.0).size(), 2u + kMaxFieldWidth + 5u);
  const std::string digits = "%99999999999999999999999le";
  EXPECT_EQ(FormatNumber(digits.c_str(), 1.0).size(), static_cast<std::size_t>(kMaxFieldWidth));
  // The exact decimal expansion of the smallest subnormal fits in the clamped precision.
  const std::string exact = Format("%.1100le", kSmallestSubnormal);
  EXPECT_EQ(exact.substr(0, 12), "4.9406564584");
  EXPECT_EQ(exact.substr(exact.size() - 10), "00000e-324");
}

TEST(NumberFormatTest, MalformedConversionsAreCopiedAsTheyStand) {
  EXPECT_EQ(FormatNumber("100%", 1.0), "100%");
  EXPECT_EQ(FormatNumber("%", 1.0), "%");
  EXPECT_EQ(FormatNumber("%-", 1.0), "%-");
  EXPECT_EQ(FormatNumber("%q %le", 1.0), "%q 1.000000e+000");
  EXPECT_EQ(FormatNumber(nullptr, 1.0), "");
  const std::string trailing = "%d%";
  EXPECT_EQ(Format(trailing.c_str(), 5), "5%");
}

TEST(NumberFormatTest, PercentNWritesAndStoresNothing) {
  const std::string format = "a%nb";
  int stored = -1;
  EXPECT_EQ(Format(format.c_str(), &stored), "ab");
  EXPECT_EQ(stored, -1);
  EXPECT_EQ(FormatNumber("a%nb%le", 1.0), "a%nb1.000000e+000");
}

TEST(NumberFormatTest, FormatNumberUsesOnlyTheFirstFloatingConversion) {
  EXPECT_EQ(FormatNumber("%d %le", 2.0), "%d 2.000000e+000");
  EXPECT_EQ(FormatNumber("%le %le", 1.0), "1.000000e+000 %le");
  EXPECT_EQ(FormatNumber("%*le|%s", 1.0), "%*le|%s");
  EXPECT_EQ(FormatNumber("%.*le", 1.0), "%.*le");
  EXPECT_EQ(FormatNumber("%Le", 1.0), "%Le");
}

TEST(NumberFormatTest, AppendFormatAddsToTheText) {
  std::string text = "J(v1) =";
  AppendFormat(text, "% .6le %s/%s\n", 0.125, "mM", "s");
  EXPECT_EQ(text, "J(v1) = 1.250000e-001 mM/s\n");
}

TEST(NumberFormatTest, ExponentialIsTheReportForm) {
  EXPECT_EQ(FormatExponential(1.0, 4), " 1.0000e+000");
  EXPECT_EQ(FormatExponential(-2.5e-10, 6), "-2.500000e-010");
  EXPECT_EQ(FormatExponential(0.0, 0), " 0e+000");
  EXPECT_EQ(FormatExponential(3.0, -1), " 3.000000e+000");
  EXPECT_EQ(FormatExponential(-kInf, 4), "-inf");
}

struct ColumnCase {
  double value;
  int width;
  const char* expected;
};

const ColumnCase kColumnCases[] = {
    {1.0, 8, " 1e+000 "},
    {-3.7, 8, "-4e+000 "},
    {12.5, 12, " 1.2500e+001"},
    {-0.001, 20, "-1.000000000000e-003"},
    {DBL_MAX, 25, " 1.79769313486231571e+308"},
    {0.0, 10, " 0.00e+000"},
    {kInf, 12, " inf        "},
    {-kInf, 12, "-inf        "},
    {kNaN, 8, " nan    "},
};

TEST(NumberFormatTest, ColumnValuesAreTheDataFileForm) {
  for (const ColumnCase& row : kColumnCases) {
    EXPECT_EQ(FormatColumnValue(row.value, row.width), row.expected) << "width " << row.width;
  }
}

TEST(NumberFormatTest, ColumnValuesFillTheirWidthExactly) {
  const double values[] = {0.0,  -0.0,   1.0,     -1.0,    9.99999999, 1e-300, -1e300,
                           1e-5, 123.45, DBL_MAX, DBL_MIN, kInf,       -kInf,  kNaN};
  for (int width = 8; width <= 25; ++width) {
    for (double value : values) {
      EXPECT_EQ(FormatColumnValue(value, width).size(), static_cast<std::size_t>(width))
          << "value " << value << " width " << width;
    }
  }
}

TEST(NumberFormatTest, NarrowColumnsTakeNoDecimals) {
  EXPECT_EQ(FormatColumnValue(2.0, 3), " 2.000000e+000");
  EXPECT_EQ(FormatColumnValue(2.0, -5), " 2.000000e+000");
}

TEST(NumberFormatTest, GeneralIsSixSignificantDigits) {
  EXPECT_EQ(FormatGeneral(1e-5), "1e-005");
  EXPECT_EQ(FormatGeneral(0.001), "0.001");
  EXPECT_EQ(FormatGeneral(50.0), "50");
  EXPECT_EQ(FormatGeneral(3.14159265), "3.14159");
  EXPECT_EQ(FormatGeneral(kNaN), "nan");
}

// What the C library prints, with the exponent widened to three digits.
std::string LibraryPrint(const char* format, double value) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, value);
  std::string text = buffer;
  const std::size_t e = text.find_first_of("eE");
  if (e != std::string::npos && std::isdigit(static_cast<unsigned char>(text[e - 1]))) {
    std::size_t digits = e + 2, end = digits;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
    if (end - digits < 3) text.insert(digits, 3 - (end - digits), '0');
    // The widened number keeps the field width: padding blanks give way.
    const std::size_t width = std::strlen(buffer);
    while (text.size() > width && text.back() == ' ') text.pop_back();
    const bool blankSign = std::strchr(format, ' ') != nullptr;
    while (text.size() > width && text.front() == ' ' && (!blankSign || text[1] == ' ')) {
      text.erase(0, 1);
    }
  }
  return text;
}

TEST(NumberFormatTest, NumbersAreThoseOfTheCLibraryForEveryDouble) {
  // Random bit patterns (every magnitude, subnormals included), decimal
  // roundings at a tie, and the conversions the reports and data files use.
  const char* formats[] = {"% -12.4le", "% -25.17le", "% -8.0le", "% .6le", "%+.3E", "%.2le",
                           "%12.4e",    "%-14.3e",    "%+14.5e",  "%f",     "% .3f", "%+9.1f",
                           "%lg",       "%.4g",       "%G",       "%#.3g",  "%.0e",  "% 1.0f"};
  std::mt19937_64 generator(5);
  std::vector<double> values = {0.0,     -0.0,     9.99995, 0.5,   2.5,  1e23,          5e-324,
                                DBL_MAX, 99999.95, 1.25,    0.125, 1e16, 123456789012.0};
  for (int i = 0; i < 1000; ++i) {
    std::uint64_t bits = generator();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (std::isfinite(value)) values.push_back(value);
    values.push_back(std::ldexp(static_cast<double>(generator() % 100000), -int(generator() % 40)));
    // Decimal halves of the forms with 0 to 9 decimals, and their neighbours.
    const std::string half = std::to_string(1 + generator() % 9) + "." +
                             std::to_string(1000000000 + generator() % 9000000000).substr(i % 10) +
                             "5e" + std::to_string(static_cast<int>(generator() % 600) - 300);
    const double tie = std::strtod(half.c_str(), nullptr);
    values.insert(values.end(), {tie, std::nextafter(tie, 0.0), std::nextafter(tie, DBL_MAX)});
  }
  for (double value : values) {
    for (const char* format : formats) {
      ASSERT_EQ(FormatNumber(format, value), LibraryPrint(format, value))
          << format << " of " << std::hexfloat << value;
    }
    // The data files' columns, "% -*.*le" with the width's precision.
    for (int width = 8; width <= 18; ++width) {
      const std::string format =
          "% -" + std::to_string(width) + "." + std::to_string(width - 8) + "le";
      ASSERT_EQ(FormatColumnValue(value, width), LibraryPrint(format.c_str(), value))
          << format << " of " << std::hexfloat << value;
    }
  }
}

TEST(NumberFormatTest, TextsAndIntegersAreThoseOfTheCLibrary) {
  const char* integerFormats[] = {"%d",   "%5d",   "%-5d|",  "%05d",  "%+d",   "% d",
                                  "%.3d", "%8.3d", "%-+6d|", "%+05d", "%.0d|", "%i"};
  const int integers[] = {0, 1, -1, 42, -42, 12345, INT_MAX, INT_MIN};
  for (const char* format : integerFormats) {
    for (int value : integers) {
      char expected[64];
      std::snprintf(expected, sizeof expected, format, value);
      EXPECT_EQ(Format(format, value), expected) << format << " of " << value;
    }
  }
  const char* textFormats[] = {"%s", "%10s", "%-10s|", "%.3s", "%-10.10s|", "%5.2s", "%.0s|"};
  const char* texts[] = {"", "a", "hello world", "J(E1)"};
  for (const char* format : textFormats) {
    for (const char* text : texts) {
      char expected[64];
      std::snprintf(expected, sizeof expected, format, text);
      EXPECT_EQ(Format(format, text), expected) << format << " of " << text;
    }
  }
}

TEST(NumberFormatTest, DecimalPointIgnoresTheProcessLocale) {
  const char* candidates[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8",
                              "nl_NL.UTF-8", "de_DE",      "fr_FR"};
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  const char* chosen = nullptr;
  for (const char* name : candidates) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr) {
      chosen = name;
      break;
    }
  }
  if (chosen == nullptr) GTEST_SKIP() << "no locale with a decimal comma is installed";
  const std::string general = FormatGeneral(0.5);
  const std::string exponential = FormatExponential(1.5, 2);
  const std::string fixed = Format("%.1f", 2.5);
  std::setlocale(LC_NUMERIC, previous.c_str());
  EXPECT_EQ(general, "0.5");
  EXPECT_EQ(exponential, " 1.50e+000");
  EXPECT_EQ(fixed, "2.5");
}

}  // namespace
}  // namespace vireon

namespace vireon {
namespace {

TEST(FormatRealExactlyTest, KeepsTheFormatWhenItReadsBackAndFallsBackOtherwise) {
  EXPECT_EQ(FormatRealExactly("%.16lf", 0.5), "0.5000000000000000");
  EXPECT_EQ(FormatRealExactly("%.16lf", -2.0), "-2.0000000000000000");
  // Sixteen decimals would turn these into other numbers.
  EXPECT_EQ(FormatRealExactly("%.16lf", 1e-20), "9.9999999999999995e-21");
  EXPECT_EQ(FormatRealExactly("%le", 1.23456789), "1.2345678899999999e+00");
  EXPECT_EQ(FormatRealExactly("%.16lf", 0.1), "0.1000000000000000");
}

// Model files write "%le" as the C library does: two exponent digits at
// least, three only when the exponent needs them.
TEST(FormatRealExactlyTest, ExponentsHaveTheDigitsOfTheCLibrary) {
  EXPECT_EQ(FormatRealExactly("%le", 10.0), "1.000000e+01");
  EXPECT_EQ(FormatRealExactly("%le", 1e-9), "1.000000e-09");
  EXPECT_EQ(FormatRealExactly("%le", 0.0), "0.000000e+00");
  EXPECT_EQ(FormatRealExactly("%le", -2.5e-300), "-2.500000e-300");
  EXPECT_EQ(FormatRealExactly("%le", 1e100), "1.000000e+100");
  EXPECT_EQ(FormatRealExactly("%.16lf", 1e-300), "1.0000000000000000e-300");
}

}  // namespace
}  // namespace vireon
