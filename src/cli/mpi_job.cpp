#include "cli/mpi_job.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <unistd.h>

#include "cli/fit_job.h"
#include "cli/startup.h"
#include "document/document.h"
#include "document/parallel_scan.h"
#include "model/message_sink.h"

#ifdef VIREON_HAVE_MPI
// The C interface only (OMPI_SKIP_MPICXX, set by the build): the C++
// bindings are deprecated and do not build without warnings.
#include <mpi.h>
#endif

namespace vireon::cli {

#ifdef VIREON_HAVE_MPI

namespace {

// Message tags between the first process and the others.
constexpr int kRequestTag = 1;
constexpr int kAnswerTag = 2;
constexpr int kEndTag = 3;

// Receives one message of bytes from `source` with `tag` (any tag when
// MPI_ANY_TAG); the tag it had goes to `receivedTag`.
std::optional<std::string> Receive(int source, int tag, int* receivedTag = nullptr) {
  MPI_Status status;
  if (MPI_Probe(source, tag, MPI_COMM_WORLD, &status) != MPI_SUCCESS) return std::nullopt;
  int count = 0;
  if (MPI_Get_count(&status, MPI_BYTE, &count) != MPI_SUCCESS || count < 0) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(count), '\0');
  if (MPI_Recv(bytes.data(), count, MPI_BYTE, source, status.MPI_TAG, MPI_COMM_WORLD,
               MPI_STATUS_IGNORE) != MPI_SUCCESS) {
    return std::nullopt;
  }
  if (receivedTag != nullptr) *receivedTag = status.MPI_TAG;
  return bytes;
}

bool Send(const std::string& bytes, int destination, int tag) {
  return MPI_Send(bytes.data(), static_cast<int>(bytes.size()), MPI_BYTE, destination, tag,
                  MPI_COMM_WORLD) == MPI_SUCCESS;
}

// The model's bytes, from the first process to all (-1: none).
std::optional<std::string> BroadcastText(const std::string* text) {
  long long size = text != nullptr ? static_cast<long long>(text->size()) : -1;
  if (MPI_Bcast(&size, 1, MPI_LONG_LONG, 0, MPI_COMM_WORLD) != MPI_SUCCESS || size < 0 ||
      size > INT32_MAX) {
    return std::nullopt;
  }
  std::string bytes = text != nullptr ? *text : std::string(static_cast<std::size_t>(size), '\0');
  if (MPI_Bcast(bytes.data(), static_cast<int>(size), MPI_BYTE, 0, MPI_COMM_WORLD) !=
      MPI_SUCCESS) {
    return std::nullopt;
  }
  return bytes;
}

// Tells the first process whether this one is ready, then answers its
// requests with `solve` until it says the run is over.
template <class Solve>
int AnswerRequests(bool ready, const Solve& solve, const std::string& who, std::ostream& err) {
  int readiness = ready ? 1 : 0;
  MPI_Gather(&readiness, 1, MPI_INT, nullptr, 0, MPI_INT, 0, MPI_COMM_WORLD);
  for (;;) {
    int tag = 0;
    const std::optional<std::string> request = Receive(0, MPI_ANY_TAG, &tag);
    if (!request) {
      err << who << "lost the first process\n";
      return kExitFailure;
    }
    if (tag == kEndTag) break;
    if (tag != kRequestTag) continue;
    if (!Send(solve(*request), 0, kAnswerTag)) {
      err << who << "could not answer the first process\n";
      return kExitFailure;
    }
  }
  return ready ? kExitSuccess : kExitFailure;
}

}  // namespace

bool MpiAvailable() { return true; }

struct MpiJob::Channel : ChunkChannel {
  explicit Channel(int rank) : rank(rank) {}
  std::optional<std::string> Solve(const std::string& request) override {
    if (!Send(request, rank, kRequestTag)) return std::nullopt;
    return Receive(rank, kAnswerTag);
  }
  int rank;
};

MpiJob::MpiJob() = default;

MpiJob::~MpiJob() {
  if (!started_) return;
  if (rank_ == 0) {
    if (!shared_) {
      BroadcastText(nullptr);
    } else {
      for (int rank = 1; rank < size_; ++rank) Send({}, rank, kEndTag);
    }
  }
  MPI_Finalize();
}

bool MpiJob::Start(std::ostream& err) {
  int provided = 0;
  if (MPI_Init_thread(nullptr, nullptr, MPI_THREAD_MULTIPLE, &provided) != MPI_SUCCESS) {
    err << "vireon: MPI could not be started\n";
    return false;
  }
  started_ = true;
  MPI_Comm_set_errhandler(MPI_COMM_WORLD, MPI_ERRORS_RETURN);
  MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
  MPI_Comm_size(MPI_COMM_WORLD, &size_);
  if (provided < MPI_THREAD_MULTIPLE && rank_ == 0 && size_ > 1) {
    err << "vireon: this MPI library cannot be used from several threads; the scan runs on "
           "the first process only\n";
  }
  threadsOk_ = provided >= MPI_THREAD_MULTIPLE;
  return true;
}

std::vector<ChunkChannel*> MpiJob::ShareModel(const std::string& modelText, std::ostream& err,
                                              std::string_view work) {
  shared_ = true;
  std::vector<ChunkChannel*> channels;
  if (!BroadcastText(&modelText)) {
    err << "vireon: the model could not be sent to the other processes\n";
    return channels;
  }
  int ready = 1;
  std::vector<int> readiness(static_cast<std::size_t>(size_), 0);
  if (MPI_Gather(&ready, 1, MPI_INT, readiness.data(), 1, MPI_INT, 0, MPI_COMM_WORLD) !=
      MPI_SUCCESS) {
    err << "vireon: the other processes did not answer\n";
    return channels;
  }
  for (int rank = 1; rank < size_; ++rank) {
    if (readiness[static_cast<std::size_t>(rank)] != 1) {
      err << "vireon: process " << rank << " could not load the model; its share of " << work
          << " is solved by the first process\n";
      continue;
    }
    channels_.push_back(std::make_unique<Channel>(rank));
    if (threadsOk_) channels.push_back(channels_.back().get());
  }
  return channels;
}

int MpiJob::Serve(const CommandLine& line, std::ostream& err) {
  const std::string who = "vireon (process " + std::to_string(rank_) + "): ";
  const std::optional<std::string> text = BroadcastText(nullptr);
  if (!text) return kExitFailure;  // the first process had no model
  if (line.command == Command::kFit) {
    std::string error;
    const std::unique_ptr<FitJobWorker> worker = FitJobWorker::Prepare(line, *text, error);
    if (!worker) err << who << "could not build the fit: " << error << "\n";
    return AnswerRequests(
        worker != nullptr,
        [&worker](const std::string& request) {
          return worker != nullptr ? worker->Solve(request) : std::string();
        },
        who, err);
  }

  // The model as the first process read it, from a private folder.
  RecordingSink sink;
  Startup startup;
  Document document;
  bool loaded = false;
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::temp_directory_path(error) /
                                       ("vireon-mpi-" + std::to_string(::getpid()));
  if (!error && std::filesystem::create_directory(folder, error)) {
    const std::filesystem::path path =
        folder / std::filesystem::path(line.modelPath).filename();
    {
      std::ofstream out(path, std::ios::binary);
      out << *text;
    }
    std::ostringstream quiet;
    loaded = StartUp(line.settingsPath, line.kineticsPath, startup, sink) &&
             LoadModel(path.string(), startup, document, sink, quiet);
    // The first process sends the file as it is; the integrator the
    // command line chooses is chosen here too.
    if (loaded && line.integrator) document.settings.solver.integrator = *line.integrator;
    loaded = loaded && ChunkService::Prepare(document);
    std::filesystem::remove_all(folder, error);
  }
  if (!loaded) err << who << "could not load the model\n";
  ChunkService service(document);
  return AnswerRequests(
      loaded, [&service](const std::string& request) { return service.Solve(request); }, who,
      err);
}

#else  // !VIREON_HAVE_MPI

bool MpiAvailable() { return false; }

struct MpiJob::Channel {};

MpiJob::MpiJob() = default;
MpiJob::~MpiJob() = default;

bool MpiJob::Start(std::ostream& err) {
  err << "vireon: --mpi needs a vireon built with MPI (install libopenmpi-dev and rebuild)\n";
  return false;
}

std::vector<ChunkChannel*> MpiJob::ShareModel(const std::string&, std::ostream&,
                                              std::string_view) {
  return {};
}

int MpiJob::Serve(const CommandLine&, std::ostream&) { return kExitFailure; }

#endif

}  // namespace vireon::cli
