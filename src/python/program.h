#pragma once
// What the Python module sets up once for the whole process, as the
// command line does at its start: the user's settings and default values,
// and the catalogue of kinetic types with the user-defined types of the
// kinetics database. Every model of the process shares the catalogue, so
// loading a model (which may enter its own kinetic types) holds the lock.

#include <mutex>

#include "document/program_startup.h"

namespace vireon::python {

struct Program {
  ProgramStartup startup;
  // Held while the catalogue changes.
  std::mutex catalogueMutex;
};

// The process's program, started on the first call; throws VireonError with
// the messages said when it cannot start.
Program& TheProgram();

}  // namespace vireon::python
