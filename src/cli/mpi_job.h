#pragma once
// vireon run MODEL.vrn --mpi: one run spread over the processes of an MPI
// job (mpirun -np N vireon run MODEL.vrn --mpi); vireon fit MODEL --mpi
// the same way for the starts of a fit (cli/fit_job.h).
//
// The first process (rank 0) reads the model and runs it as vireon run
// does, writing every file; it sends the model file's bytes to the others,
// which load it as it is and then solve chunks of the scan's points for it
// (ChunkService) until it tells them the run is over. A process that
// cannot load the model, or fails later, is named on the first process's
// standard error and its share is solved there; nothing waits for it.
// Built without MPI, --mpi is refused with a message.

#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"

namespace vireon {
class ChunkChannel;
}

namespace vireon::cli {

// Whether this program was built with MPI.
bool MpiAvailable();

class MpiJob {
 public:
  MpiJob();
  ~MpiJob();  // tells the other processes the run is over, then ends MPI
  MpiJob(const MpiJob&) = delete;
  MpiJob& operator=(const MpiJob&) = delete;

  // Joins the job; false (with the reason on `err`) when MPI is missing or
  // fails to start.
  bool Start(std::ostream& err);
  bool IsFirst() const { return rank_ == 0; }

  // The first process: hands the model file's bytes (for a fit, its
  // FitJob) to the others, and names those that could not load it on
  // `err`, whose share of `work` it takes. The channels to the others that
  // did.
  std::vector<ChunkChannel*> ShareModel(const std::string& modelText, std::ostream& err,
                                        std::string_view work = "the scan");

  // Any other process: loads the model the first one shares and solves its
  // chunks until the run is over (for vireon fit: builds the fit from the
  // FitJob shared and fits the starts it is sent). The exit status.
  int Serve(const CommandLine& line, std::ostream& err);

 private:
  struct Channel;
  int rank_ = 0;
  int size_ = 1;
  bool started_ = false;
  bool shared_ = false;
  bool threadsOk_ = false;
  std::vector<std::unique_ptr<Channel>> channels_;
};

}  // namespace vireon::cli
