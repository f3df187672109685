#pragma once
// vireon fit MODEL --mpi: the starts of a fit spread over the processes of
// an MPI job (mpirun -np N vireon fit MODEL ... --mpi).
//
// The first process reads the model and the experiments, builds the fit
// and sends the others everything it was built from (FitJob): the model
// file's bytes, each experiment's file's bytes, the parameters and the
// weighting. Each of them builds the same fit from these and fits the
// starts it is sent (FitStartService) until the first one says the fit is
// over. A start's local fit is the same wherever it runs, so every number
// of the result is what one process gives.

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/command_line.h"
#include "fit/fit_problem.h"

namespace vireon::cli {

struct FitJob {
  std::string modelName;  // the model file's name, which says whether it is SBML
  std::string modelText;
  // Each experiment's path (as messages name it) and the file's bytes.
  std::vector<std::pair<std::string, std::string>> experiments;
  std::vector<FitParameter> parameters;
  bool scaleColumns = false;

  bool operator==(const FitJob&) const = default;
};

// The job as bytes, every number so that it reads back exactly; and back.
// Bytes that are not such a job give nothing.
std::string EncodeFitJob(const FitJob& job);
std::optional<FitJob> DecodeFitJob(std::string_view bytes);

// One of the other processes' copy of the fit: the model loaded from the
// job's bytes with the command line's settings file and kinetics database,
// the fit built as the first process built it.
class FitJobWorker {
 public:
  // Null, with the reason in `error`, when the job cannot be built.
  static std::unique_ptr<FitJobWorker> Prepare(const CommandLine& line, std::string_view job,
                                               std::string& error);
  ~FitJobWorker();
  std::string Solve(std::string_view request);

 private:
  struct Parts;
  explicit FitJobWorker(std::unique_ptr<Parts> parts);
  std::unique_ptr<Parts> parts_;
};

}  // namespace vireon::cli
