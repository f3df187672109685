#include "model/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

namespace vireon {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr NumberExtent kWhole = NumberExtent::kWhole;
constexpr NumberExtent kPrefix = NumberExtent::kPrefix;

// Every field of the program reads its numbers here: the settings file and
// the forms (whole text), the metabolites, compartments, scan ends and link
// factors (as "%lf" reads, the start of the text), the end time, the points
// and the kinetic constants (whole text).
TEST(NumberTextTest, RealsAreReadInTheCLocaleAndFiniteUnlessAsked) {
  struct Case {
    const char* text;
    NumberExtent extent;
    std::optional<double> finite;  // kFinite
    std::optional<double> any;     // kAny
  };
  const Case cases[] = {
      {"1", kWhole, 1.0, 1.0},
      {" +1.5 ", kWhole, 1.5, 1.5},
      {"1e-009", kWhole, 1e-9, 1e-9},
      {"-.5", kWhole, -0.5, -0.5},
      {"7.", kWhole, 7.0, 7.0},
      {" 2.5e-3 ", kWhole, 2.5e-3, 2.5e-3},
      {"\t\v\f\r\n4", kWhole, 4.0, 4.0},
      {"", kWhole, std::nullopt, std::nullopt},
      {" ", kWhole, std::nullopt, std::nullopt},
      {"+", kWhole, std::nullopt, std::nullopt},
      {"-", kWhole, std::nullopt, std::nullopt},
      {"abc", kWhole, std::nullopt, std::nullopt},
      {"1.5x", kWhole, std::nullopt, std::nullopt},
      {"1 2", kWhole, std::nullopt, std::nullopt},
      {"+-1", kWhole, std::nullopt, std::nullopt},
      {"++1", kWhole, std::nullopt, std::nullopt},
      {"+ 1", kWhole, std::nullopt, std::nullopt},
      {"0x10", kWhole, std::nullopt, std::nullopt},
      {"2,5", kWhole, std::nullopt, std::nullopt},
      {"1e-400", kWhole, std::nullopt, std::nullopt},  // underflow
      {"inf", kWhole, std::nullopt, kInfinity},
      {"-Infinity", kWhole, std::nullopt, -kInfinity},
      {"1e999", kWhole, std::nullopt, kInfinity},
      {"-1e999", kWhole, std::nullopt, -kInfinity},
      {"1e999x", kWhole, std::nullopt, std::nullopt},
      // The start of the text, as "%lf" reads it.
      {"1", kPrefix, 1.0, 1.0},
      {" 2.5", kPrefix, 2.5, 2.5},
      {"+3e2", kPrefix, 300.0, 300.0},
      {"-0.25x", kPrefix, -0.25, -0.25},
      {"1e", kPrefix, 1.0, 1.0},
      {"2,5", kPrefix, 2.0, 2.0},
      {"0x10", kPrefix, 0.0, 0.0},
      {".5", kPrefix, 0.5, 0.5},
      {"", kPrefix, std::nullopt, std::nullopt},
      {"x1", kPrefix, std::nullopt, std::nullopt},
      {"+-1", kPrefix, std::nullopt, std::nullopt},
      {"inf", kPrefix, std::nullopt, kInfinity},
      {"1e400", kPrefix, std::nullopt, kInfinity},
      {"1e400 and more", kPrefix, std::nullopt, kInfinity},
      {"0.0000000001e-399", kPrefix, std::nullopt, std::nullopt},  // underflow
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseReal(c.text, c.extent), c.finite);
    EXPECT_EQ(ParseReal(c.text, c.extent, NumberRange::kAny), c.any);
  }
  for (const NumberExtent extent : {kWhole, kPrefix}) {
    EXPECT_EQ(ParseReal("nan", extent), std::nullopt);
    EXPECT_EQ(ParseReal("-nan", extent), std::nullopt);
    const std::optional<double> nan = ParseReal("nan", extent, NumberRange::kAny);
    ASSERT_TRUE(nan.has_value());
    EXPECT_TRUE(std::isnan(*nan));
  }
}

TEST(NumberTextTest, ARefusedRealIsRefusedWithItsReason) {
  struct Case {
    const char* text;
    const char* reason;
  };
  const Case cases[] = {
      {"", "is empty"},
      {"  ", "is empty"},
      {"abc", "is not a number"},
      {"1.5x", "is not a number"},
      {"1e", "is not a number"},
      {"2,5", "is not a number"},
      {"+-1", "is not a number"},
      {"inf", "is not a finite number"},
      {"-Infinity", "is not a finite number"},
      {"nan", "is not a finite number"},
      {"1e999", "is beyond the largest number (about 1.8e308)"},
      {"-1e999", "is beyond the largest number (about 1.8e308)"},
      {"1e-400", "is too close to zero (below about 2.2e-308)"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(ParseReal(c.text)) << c.text;
    EXPECT_EQ(RealRefusal(c.text), c.reason) << c.text;
  }
  // What ParseReal takes has no reason to be refused.
  for (const char* taken : {"2.5", " -1e-3 ", "7.", "+.5", "1.7976931348623157e308"}) {
    EXPECT_TRUE(ParseReal(taken)) << taken;
    EXPECT_EQ(RealRefusal(taken), "") << taken;
    EXPECT_EQ(RealRefusalMessage("Km", taken), "") << taken;
  }
  // The start of a text in kPrefix; infinity where kAny takes it.
  EXPECT_EQ(RealRefusal("1.5x", NumberExtent::kPrefix), "");
  EXPECT_EQ(RealRefusal("inf", NumberExtent::kWhole, NumberRange::kAny), "");
  EXPECT_EQ(RealRefusalMessage("Km", "1e999"),
            "Km: \"1e999\" is beyond the largest number (about 1.8e308).");
}

TEST(NumberTextTest, IntegersAreWholeDecimalNumbersWithinInt) {
  struct Case {
    const char* text;
    NumberExtent extent;
    std::optional<int> value;
  };
  const Case cases[] = {
      {"+4", kWhole, 4},
      {"-3", kWhole, -3},
      {" 200", kWhole, 200},
      {"12 ", kWhole, 12},
      {"2147483647", kWhole, 2147483647},
      {"", kWhole, std::nullopt},
      {"1.5", kWhole, std::nullopt},
      {"2147483648", kWhole, std::nullopt},
      {"99999999999", kWhole, std::nullopt},
      {"12a", kWhole, std::nullopt},
      {"++1", kWhole, std::nullopt},
      {"+-1", kWhole, std::nullopt},
      {"many", kWhole, std::nullopt},
      {"1.5", kPrefix, 1},
      {"12a", kPrefix, 12},
      {"a12", kPrefix, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseInteger(c.text, c.extent), c.value) << c.text;
  }
}

TEST(NumberTextTest, RealTextReadsBackAtSeventeenDigits) {
  EXPECT_EQ(RealText(0.001, 6), "0.001");
  EXPECT_EQ(RealText(123456789.0, 6), "1.23457e+08");
  EXPECT_EQ(RealText(std::numeric_limits<double>::max(), 15), "1.79769313486232e+308");
  for (const double value : {0.1, 1.0 / 3.0, 2.5e-300, -7.0, 1e22}) {
    EXPECT_EQ(ParseReal(RealText(value, 17)), value) << value;
  }
}

}  // namespace
}  // namespace vireon
