// Every control of every page and dialog tells what it is for: it has a
// tooltip, or an accessible name (what a screen reader says: its own text,
// the label it is the buddy of, or a name it was given). And Help > Search
// finds the manual's sections.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextEdit>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/about_dialog.h"
#include "app/add_on_modules_dialog.h"
#include "app/app_fixture.h"
#include "app/compartments_dialog.h"
#include "app/default_values_dialog.h"
#include "app/error_log_dialog.h"
#include "app/events_dialog.h"
#include "app/function_dialog.h"
#include "app/functions_dialog.h"
#include "app/global_quantities_dialog.h"
#include "app/help_dialog.h"
#include "app/interactive_page.h"
#include "app/kinetic_type_dialog.h"
#include "app/kinetic_types_dialog.h"
#include "app/kinetics_dialog.h"
#include "app/link_dialog.h"
#include "app/links_dialog.h"
#include "app/main_window.h"
#include "app/metabolites_dialog.h"
#include "app/methods_dialog.h"
#include "app/moieties_dialog.h"
#include "app/output_data_dialog.h"
#include "app/plot_page.h"
#include "app/preferences_dialog.h"
#include "app/reactions_dialog.h"
#include "app/results_page.h"
#include "app/rules_dialog.h"
#include "app/units_dialog.h"
#include "kinetics/kinetic_type_editor.h"
#include "output/output_function_editor.h"
#include "scan/parameter_link_editor.h"

namespace vireon {
namespace {

bool IsControl(const QWidget* widget) {
  return qobject_cast<const QAbstractButton*>(widget) != nullptr ||
         qobject_cast<const QLineEdit*>(widget) != nullptr ||
         qobject_cast<const QComboBox*>(widget) != nullptr ||
         qobject_cast<const QAbstractSpinBox*>(widget) != nullptr ||
         qobject_cast<const QAbstractItemView*>(widget) != nullptr ||
         qobject_cast<const QAbstractSlider*>(widget) != nullptr ||
         qobject_cast<const QPlainTextEdit*>(widget) != nullptr ||
         qobject_cast<const QTextEdit*>(widget) != nullptr;
}

// Parts that Qt builds inside a control, which speak for it.
bool IsPartOfAnotherControl(const QWidget* widget) {
  if (qobject_cast<const QScrollBar*>(widget) != nullptr) return true;
  for (const QWidget* up = widget->parentWidget(); up != nullptr; up = up->parentWidget()) {
    if (qobject_cast<const QComboBox*>(up) != nullptr ||
        qobject_cast<const QAbstractSpinBox*>(up) != nullptr ||
        qobject_cast<const QTabBar*>(up) != nullptr ||
        qobject_cast<const QLineEdit*>(up) != nullptr ||
        qobject_cast<const QAbstractItemView*>(up) != nullptr) {
      return true;
    }
  }
  return false;
}

QString AccessibleName(QWidget* widget) {
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
  return accessible == nullptr ? QString() : accessible->text(QAccessible::Name).trimmed();
}

// The controls of `view` that say nothing about themselves, each as
// "view: class (object name)".
std::vector<std::string> SilentControls(QWidget& view, const std::string& name) {
  std::vector<std::string> silent;
  for (QWidget* widget : view.findChildren<QWidget*>()) {
    if (!IsControl(widget) || IsPartOfAnotherControl(widget)) continue;
    if (!widget->toolTip().trimmed().isEmpty() || !AccessibleName(widget).isEmpty()) continue;
    silent.push_back(name + ": " + widget->metaObject()->className() + " (" +
                     widget->objectName().toStdString() + ")");
  }
  return silent;
}

class ControlHelpTest : public test::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    const std::filesystem::path model = folder_ / "michaelis_menten.vrn";
    std::filesystem::copy_file(std::filesystem::path(VIREON_SOURCE_DIR) / "examples" /
                                   "michaelis_menten.vrn",
                               model);
    app_.helpers.gnuplot = "gnuplot";  // so that the Plot page is there
    window_ = std::make_unique<MainWindow>(app_, sink_);
    ASSERT_TRUE(window_->OpenFile(QString::fromStdString(model.string())));
  }

  std::unique_ptr<MainWindow> window_;
};

TEST_F(ControlHelpTest, EveryControlOfEveryPageSaysWhatItIsFor) {
  std::vector<std::string> silent;
  QTabWidget* sheet = window_->sheet();
  for (int page = 0; page < sheet->count(); ++page) {
    const std::vector<std::string> here =
        SilentControls(*sheet->widget(page), sheet->tabText(page).toStdString());
    silent.insert(silent.end(), here.begin(), here.end());
  }
  EXPECT_GE(sheet->count(), 5);
  EXPECT_EQ(silent, std::vector<std::string>{});
}

TEST_F(ControlHelpTest, EveryControlOfEveryDialogSaysWhatItIsFor) {
  Document& document = window_->document();
  KineticTypeEditor kineticType(app_.catalogue);
  OutputFunctionEditor function(sink_);
  ParameterLinkEditor link;
  std::vector<OutputItem> selection;
  std::string why;
  std::optional<ManualIndex> manual =
      ReadManual(std::filesystem::path(VIREON_SOURCE_DIR) / "docs" / "manual.md", why);
  ASSERT_TRUE(manual.has_value());

  using Make = std::function<std::unique_ptr<QDialog>()>;
  const std::vector<std::pair<std::string, Make>> dialogs = {
      {"Reactions",
       [&] {
         return std::make_unique<ReactionsDialog>(document, app_.catalogue,
                                                  app_.defaults.kineticConstant,
                                                  app_.defaults.concentration, sink_);
       }},
      {"Kinetics", [&] { return std::make_unique<KineticsDialog>(document, app_, sink_); }},
      {"Kinetic Types",
       [&] {
         return std::make_unique<KineticTypesDialog>(app_.catalogue, document.model,
                                                     app_.defaults.kineticConstant, sink_);
       }},
      {"New Kinetic Type",
       [&] { return std::make_unique<KineticTypeDialog>(kineticType, sink_, nullptr); }},
      {"Metabolites", [&] { return std::make_unique<MetabolitesDialog>(document, sink_); }},
      {"Moieties", [&] { return std::make_unique<MoietiesDialog>(document.model); }},
      {"Compartments", [&] { return std::make_unique<CompartmentsDialog>(document.model, sink_); }},
      {"Global quantities",
       [&] { return std::make_unique<GlobalQuantitiesDialog>(document.model, sink_); }},
      {"Rules", [&] { return std::make_unique<RulesDialog>(document.model, sink_); }},
      {"Events", [&] { return std::make_unique<EventsDialog>(document.model, sink_); }},
      {"Methods", [&] { return std::make_unique<MethodsDialog>(document.settings, sink_); }},
      {"Units", [&] { return std::make_unique<UnitsDialog>(document.settings, sink_); }},
      {"Links", [&] { return std::make_unique<LinksDialog>(document, sink_); }},
      {"Link",
       [&] {
         return std::make_unique<LinkDialog>(link, document.model, std::vector<std::string>{},
                                             sink_);
       }},
      {"Functions",
       [&] {
         return std::make_unique<FunctionsDialog>(document.functions, document.model, sink_);
       }},
      {"Function", [&] { return std::make_unique<FunctionDialog>(function, document.model); }},
      {"Output data",
       [&] {
         return std::make_unique<OutputDataDialog>(OutputDataMode::kTimeCourse, document,
                                                   selection, sink_);
       }},
      {"Default values",
       [&] { return std::make_unique<DefaultValuesDialog>(app_.defaults, sink_); }},
      {"Preferences", [&] { return std::make_unique<PreferencesDialog>(app_.preferences); }},
      {"Add-on modules", [&] { return std::make_unique<AddOnModulesDialog>(app_.helpers); }},
      {"About", [&] { return std::make_unique<AboutDialog>(document.folder); }},
      {"Errors", [&] { return std::make_unique<ErrorLogDialog>(); }},
      {"Help", [&] { return std::make_unique<HelpDialog>(*manual); }},
  };
  std::vector<std::string> silent;
  for (const auto& [name, make] : dialogs) {
    std::unique_ptr<QDialog> dialog = make();
    dialog->show();
    const std::vector<std::string> here = SilentControls(*dialog, name);
    silent.insert(silent.end(), here.begin(), here.end());
    dialog->reject();
  }
  EXPECT_EQ(silent, std::vector<std::string>{});
}

TEST_F(ControlHelpTest, HelpSearchListsTheSectionsThatHoldTheWords) {
  std::string why;
  std::optional<ManualIndex> manual =
      ReadManual(std::filesystem::path(VIREON_SOURCE_DIR) / "docs" / "manual.md", why);
  ASSERT_TRUE(manual.has_value());
  const std::vector<ManualHit> expected = manual->Search("relative tolerance");
  ASSERT_FALSE(expected.empty());
  HelpDialog dialog(*manual);
  dialog.show();
  // With nothing typed the list is the table of contents.
  EXPECT_EQ(dialog.hitList()->count(), static_cast<int>(manual->sections().size()));
  Type(dialog.searchField(), "relative tolerance");
  ASSERT_EQ(dialog.hitList()->count(), static_cast<int>(expected.size()));
  EXPECT_EQ(dialog.hitList()->currentRow(), 0);
  const ManualSection& best = manual->sections()[static_cast<std::size_t>(expected[0].section)];
  EXPECT_TRUE(dialog.hitList()->item(0)->text().startsWith(QString::fromStdString(best.title)));
  EXPECT_TRUE(dialog.sectionView()->toPlainText().contains("tolerance", Qt::CaseInsensitive));

  dialog.ShowSection(manual->FindSection("Rate laws"));
  EXPECT_TRUE(dialog.sectionView()->toPlainText().startsWith("Rate laws"));
  dialog.searchField()->setText("nothingofthiskind");
  EXPECT_EQ(dialog.hitList()->count(), 0);
}

}  // namespace
}  // namespace vireon
