#pragma once
// The one QApplication of the app tests, made on first use on the offscreen
// platform (unless the environment chose another), with the C numeric
// locale the program itself restores.

#include <QApplication>
#include <QCoreApplication>
#include <clocale>
#include <cstdlib>

namespace vireon::test {

inline QApplication& TestApplication() {
  static int argc = 1;
  static char name[] = "app_tests";
  static char* argv[] = {name, nullptr};
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QApplication application(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  return application;
}

}  // namespace vireon::test
