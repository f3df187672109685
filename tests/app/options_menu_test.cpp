// The Options menu's three dialogs, each written to the settings file on
// OK, the Plot page following the gnuplot path, and the Help menu.

#include <QCheckBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLineEdit>
#include <QTabWidget>
#include <QUrl>

#include "app/add_on_modules_dialog.h"
#include "app/app_fixture.h"
#include "app/default_values_dialog.h"
#include "app/main_window.h"
#include "app/preferences_dialog.h"
#include "settings/settings_store.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

using test::AppFixture;
using test::WhenDialogOpens;

class OptionsMenuTest : public AppFixture {
 protected:
  SettingsStore Store() const { return SettingsStore(folder_ / "vireon.ini"); }
};

TEST_F(OptionsMenuTest, DefaultValuesAreCheckedStoredAndTakenByNewDocuments) {
  MainWindow window(app_, sink_);
  WhenDialogOpens<DefaultValuesDialog>([this](DefaultValuesDialog& dialog) {
    dialog.field(DefaultValuesField::kBdfMaxOrder)->setText("9");
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());  // refused
    EXPECT_TRUE(sink_.Said("Please enter an integer between 1 and 5."));
    dialog.field(DefaultValuesField::kBdfMaxOrder)->setText("3");
    dialog.field(DefaultValuesField::kDerivationFactor)->setText("0.5");  // percent
    dialog.field(DefaultValuesField::kTimeUnit)->setText("min");
  });
  window.EditDefaultValues();

  EXPECT_EQ(app_.defaults.bdfMaxOrder, 3);
  EXPECT_CLOSE(app_.defaults.derivationFactor, 0.005, 0.0, test::kTightRel);
  DefaultValues stored;
  ASSERT_EQ(Store().ReadDefaultValues(stored, sink_), 0);
  EXPECT_EQ(stored.bdfMaxOrder, 3);
  EXPECT_EQ(stored.timeUnit, "min");
  sink_.QueueAnswer(Answer::kNo);
  ASSERT_TRUE(window.NewDocumentCommand());
  EXPECT_EQ(window.document().settings.solver.bdfMaxOrder, 3);
  EXPECT_EQ(window.document().settings.timeUnit, "min");

  // Cancel changes nothing.
  WhenDialogOpens<DefaultValuesDialog>(
      [](DefaultValuesDialog& dialog) {
        dialog.field(DefaultValuesField::kBdfMaxOrder)->setText("1");
      },
      false);
  window.EditDefaultValues();
  EXPECT_EQ(app_.defaults.bdfMaxOrder, 3);
}

TEST_F(OptionsMenuTest, PlotPageFollowsTheGnuplotPathAndThePathsAreStored) {
  MainWindow window(app_, sink_);
  QTabWidget* sheet = window.sheet();
  const int withoutPlot = sheet->count();
  WhenDialogOpens<AddOnModulesDialog>([](AddOnModulesDialog& dialog) {
    dialog.gnuplotField()->setText("/usr/bin/gnuplot");
    dialog.textEditorField()->setText("/usr/bin/editor");
  });
  window.EditAddOnModules();
  ASSERT_EQ(sheet->count(), withoutPlot + 1);
  EXPECT_EQ(sheet->tabText(withoutPlot), "Plot");
  HelperPaths stored;
  ASSERT_EQ(Store().ReadHelperPaths(stored, sink_), 0);
  EXPECT_EQ(stored, (HelperPaths{"/usr/bin/gnuplot", "/usr/bin/editor"}));

  WhenDialogOpens<AddOnModulesDialog>(
      [](AddOnModulesDialog& dialog) { dialog.gnuplotField()->clear(); });
  window.EditAddOnModules();
  EXPECT_EQ(sheet->count(), withoutPlot);
  EXPECT_EQ(app_.helpers.textEditor, "/usr/bin/editor");
}

TEST_F(OptionsMenuTest, PreferencesAreStored) {
  MainWindow window(app_, sink_);
  WhenDialogOpens<PreferencesDialog>([](PreferencesDialog& dialog) {
    dialog.loadReportBox()->setChecked(true);
    dialog.soundBox()->setChecked(true);
    dialog.soundFileField()->setText("/home/user/done.wav");
  });
  window.EditPreferences();
  const Preferences expected{1, 1, "/home/user/done.wav"};
  EXPECT_EQ(app_.preferences, expected);
  Preferences stored;
  ASSERT_EQ(Store().ReadPreferences(stored, sink_), 0);
  EXPECT_EQ(stored, expected);
}

// Takes the place of the desktop's opener of local files.
class FileOpener : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> opened;

 public slots:
  void Open(const QUrl& url) { opened.append(url); }
};

TEST_F(OptionsMenuTest, HelpContentsOpensTheManualTheBuildStaged) {
  FileOpener opener;
  QDesktopServices::setUrlHandler("file", &opener, "Open");
  MainWindow window(app_, sink_);
  window.ShowContents();
  QDesktopServices::unsetUrlHandler("file");
  EXPECT_TRUE(sink_.messages().empty());
  ASSERT_EQ(opener.opened.size(), 1);
  const QString manual = opener.opened[0].toLocalFile();
  EXPECT_TRUE(manual.endsWith("/share/doc/vireon/manual.html") ||
              manual.endsWith("/share/doc/vireon/manual.md"));
  EXPECT_TRUE(QFileInfo(manual).isFile());
}

}  // namespace
}  // namespace vireon

#include "options_menu_test.moc"
