// The default values of the numerical methods and the model file keep one
// rule: a default the "Default values" form accepts survives a new model
// saved and read back, and one it refuses would be replaced when read back.

#include <gtest/gtest.h>

#include <string>

#include "document/document.h"
#include "document/model_file.h"
#include "model/number_text.h"
#include "settings/default_values_form.h"
#include "settings/form_reader.h"
#include "support/document_fixtures.h"

namespace vireon {
namespace {

void SetOption(SolverOptions& options, SolverOption option, double value) {
  switch (option) {
    case SolverOption::kRelativeTolerance:
      options.relativeTolerance = value;
      break;
    case SolverOption::kAbsoluteTolerance:
      options.absoluteTolerance = value;
      break;
    case SolverOption::kAdamsMaxOrder:
      options.adamsMaxOrder = static_cast<int>(value);
      break;
    case SolverOption::kBdfMaxOrder:
      options.bdfMaxOrder = static_cast<int>(value);
      break;
    case SolverOption::kDerivationFactor:
      options.derivationFactor = value;
      break;
    case SolverOption::kSteadyStateResolution:
      options.steadyStateResolution = value;
      break;
    case SolverOption::kNewtonLimit:
      options.newtonLimit = static_cast<int>(value);
      break;
    default:
      ADD_FAILURE() << "not a default value";
  }
}

TEST(DefaultValuesRoundTripTest, ADefaultSurvivesAModelReadBackExactlyWhenTheFormAcceptsIt) {
  using O = SolverOption;
  struct Row {
    std::string DefaultValuesForm::*entry;
    O option;
    const char* text;
    bool accepted;
  };
  const Row rows[] = {
      {&DefaultValuesForm::newtonLimit, O::kNewtonLimit, "2", true},
      {&DefaultValuesForm::newtonLimit, O::kNewtonLimit, "2147483647", true},
      {&DefaultValuesForm::newtonLimit, O::kNewtonLimit, "1", false},
      {&DefaultValuesForm::newtonLimit, O::kNewtonLimit, "0", false},
      {&DefaultValuesForm::newtonLimit, O::kNewtonLimit, "-5", false},
      {&DefaultValuesForm::derivationFactorPercent, O::kDerivationFactor, "0.001", true},
      {&DefaultValuesForm::derivationFactorPercent, O::kDerivationFactor, "25", true},
      {&DefaultValuesForm::derivationFactorPercent, O::kDerivationFactor, "3.7", true},
      {&DefaultValuesForm::derivationFactorPercent, O::kDerivationFactor, "0.000999", false},
      {&DefaultValuesForm::derivationFactorPercent, O::kDerivationFactor, "1e-9", false},
      {&DefaultValuesForm::derivationFactorPercent, O::kDerivationFactor, "25.0001", false},
      {&DefaultValuesForm::derivationFactorPercent, O::kDerivationFactor, "300", false},
      {&DefaultValuesForm::steadyStateResolution, O::kSteadyStateResolution, "0", true},
      {&DefaultValuesForm::steadyStateResolution, O::kSteadyStateResolution,
       "1.7976931348623157e308", true},
      {&DefaultValuesForm::steadyStateResolution, O::kSteadyStateResolution, "-1e-300", false},
      {&DefaultValuesForm::relativeTolerance, O::kRelativeTolerance, "0", true},
      {&DefaultValuesForm::relativeTolerance, O::kRelativeTolerance, "1e-300", true},
      {&DefaultValuesForm::relativeTolerance, O::kRelativeTolerance, "-1e-6", false},
      {&DefaultValuesForm::absoluteTolerance, O::kAbsoluteTolerance, "1e300", true},
      {&DefaultValuesForm::absoluteTolerance, O::kAbsoluteTolerance, "-0.5", false},
      {&DefaultValuesForm::adamsMaxOrder, O::kAdamsMaxOrder, "1", true},
      {&DefaultValuesForm::adamsMaxOrder, O::kAdamsMaxOrder, "12", true},
      {&DefaultValuesForm::adamsMaxOrder, O::kAdamsMaxOrder, "13", false},
      {&DefaultValuesForm::bdfMaxOrder, O::kBdfMaxOrder, "5", true},
      {&DefaultValuesForm::bdfMaxOrder, O::kBdfMaxOrder, "0", false},
      {&DefaultValuesForm::bdfMaxOrder, O::kBdfMaxOrder, "6", false},
  };
  KineticCatalogue catalogue;
  test::FillCatalogue(catalogue);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    DefaultValuesForm form = MakeDefaultValuesForm(DefaultValues{});
    form.*row.entry = row.text;
    DefaultValues defaults;
    const DefaultValuesCheck check = TakeDefaultValuesForm(form, defaults);
    EXPECT_EQ(check.ok(), row.accepted) << check.message;

    // A new model from the defaults; a refused entry is put in as it was
    // typed, as a form with the old, wider ranges took it.
    Document fresh;
    NewDocument(fresh, defaults);
    Document document = test::MakeSmallDocument(catalogue);
    document.settings.solver = fresh.settings.solver;
    if (!row.accepted) {
      const double shown = ParseReal(row.text).value();
      const double scale = row.option == O::kDerivationFactor ? kPercent : 1.0;
      SetOption(document.settings.solver, row.option, shown / scale);
    }

    // Read back with the built-in defaults, so that a replaced value shows.
    Document read;
    RecordingSink sink;
    ASSERT_EQ(ParseModelBuffer(read, ModelFileText(document, catalogue), catalogue, DefaultValues{},
                               sink),
              0);
    EXPECT_EQ(sink.messages().empty(), row.accepted);
    EXPECT_EQ(read.settings.solver == document.settings.solver, row.accepted);
  }
}

}  // namespace
}  // namespace vireon
