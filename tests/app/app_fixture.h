#pragma once
// What the desktop program's tests share: a start-up on settings and a
// kinetics database of their own in a fresh folder, a recording sink, the
// reactions dialog to enter steps as a user would, a way to drive the next
// dialog the Model Definition page opens, and a way to answer the next
// modal dialog that a command opens.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>

#include "app/app_startup.h"
#include "app/model_page.h"
#include "app/reactions_dialog.h"
#include "document/document.h"
#include "qt_application.h"

namespace vireon::test {

class AppFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApplication();
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    folder_ = std::filesystem::temp_directory_path() /
              ("vireon_app_" + std::to_string(::getpid()) + "_" + name);
    std::filesystem::create_directories(folder_);
    ASSERT_TRUE(StartApplication(app_, sink_, folder_ / "vireon.ini", folder_ / "vireon.kdb"));
    sink_.Clear();
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  std::string PathIn(const std::string& name) const { return (folder_ / name).string(); }

  // Enters steps through the reactions dialog, as the user would.
  void AddSteps(Document& document,
                std::initializer_list<std::pair<const char*, const char*>> steps) {
    ReactionsDialog dialog(document, app_.catalogue, app_.defaults.kineticConstant,
                           app_.defaults.concentration, sink_);
    for (const auto& [name, equation] : steps) {
      dialog.nameField()->setText(name);
      dialog.equationField()->setText(equation);
      dialog.AddOrChange();
    }
    dialog.accept();
  }

  // Has the page show its next dialog by running `drive` on it (which ends
  // it, with OK or not) instead of opening it modally.
  template <class DialogType>
  static void Drive(ModelPage& page, std::function<void(DialogType&)> drive) {
    page.SetShowDialog([drive = std::move(drive)](QDialog& shown) {
      auto* dialog = qobject_cast<DialogType*>(&shown);
      EXPECT_NE(dialog, nullptr) << "another dialog opened";
      if (dialog == nullptr) return false;
      dialog->show();
      drive(*dialog);
      return dialog->result() == QDialog::Accepted;
    });
  }

  static void Type(QWidget* field, const QString& text) {
    field->setFocus();
    QTest::keyClicks(field, text);
  }

  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::filesystem::path folder_;
  AppStartup app_;
  RecordingSink sink_;
};

// Runs `fill` on the next modal dialog as soon as a command has opened it
// (it is the one running exec()), then closes it with OK, or with Cancel
// when `accept` is false. Call it before the command.
template <class DialogType>
void WhenDialogOpens(std::function<void(DialogType&)> fill, bool accept = true) {
  QTimer::singleShot(0, [fill = std::move(fill), accept] {
    auto* dialog = qobject_cast<DialogType*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr) << "no dialog of the expected kind is open";
    fill(*dialog);
    if (!dialog->isVisible()) return;  // the fill closed it
    if (!accept) {
      dialog->reject();
      return;
    }
    dialog->accept();
    if (dialog->isVisible()) {
      ADD_FAILURE() << "the dialog refused OK";
      dialog->reject();
    }
  });
}

}  // namespace vireon::test
