// The desktop program's document never loses an edit: the save prompt on
// New, Open and close, Save taking the field being edited, New and Open
// refused during a run, the recent-file list, and a window destroyed while
// a field has the focus.

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMenu>
#include <QAbstractButton>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>
#include <QThread>
#include <memory>

#include "app/app_fixture.h"
#include "app/main_window.h"
#include "app/model_page.h"
#include "app/qt_message_sink.h"
#include "app/tasks_page.h"
#include "document/model_file.h"
#include "model/messages.h"
#include "output/output_item.h"
#include "settings/settings_store.h"

namespace vireon {
namespace {

using test::AppFixture;

// Safety limit for the event loop while a run goes on (not a timing check).
constexpr int kMaxEventRounds = 200000;

class DocumentLifecycleTest : public AppFixture {
 protected:
  // Shows the window and gives it the focus, as a user's window has.
  static void Activate(MainWindow& window) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  }

  // Types into a field and leaves it with Tab, as a user would.
  static void TypeAndLeave(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Tab);
  }
};

TEST_F(DocumentLifecycleTest, ModifiedDocumentAsksBeforeNewAndKeepsItOnCancel) {
  MainWindow window(app_, sink_);
  Activate(window);
  TypeAndLeave(window.modelPage()->titleField(), "Glycolysis");
  ASSERT_EQ(window.document().model.title, "Glycolysis");
  EXPECT_TRUE(window.document().modified);
  EXPECT_TRUE(window.isWindowModified());

  sink_.QueueAnswer(Answer::kCancel);
  EXPECT_FALSE(window.NewDocumentCommand());
  EXPECT_TRUE(sink_.Said("Save changes to Untitled?"));
  EXPECT_EQ(window.document().model.title, "Glycolysis");
  sink_.QueueAnswer(Answer::kCancel);
  EXPECT_FALSE(window.close());
  EXPECT_EQ(window.document().model.title, "Glycolysis");

  sink_.QueueAnswer(Answer::kNo);  // discard
  EXPECT_TRUE(window.NewDocumentCommand());
  EXPECT_EQ(window.document().model.title, "Untitled");
  EXPECT_FALSE(window.document().modified);
  sink_.Clear();
  EXPECT_TRUE(window.close());  // nothing unsaved: no question
  EXPECT_TRUE(sink_.messages().empty());
}

TEST_F(DocumentLifecycleTest, TheDesktopsQuestionOffersSaveDiscardAndCancel) {
  QtMessageSink boxes;
  MainWindow window(app_, boxes);
  boxes.SetParent(&window);
  window.document().model.title = "Kept";
  window.document().modified = true;
  const auto answer = [](QMessageBox::StandardButton button) {
    test::WhenDialogOpens<QMessageBox>([button](QMessageBox& box) {
      EXPECT_EQ(box.text(), "Save changes to Untitled?");
      ASSERT_NE(box.button(QMessageBox::Save), nullptr);
      box.button(button)->click();
    });
  };
  answer(QMessageBox::Cancel);
  EXPECT_FALSE(window.NewDocumentCommand());
  EXPECT_EQ(window.document().model.title, "Kept");
  answer(QMessageBox::Discard);
  EXPECT_TRUE(window.NewDocumentCommand());
  EXPECT_EQ(window.document().model.title, "Untitled");
  boxes.SetParent(nullptr);
}

TEST_F(DocumentLifecycleTest, SavingFromThePromptWritesTheChangeBeforeTheNextFileOpens) {
  const std::string first = PathIn("first.vrn");
  const std::string second = PathIn("second.vrn");
  {
    Document other;
    NewDocument(other, app_.defaults);
    other.model.title = "Second";
    ASSERT_TRUE(WriteModelFile(other, second, app_.catalogue, sink_));
  }
  MainWindow window(app_, sink_);
  Activate(window);
  ASSERT_TRUE(window.SaveTo(QString::fromStdString(first)));
  TypeAndLeave(window.modelPage()->titleField(), "First, edited");

  sink_.QueueAnswer(Answer::kYes);
  ASSERT_TRUE(window.OpenFile(QString::fromStdString(second)));
  EXPECT_EQ(window.document().model.title, "Second");
  EXPECT_NE(ReadFile(first).find("\nTitle=First, edited\n"), std::string::npos);
  EXPECT_EQ(window.windowTitle(), "second.vrn[*] - Vireon");
}

TEST_F(DocumentLifecycleTest, CommentsOverSeveralLinesOpenUnmodifiedAndKeepTheirLineBreaks) {
  const std::string path = PathIn("comments.vrn");
  {
    Document written;
    NewDocument(written, app_.defaults);
    written.model.comments = "First line\r\nsecond line";
    ASSERT_TRUE(WriteModelFile(written, path, app_.catalogue, sink_));
  }
  MainWindow window(app_, sink_);
  ASSERT_TRUE(window.OpenFile(QString::fromStdString(path)));
  EXPECT_FALSE(window.document().modified);
  EXPECT_EQ(window.modelPage()->commentsField()->toPlainText(), "First line\nsecond line");

  Activate(window);
  QPlainTextEdit* comments = window.modelPage()->commentsField();
  comments->setFocus();
  comments->moveCursor(QTextCursor::End);
  QTest::keyClick(comments, Qt::Key_Return);
  QTest::keyClicks(comments, "third");
  EXPECT_TRUE(window.document().modified);
  EXPECT_EQ(window.document().model.comments, "First line\r\nsecond line\r\nthird");
}

TEST_F(DocumentLifecycleTest, AFileThatCannotBeReadLeavesTheOpenDocumentAsItWas) {
  const std::string broken = PathIn("broken.vrn");
  std::ofstream(broken) << "not a model\n";
  MainWindow window(app_, sink_);
  AddSteps(window.document(), {{"v1", "S -> P"}});
  window.document().modified = false;
  EXPECT_FALSE(window.OpenFile(QString::fromStdString(broken)));
  EXPECT_FALSE(sink_.messages().empty());
  EXPECT_EQ(window.document().model.nSteps(), 1);
}

TEST_F(DocumentLifecycleTest, ValueTypedThenCtrlSIsSaved) {
  MainWindow window(app_, sink_);
  Activate(window);
  const std::string path = PathIn("typed.vrn");
  ASSERT_TRUE(window.SaveTo(QString::fromStdString(path)));
  window.sheet()->setCurrentWidget(window.tasksPage());

  QLineEdit* endTime = window.tasksPage()->endTimeField();
  endTime->setFocus();
  endTime->selectAll();
  QTest::keyClicks(endTime, "25");
  // Still in the field: the page has not taken the value yet.
  ASSERT_TRUE(endTime->hasFocus());
  QTest::keyClick(endTime, Qt::Key_S, Qt::ControlModifier);

  EXPECT_NE(ReadFile(path).find("\nEndTime=2.500000e+01\n"), std::string::npos);
  EXPECT_FALSE(window.document().modified);
  EXPECT_TRUE(endTime->hasFocus());  // the user goes on typing where he was
}

TEST_F(DocumentLifecycleTest, DestroyingTheWindowWhileAFieldHasTheFocusLeavesTheDocumentAlone) {
  // Under AddressSanitizer a write into the destroyed document fails here.
  auto window = std::make_unique<MainWindow>(app_, sink_);
  Activate(*window);
  window->sheet()->setCurrentWidget(window->tasksPage());
  QLineEdit* endTime = window->tasksPage()->endTimeField();
  endTime->setFocus();
  QTest::keyClicks(endTime, "7");
  window.reset();
  SUCCEED();
}

TEST_F(DocumentLifecycleTest, NewAndOpenAreRefusedDuringARun) {
  MainWindow window(app_, sink_);
  Document& document = window.document();
  AddSteps(document, {{"v1", "S -> P"}});
  document.settings.steadyState = 0;
  document.selections.interactive.push_back(MakeOutputItem(kTransientConcentration, "P"));
  const std::string path = PathIn("running.vrn");
  ASSERT_TRUE(window.SaveTo(QString::fromStdString(path)));

  ASSERT_TRUE(window.Run());
  window.controller().Pause();
  sink_.Clear();
  EXPECT_FALSE(window.NewDocumentCommand());
  EXPECT_FALSE(window.OpenFile(QString::fromStdString(path)));
  EXPECT_EQ(sink_.Texts(), (std::vector<std::string>{messages::kCannotCloseWhileRunning,
                                                      messages::kCannotCloseWhileRunning}));
  EXPECT_EQ(document.model.nSteps(), 1);

  window.StopRun();
  int rounds = 0;
  while (window.controller().IsBusy() && ++rounds < kMaxEventRounds) {
    QCoreApplication::processEvents();
    QThread::usleep(100);
  }
  window.controller().Wait();
  QCoreApplication::processEvents();
}

TEST_F(DocumentLifecycleTest, RecentFilesFollowOpenAndSaveAndOutliveTheProgram) {
  std::vector<std::string> paths;
  {
    MainWindow window(app_, sink_);
    for (const char* name : {"a.vrn", "b.vrn", "c.vrn", "d.vrn", "e.vrn"}) {
      paths.push_back(PathIn(name));
      ASSERT_TRUE(window.SaveTo(QString::fromStdString(paths.back())));
    }
    ASSERT_TRUE(window.OpenFile(QString::fromStdString(paths[2])));
    QStringList shown;
    for (QAction* action : window.fileMenu()->actions()) {
      if (action->isVisible() && action->text().startsWith('&') && action->text()[1].isDigit()) {
        shown << action->text();
      }
    }
    ASSERT_EQ(shown.size(), 4);
    EXPECT_TRUE(shown[0].startsWith("&1 ") && shown[0].endsWith("c.vrn"));
    EXPECT_TRUE(shown[1].endsWith("e.vrn"));
    EXPECT_TRUE(shown[3].endsWith("b.vrn"));
  }
  // A file that has gone is dropped when the user tries to open it.
  std::filesystem::remove(paths[4]);
  AppStartup again;
  ASSERT_TRUE(StartApplication(again, sink_, folder_ / "vireon.ini", folder_ / "vireon.kdb"));
  EXPECT_EQ(again.recentFiles.paths(),
            (std::vector<std::string>{paths[2], paths[4], paths[3], paths[1]}));
  MainWindow window(again, sink_);
  EXPECT_FALSE(window.OpenFile(QString::fromStdString(paths[4])));
  EXPECT_EQ(again.recentFiles.paths(), (std::vector<std::string>{paths[2], paths[3], paths[1]}));
}

}  // namespace
}  // namespace vireon
