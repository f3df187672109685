#pragma once
// The one QApplication of the app tests, made on first use on the offscreen
// platform (unless the environment chose another), with the C numeric
// locale the program itself restores. It is destroyed when the tests end,
// before the exit handlers: at exit Qt's own globals (among them the input
// devices of QTest's simulated keys) would be gone before it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <clocale>
#include <cstdlib>

namespace vireon::test {

inline QApplication*& ApplicationSlot() {
  static QApplication* application = nullptr;
  return application;
}

inline QApplication& TestApplication() {
  static int argc = 1;
  static char name[] = "app_tests";
  static char* argv[] = {name, nullptr};
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication*& application = ApplicationSlot();
  if (application == nullptr) application = new QApplication(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  return *application;
}

class ApplicationEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    delete ApplicationSlot();
    ApplicationSlot() = nullptr;
  }
};

inline ::testing::Environment* const kApplicationEnvironment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

}  // namespace vireon::test
