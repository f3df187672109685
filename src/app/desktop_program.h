#pragma once
// The desktop program's life once it has started up: the main window, the
// event loop, and what is saved at the end.

#include <QStringList>

#include "app/app_startup.h"
#include "app/qt_message_sink.h"

namespace vireon {

// Shows the main window over the model file named by the first argument
// after the program's name (if any) and runs the event loop until the user
// quits or SIGTERM asks the program to close (MainWindow::CloseOnRequest:
// nothing is asked, unsaved model changes are not saved). Then saves the
// kinetics database (EndApplication). Returns the event loop's exit status.
int RunDesktopProgram(AppStartup& startup, QtMessageSink& sink, const QStringList& arguments);

}  // namespace vireon
