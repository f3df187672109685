#include "app/desktop_program.h"

#include <QApplication>

#include "app/main_window.h"
#include "app/termination_request.h"

namespace vireon {

int RunDesktopProgram(AppStartup& startup, QtMessageSink& sink, const QStringList& arguments) {
  int status = 0;
  {
    TerminationRequest termination;
    MainWindow window(startup, sink);
    QObject::connect(&termination, &TerminationRequest::requested, &window,
                     &MainWindow::CloseOnRequest);
    sink.SetParent(&window);
    if (arguments.size() > 1) window.OpenFile(arguments.at(1));
    window.show();
    status = QApplication::exec();
    sink.SetParent(nullptr);
  }
  EndApplication(startup, sink);
  return status;
}

}  // namespace vireon
