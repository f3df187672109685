#include "app/fit_page.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QChart>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <QXYSeries>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "app/main_window.h"
#include "app_fixture.h"
#include "output/output_item_binding.h"

namespace vireon {
namespace {

// Long enough for a fit under the sanitizers on a busy machine.
constexpr int kFitTimeoutMs = 120000;

class FitPageTest : public test::AppFixture {
 protected:
  // The puromycin example, opened from a copy in the test's folder, and
  // its Fit page shown.
  FitPage* OpenPuromycin(MainWindow& window) {
    const std::filesystem::path examples = std::filesystem::path(VIREON_SOURCE_DIR) / "examples";
    for (const char* name : {"puromycin.vrn", "puromycin.csv"}) {
      std::filesystem::copy_file(examples / name, folder_ / name,
                                 std::filesystem::copy_options::overwrite_existing);
    }
    EXPECT_TRUE(window.OpenFile(QString::fromStdString(PathIn("puromycin.vrn"))));
    window.sheet()->setCurrentWidget(window.fitPage());
    return window.fitPage();
  }

  static bool WaitUntil(const std::function<bool()>& done) {
    QDeadlineTimer deadline(kFitTimeoutMs);
    while (!deadline.hasExpired()) {
      QCoreApplication::processEvents();
      if (done()) return true;
      QThread::msleep(5);
    }
    return false;
  }

  // The value of the quantity a scan titles `title`.
  static double Constant(Document& document, const std::string& title) {
    for (const OutputDataNode& node : FitEditor(document, 1).ParameterTree()) {
      for (OutputItem item : node.entries) {
        if (item.title != title) continue;
        const BindingContext context{document.model, document.engine, document.settings, {},
                                     nullptr};
        if (BindOutputItem(item, context, true) && item.value != nullptr) return *item.value;
      }
    }
    ADD_FAILURE() << "no quantity " << title;
    return 0.0;
  }

  static QString Cell(const QTableWidget* table, int row, int column) {
    const QTableWidgetItem* item = table->item(row, column);
    return item == nullptr ? QString() : item->text();
  }
};

TEST_F(FitPageTest, FitsThePuromycinExampleAndAppliesTheValuesUndoably) {
  MainWindow window(app_, sink_);
  window.show();
  FitPage* page = OpenPuromycin(window);
  ASSERT_EQ(page->experimentList()->count(), 1);
  EXPECT_EQ(page->experimentList()->item(0)->text(), "puromycin.csv");
  const QTableWidget* preview = page->previewTable();
  ASSERT_EQ(preview->columnCount(), 2);
  EXPECT_EQ(preview->horizontalHeaderItem(0)->text(), "[S]i");
  EXPECT_EQ(Cell(preview, 0, 0), "sets [S]i");
  EXPECT_EQ(Cell(preview, 0, 1), "measures J(velocity)");
  EXPECT_EQ(Cell(preview, 1, 1), "76");
  EXPECT_EQ(page->parameterTable()->rowCount(), 2);
  EXPECT_EQ(page->statusLabel()->text(), "Ready to fit.");
  EXPECT_FALSE(page->applyButton()->isEnabled());

  // F5 on this page runs the fit, on its own thread.
  window.runAction()->trigger();
  EXPECT_TRUE(page->running());
  EXPECT_TRUE(window.stopAction()->isEnabled());
  EXPECT_FALSE(window.controller().IsBusy());
  ASSERT_TRUE(WaitUntil([&] { return !page->running(); }));
  EXPECT_FALSE(window.stopAction()->isEnabled());

  const QTableWidget* values = page->valuesTable();
  ASSERT_EQ(values->rowCount(), 2);
  // Bates and Watts: Vm = 212.7 +- 6.947, K = 0.06412 +- 0.008281.
  EXPECT_EQ(Cell(values, 0, 0), "velocity(V)");
  EXPECT_EQ(Cell(values, 0, 1), "212.686");
  EXPECT_EQ(Cell(values, 0, 2), "6.94719");
  EXPECT_EQ(Cell(values, 1, 1), "0.0641247");
  EXPECT_EQ(Cell(values, 1, 2), "0.00828102");
  EXPECT_EQ(Cell(values, 1, 3), "");
  EXPECT_TRUE(page->statusLabel()->text().startsWith("converged: objective 1195.45"))
      << page->statusLabel()->text().toStdString();
  ASSERT_FALSE(page->progressChart()->series().isEmpty());
  EXPECT_GE(qobject_cast<QXYSeries*>(page->progressChart()->series().first())->count(), 2);
  ASSERT_EQ(page->experimentChooser()->count(), 1);
  ASSERT_EQ(page->fitChart()->series().size(), 2);  // the data and the fitted curve
  EXPECT_EQ(qobject_cast<QXYSeries*>(page->fitChart()->series()[0])->count(), 12);
  EXPECT_EQ(qobject_cast<QXYSeries*>(page->residualChart()->series()[0])->count(), 12);

  const double guessV = Constant(window.document(), "velocity(V)");
  ASSERT_TRUE(page->applyButton()->isEnabled());
  page->applyButton()->click();
  EXPECT_NEAR(Constant(window.document(), "velocity(V)"), 212.686, 1e-3);
  EXPECT_TRUE(window.document().modified);
  EXPECT_EQ(window.undoAction()->text(), "&Undo Fitted Values");
  ASSERT_TRUE(window.Undo());
  EXPECT_EQ(Constant(window.document(), "velocity(V)"), guessV);
}

TEST_F(FitPageTest, ABadDataFileShowsItsMessageAndTheFitIsRefused) {
  MainWindow window(app_, sink_);
  window.show();
  FitPage* page = OpenPuromycin(window);
  std::ofstream(PathIn("broken.csv")) << "[S]i,J(velocity)\n0.02,76\n0.06,ninety\n";
  ASSERT_TRUE(page->AddExperimentFile(QString::fromStdString(PathIn("broken.csv"))));
  ASSERT_EQ(page->experimentList()->count(), 2);
  EXPECT_EQ(page->experimentList()->currentRow(), 1);
  const QString message = page->experimentMessage()->text();
  EXPECT_TRUE(message.contains("broken.csv")) << message.toStdString();
  EXPECT_TRUE(message.contains("line 3")) << message.toStdString();
  EXPECT_TRUE(page->statusLabel()->text().startsWith("Cannot fit: ")) << message.toStdString();
  EXPECT_EQ(window.undoAction()->text(), "&Undo Fit");
  EXPECT_EQ(window.document().fit.dataFiles.back(), "broken.csv");
  EXPECT_FALSE(page->runButton()->isEnabled());
  EXPECT_FALSE(page->Run());

  // A column the model does not know is named in the preview.
  std::ofstream(PathIn("unknown.csv")) << "[S]i,J(velocity),Q\n0.02,76,1\n";
  ASSERT_TRUE(page->AddExperimentFile(QString::fromStdString(PathIn("unknown.csv"))));
  EXPECT_EQ(Cell(page->previewTable(), 0, 2), "not understood");
  EXPECT_TRUE(page->experimentMessage()->text().contains("Column 3: Q names nothing"))
      << page->experimentMessage()->text().toStdString();
  EXPECT_FALSE(page->AddExperimentFile(QString::fromStdString(PathIn("unknown.csv"))));

  // Undo takes the files out of the fit again, and the page follows.
  ASSERT_TRUE(window.Undo());
  ASSERT_TRUE(window.Undo());
  EXPECT_EQ(window.document().fit.dataFiles.size(), 1u);
  EXPECT_EQ(page->experimentList()->count(), 1);
  EXPECT_TRUE(page->runButton()->isEnabled());
}

TEST_F(FitPageTest, SavingElsewhereKeepsTheExperiments) {
  MainWindow window(app_, sink_);
  window.show();
  FitPage* page = OpenPuromycin(window);
  std::filesystem::create_directories(folder_ / "copies");
  ASSERT_TRUE(window.SaveTo(QString::fromStdString(PathIn("copies/puromycin.vrn"))));
  const std::string data = (folder_ / "puromycin.csv").lexically_normal().string();
  EXPECT_EQ(window.document().fit.dataFiles, std::vector<std::string>{data});
  EXPECT_TRUE(ReadFile(PathIn("copies/puromycin.vrn")).find("File=" + data + "\n") !=
              std::string::npos);
  ASSERT_EQ(page->experimentList()->count(), 1);
  EXPECT_EQ(page->statusLabel()->text(), "Ready to fit.");
  // Back beside its data, the model keeps the file by its name again.
  ASSERT_TRUE(window.SaveTo(QString::fromStdString(PathIn("puromycin.vrn"))));
  EXPECT_EQ(window.document().fit.dataFiles, std::vector<std::string>{"puromycin.csv"});
}

TEST_F(FitPageTest, BoundsAreTypedInTheTableAndAStopKeepsTheBestPoint) {
  MainWindow window(app_, sink_);
  window.show();
  FitPage* page = OpenPuromycin(window);
  QTableWidget* parameters = page->parameterTable();
  parameters->item(0, 1)->setText("10");
  parameters->item(0, 2)->setText("1000");
  parameters->item(1, 1)->setText("1e-4");
  parameters->item(1, 2)->setText("ten");
  EXPECT_EQ(Cell(parameters, 1, 2), "");  // refused: the bound stays as it was
  EXPECT_TRUE(page->statusLabel()->text().contains("ten")) << page->statusLabel()->text().toStdString();
  parameters->item(1, 2)->setText("10");
  EXPECT_EQ(window.document().fit.parameters[0].lower, 10.0);
  EXPECT_EQ(window.document().fit.parameters[1].upper, 10.0);
  EXPECT_EQ(window.undoAction()->text(), "&Undo Fit");

  page->methodBox()->setCurrentIndex(1);
  emit page->methodBox()->activated(1);
  ASSERT_TRUE(page->startsField()->isEnabled());
  page->startsField()->setValue(2000);
  EXPECT_EQ(window.document().fit.starts, 2000);
  EXPECT_EQ(window.document().fit.method, FitMethod::kGlobal);

  ASSERT_TRUE(page->Run());
  EXPECT_FALSE(page->runButton()->isEnabled());
  EXPECT_FALSE(page->parameterTable()->isEnabled());
  ASSERT_TRUE(WaitUntil([&] {
    return page->statusLabel()->text().contains("starts done") &&
           !page->statusLabel()->text().startsWith("Fitting: 0 ");
  }));
  window.stopAction()->trigger();
  ASSERT_TRUE(WaitUntil([&] { return !page->running(); }));
  EXPECT_TRUE(page->statusLabel()->text().contains("stopped")) << page->statusLabel()->text().toStdString();
  EXPECT_EQ(page->valuesTable()->rowCount(), 2);
  EXPECT_TRUE(page->applyButton()->isEnabled());

  // Undo of the bounds: the page shows the document's fit again.
  while (window.history().CanUndo() && window.history().UndoName() == "Fit") window.Undo();
  EXPECT_EQ(Cell(page->parameterTable(), 0, 1), "");
  EXPECT_EQ(window.document().fit.method, FitMethod::kLocal);
}

}  // namespace
}  // namespace vireon
