#include "settings/default_values_form.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/expect_close.h"

namespace vireon {
namespace {

using Field = DefaultValuesField;

TEST(DefaultValuesFormTest, ShowsTheRecordWithTheFactorInPercent) {
  const DefaultValuesForm form = MakeDefaultValuesForm(DefaultValues{});
  EXPECT_EQ(form.concentration, "0");
  EXPECT_EQ(form.kineticConstant, "1");
  EXPECT_EQ(form.endTime, "10");
  EXPECT_EQ(form.newtonLimit, "50");
  EXPECT_EQ(form.steadyStateResolution, "1e-09");
  EXPECT_EQ(form.derivationFactorPercent, "0.1");
  EXPECT_EQ(form.relativeTolerance, "1e-06");
  EXPECT_EQ(form.absoluteTolerance, "1e-12");
  EXPECT_EQ(form.adamsMaxOrder, "12");
  EXPECT_EQ(form.bdfMaxOrder, "5");
  EXPECT_EQ(form.timeUnit, "s");
  EXPECT_EQ(form.concentrationUnit, "mM");
  EXPECT_EQ(form.volumeUnit, "ml");
  EXPECT_EQ(form.points, "50");
}

TEST(DefaultValuesFormTest, TakesGoodEntriesAndDividesThePercentage) {
  DefaultValuesForm form = MakeDefaultValuesForm(DefaultValues{});
  form.concentration = " 2.5 ";
  form.kineticConstant = "+3";
  form.endTime = "-20";  // no range check here
  form.newtonLimit = "2";
  form.derivationFactorPercent = "5";
  form.adamsMaxOrder = "1";
  form.bdfMaxOrder = "1";
  form.timeUnit = "fifteen chars!!";
  form.points = "-1";
  DefaultValues values;
  values.report = 1;  // set by a check box, not by the form
  const DefaultValuesCheck check = TakeDefaultValuesForm(form, values);
  EXPECT_TRUE(check.ok()) << check.message;
  EXPECT_CLOSE(values.concentration, 2.5, 0.0, test::kTightRel);
  EXPECT_CLOSE(values.kineticConstant, 3.0, 0.0, test::kTightRel);
  EXPECT_CLOSE(values.endTime, -20.0, 0.0, test::kTightRel);
  EXPECT_CLOSE(values.derivationFactor, 0.05, 0.0, test::kTightRel);
  EXPECT_EQ(values.newtonLimit, 2);
  EXPECT_EQ(values.adamsMaxOrder, 1);
  EXPECT_EQ(values.bdfMaxOrder, 1);
  EXPECT_EQ(values.timeUnit, "fifteen chars!!");
  EXPECT_EQ(values.points, -1);
  EXPECT_EQ(values.report, 1);
}

TEST(DefaultValuesFormTest, ShowingAndTakingKeepsTheRecord) {
  DefaultValues values;
  values.derivationFactor = 0.0123;
  values.relativeTolerance = 3.5e-7;
  const DefaultValues before = values;
  ASSERT_TRUE(TakeDefaultValuesForm(MakeDefaultValuesForm(values), values).ok());
  EXPECT_CLOSE(values.derivationFactor, before.derivationFactor, 0.0, test::kTightRel);
  EXPECT_CLOSE(values.relativeTolerance, before.relativeTolerance, 0.0, test::kTightRel);
  EXPECT_EQ(values.timeUnit, before.timeUnit);
}

struct BadEntry {
  std::function<void(DefaultValuesForm&)> spoil;
  Field field;
  const char* message;
};

TEST(DefaultValuesFormTest, NamesTheFirstBadEntryAndChangesNothing) {
  const BadEntry cases[] = {
      {[](DefaultValuesForm& f) { f.concentration = "-1"; }, Field::kConcentration,
       "Please enter a number between 0 and 1.79769313486232e+308."},
      {[](DefaultValuesForm& f) { f.concentration = "abc"; }, Field::kConcentration,
       "Please enter a number."},
      {[](DefaultValuesForm& f) { f.kineticConstant = "1e999"; }, Field::kKineticConstant,
       "Please enter a number."},
      {[](DefaultValuesForm& f) { f.endTime = "ten"; }, Field::kEndTime, "Please enter a number."},
      {[](DefaultValuesForm& f) { f.newtonLimit = "5.5"; }, Field::kNewtonLimit,
       "Please enter an integer."},
      {[](DefaultValuesForm& f) { f.steadyStateResolution = "-1e-9"; },
       Field::kSteadyStateResolution, "Please enter a number between 0 and 1.79769313486232e+308."},
      // The numerical methods' entries keep the ranges a model file keeps.
      {[](DefaultValuesForm& f) { f.newtonLimit = "1"; }, Field::kNewtonLimit,
       "Please enter an integer between 2 and 2147483647."},
      {[](DefaultValuesForm& f) { f.derivationFactorPercent = "26"; }, Field::kDerivationFactor,
       "Please enter a number between 0.001 and 25."},
      {[](DefaultValuesForm& f) { f.derivationFactorPercent = "300"; }, Field::kDerivationFactor,
       "Please enter a number between 0.001 and 25."},
      {[](DefaultValuesForm& f) { f.derivationFactorPercent = "1e-9"; }, Field::kDerivationFactor,
       "Please enter a number between 0.001 and 25."},
      {[](DefaultValuesForm& f) { f.derivationFactorPercent = "0"; }, Field::kDerivationFactor,
       "Please enter a number between 0.001 and 25."},
      {[](DefaultValuesForm& f) { f.relativeTolerance = "nan"; }, Field::kRelativeTolerance,
       "Please enter a number."},
      {[](DefaultValuesForm& f) { f.absoluteTolerance = "-0.5"; }, Field::kAbsoluteTolerance,
       "Please enter a number between 0 and 1.79769313486232e+308."},
      {[](DefaultValuesForm& f) { f.adamsMaxOrder = "13"; }, Field::kAdamsMaxOrder,
       "Please enter an integer between 1 and 12."},
      {[](DefaultValuesForm& f) { f.bdfMaxOrder = "0"; }, Field::kBdfMaxOrder,
       "Please enter an integer between 1 and 5."},
      {[](DefaultValuesForm& f) { f.bdfMaxOrder = "6"; }, Field::kBdfMaxOrder,
       "Please enter an integer between 1 and 5."},
      {[](DefaultValuesForm& f) { f.timeUnit = "sixteen chars!!!"; }, Field::kTimeUnit,
       "Please enter no more than 15 characters."},
      {[](DefaultValuesForm& f) { f.concentrationUnit = std::string(40, 'm'); },
       Field::kConcentrationUnit, "Please enter no more than 15 characters."},
      {[](DefaultValuesForm& f) { f.volumeUnit = "cubic decimetres"; }, Field::kVolumeUnit,
       "Please enter no more than 15 characters."},
      {[](DefaultValuesForm& f) { f.points = "99999999999"; }, Field::kPoints,
       "Please enter an integer."},
      // Two bad entries: the first in the dialog's order is named.
      {[](DefaultValuesForm& f) {
         f.points = "x";
         f.bdfMaxOrder = "9";
       },
       Field::kBdfMaxOrder, "Please enter an integer between 1 and 5."},
  };
  for (const BadEntry& row : cases) {
    DefaultValuesForm form = MakeDefaultValuesForm(DefaultValues{});
    form.concentration = "7";  // a good entry before the bad one
    row.spoil(form);
    DefaultValues values;
    const DefaultValuesCheck check = TakeDefaultValuesForm(form, values);
    EXPECT_FALSE(check.ok());
    EXPECT_EQ(check.field, row.field) << row.message;
    EXPECT_EQ(check.message, row.message);
    EXPECT_EQ(values, DefaultValues{}) << row.message;
  }
}

TEST(DefaultValuesFormTest, BoundsThemselvesAreAccepted) {
  DefaultValuesForm form = MakeDefaultValuesForm(DefaultValues{});
  form.concentration = "1.7976931348623157e308";
  form.derivationFactorPercent = "25";
  form.absoluteTolerance = "0";
  form.adamsMaxOrder = "12";
  form.newtonLimit = "2";
  DefaultValues values;
  EXPECT_TRUE(TakeDefaultValuesForm(form, values).ok());
  EXPECT_CLOSE(values.derivationFactor, 0.25, 0.0, test::kTightRel);
  EXPECT_EQ(values.newtonLimit, 2);
  form.derivationFactorPercent = "0.001";
  EXPECT_TRUE(TakeDefaultValuesForm(form, values).ok());
  EXPECT_CLOSE(values.derivationFactor, 0.00001, 0.0, test::kTightRel);
}

}  // namespace
}  // namespace vireon
