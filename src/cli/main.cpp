// The vireon command: runs and plots models from the command line.

#include <iostream>
#include <string>
#include <vector>

#include "cli/vireon_command.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const int status = vireon::cli::RunVireonCommand(arguments, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
