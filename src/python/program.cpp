#include "python/program.h"

#include "python/collecting_sink.h"
#include "python/model_session.h"

namespace vireon::python {

Program& TheProgram() {
  // Started once; a start that failed is tried again at the next call.
  static std::mutex startMutex;
  static Program* program = nullptr;
  std::lock_guard<std::mutex> lock(startMutex);
  if (program != nullptr) return *program;
  auto started = std::make_unique<Program>();
  CollectingSink sink;
  if (!StartProgram(started->startup, sink)) {
    throw VireonError("Vireon could not start: " + sink.text());
  }
  // Kept to the end of the process: the models' steps point into its catalogue.
  program = started.release();
  return *program;
}

}  // namespace vireon::python
