#include "document/numerical_methods_form.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "document/model_file.h"
#include "support/document_fixtures.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

using Field = NumericalMethodsField;

TaskSettings EditedSettings() {
  TaskSettings s;
  s.solver.derivationFactor = 0.0125;
  s.solver.steadyStateResolution = 3.5e-11;
  s.solver.newtonLimit = 80;
  s.solver.bdfMaxOrder = 3;
  s.solver.adamsMaxOrder = 7;
  s.solver.absoluteTolerance = 2e-14;
  s.solver.relativeTolerance = 1.5e-8;
  s.mcaUnscaled = 1;
  s.solver.steadyStateStrategy = SteadyStateStrategy::kNewtonOnly;
  s.solver.backIntegration = 0;
  s.solver.integrator = Integrator::kCvode;
  return s;
}

TEST(NumericalMethodsFormTest, ShowsTheSettingsAndTakesThemBackUnchanged) {
  const NumericalMethodsForm shown = MakeNumericalMethodsForm(TaskSettings{});
  EXPECT_EQ(shown.derivationFactorPercent, "0.1");
  EXPECT_EQ(shown.resolution, "1e-09");
  EXPECT_TRUE(shown.scaledMca);
  EXPECT_EQ(shown.strategy, 0);
  EXPECT_EQ(shown.integrator, 0);
  EXPECT_STREQ(kIntegratorNames[shown.integrator], "LSODA");

  const TaskSettings edited = EditedSettings();
  const NumericalMethodsForm form = MakeNumericalMethodsForm(edited);
  EXPECT_FALSE(form.scaledMca);
  EXPECT_EQ(form.strategy, 2);
  EXPECT_FALSE(form.backIntegration);
  EXPECT_EQ(form.integrator, 1);
  TaskSettings taken;
  ASSERT_TRUE(TakeNumericalMethodsForm(form, taken).ok());
  EXPECT_CLOSE(taken.solver.derivationFactor, edited.solver.derivationFactor, 0.0, test::kTightRel);
  taken.solver.derivationFactor = edited.solver.derivationFactor;
  EXPECT_EQ(taken, edited);
}

TEST(NumericalMethodsFormTest, EveryValueItAcceptsSurvivesTheModelFile) {
  // The ends of every range: a value the dialog accepts must not be
  // replaced by a default when the model is read back.
  KineticCatalogue catalogue;
  test::FillCatalogue(catalogue);
  const NumericalMethodsForm ends[] = {
      {"0.001", "0", "2", "1", "1", "0", "0", true, 3, true, 0},
      {"25", "1e300", "2147483647", "5", "12", "1e300", "1e300", false, 1, false, 1},
  };
  for (const NumericalMethodsForm& form : ends) {
    Document document = test::MakeSmallDocument(catalogue);
    ASSERT_TRUE(TakeNumericalMethodsForm(form, document.settings).ok()) << form.derivationFactorPercent;
    Document read;
    RecordingSink sink;
    ASSERT_EQ(ParseModelBuffer(read, ModelFileText(document, catalogue), catalogue,
                               DefaultValues{}, sink),
              0);
    EXPECT_TRUE(sink.messages().empty()) << sink.Texts().front();
    EXPECT_EQ(read.settings, document.settings);
  }
}

TEST(NumericalMethodsFormTest, NamesTheFirstBadEntryAndChangesNothing) {
  struct Case {
    std::function<void(NumericalMethodsForm&)> spoil;
    Field field;
    const char* message;
  };
  const Case cases[] = {
      {[](NumericalMethodsForm& f) { f.derivationFactorPercent = "0.0009"; },
       Field::kDerivationFactor, "Please enter a number between 0.001 and 25."},
      {[](NumericalMethodsForm& f) { f.derivationFactorPercent = "25.5"; },
       Field::kDerivationFactor, "Please enter a number between 0.001 and 25."},
      {[](NumericalMethodsForm& f) { f.resolution = "-1e-9"; }, Field::kResolution,
       "Please enter a number between 0 and 1.79769313486232e+308."},
      {[](NumericalMethodsForm& f) { f.resolution = "tiny"; }, Field::kResolution,
       "Please enter a number."},
      {[](NumericalMethodsForm& f) { f.newtonLimit = "1"; }, Field::kNewtonLimit,
       "Please enter an integer between 2 and 2147483647."},
      {[](NumericalMethodsForm& f) { f.newtonLimit = "10.5"; }, Field::kNewtonLimit,
       "Please enter an integer."},
      {[](NumericalMethodsForm& f) { f.bdfOrder = "6"; }, Field::kBdfOrder,
       "Please enter an integer between 1 and 5."},
      {[](NumericalMethodsForm& f) { f.adamsOrder = "0"; }, Field::kAdamsOrder,
       "Please enter an integer between 1 and 12."},
      {[](NumericalMethodsForm& f) { f.absoluteTolerance = "-1e-12"; }, Field::kAbsoluteTolerance,
       "Please enter a number between 0 and 1.79769313486232e+308."},
      {[](NumericalMethodsForm& f) { f.relativeTolerance = "inf"; }, Field::kRelativeTolerance,
       "Please enter a number."},
      {[](NumericalMethodsForm& f) { f.strategy = 4; }, Field::kStrategy,
       "Please choose a strategy for the steady-state solution."},
      {[](NumericalMethodsForm& f) { f.integrator = kIntegratorCount; }, Field::kIntegrator,
       "Please choose an integrator."},
      // Two bad entries: the first in the dialog's order is named.
      {[](NumericalMethodsForm& f) {
         f.relativeTolerance = "x";
         f.newtonLimit = "0";
       },
       Field::kNewtonLimit, "Please enter an integer between 2 and 2147483647."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    NumericalMethodsForm form = MakeNumericalMethodsForm(TaskSettings{});
    c.spoil(form);
    TaskSettings settings = EditedSettings();
    const TaskSettings before = settings;
    const NumericalMethodsCheck check = TakeNumericalMethodsForm(form, settings);
    EXPECT_EQ(check.field, c.field);
    EXPECT_EQ(check.message, c.message);
    EXPECT_EQ(settings, before);
  }
}

}  // namespace
}  // namespace vireon
