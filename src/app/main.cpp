// vireon-gui: the desktop program. Start-up reads the settings, seeds the
// random generator, builds the kinetic type catalogue and reads the
// kinetics database, then opens an empty document or the model file named
// on the command line. At exit, also on SIGTERM, the kinetics database is
// written back.

#include <QApplication>
#include <clocale>

#include "app/app_startup.h"
#include "app/desktop_program.h"
#include "app/qt_message_sink.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  // The core writes its files with the C library's printf: numbers must keep
  // their decimal point whatever the user's locale.
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName("Vireon");

  vireon::QtMessageSink sink;
  vireon::AppStartup startup;
  if (!vireon::StartApplication(startup, sink)) return 1;

  return vireon::RunDesktopProgram(startup, sink, QApplication::arguments());
}
