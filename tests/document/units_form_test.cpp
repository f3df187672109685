#include "document/units_form.h"

#include <gtest/gtest.h>

#include <string>

#include "document/model_file.h"
#include "support/document_fixtures.h"

namespace vireon {
namespace {

TEST(UnitsFormTest, FluxFollowsConcentrationAndTimeAndTheUnitsSurviveTheModelFile) {
  KineticCatalogue catalogue;
  test::FillCatalogue(catalogue);
  Document document = test::MakeSmallDocument(catalogue);
  UnitsForm form = MakeUnitsForm(document.settings);
  EXPECT_EQ(FluxUnit(form), "mM/s");
  form = {"min", "umol per litre", "10^-3 l"};  // fifteen characters at most
  EXPECT_EQ(FluxUnit(form), "umol per litre/min");
  ASSERT_TRUE(TakeUnitsForm(form, document.settings).ok());

  Document read;
  RecordingSink sink;
  ASSERT_EQ(ParseModelBuffer(read, ModelFileText(document, catalogue), catalogue, DefaultValues{},
                             sink),
            0);
  EXPECT_EQ(MakeUnitsForm(read.settings).concentration, "umol per litre");
  EXPECT_EQ(read.settings.timeUnit, "min");
  EXPECT_EQ(read.settings.volumeUnit, "10^-3 l");
}

TEST(UnitsFormTest, ALongOrBrokenUnitIsNamedAndChangesNothing) {
  struct Case {
    UnitsForm form;
    UnitsField field;
    const char* message;
  };
  const Case cases[] = {
      {{"sixteen seconds", "mM", "ml"}, UnitsField::kNone, ""},
      {{"sixteen seconds!", "mM", "ml"}, UnitsField::kTime,
       "Please enter no more than 15 characters."},
      {{"s", "m\nM", "ml"}, UnitsField::kConcentration, "Please enter a unit on one line."},
      {{"s", "mM", "m\rl"}, UnitsField::kVolume, "Please enter a unit on one line."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.form.time + c.form.concentration + c.form.volume);
    TaskSettings settings;
    const TaskSettings before = settings;
    const UnitsCheck check = TakeUnitsForm(c.form, settings);
    EXPECT_EQ(check.field, c.field);
    EXPECT_EQ(check.message, c.message);
    if (!check.ok()) {
      EXPECT_EQ(settings, before);
    } else {
      EXPECT_EQ(settings.timeUnit, c.form.time);
    }
  }
}

}  // namespace
}  // namespace vireon
