#pragma once
// Running a document's tasks on a thread of their own.
//
// A RunController belongs to one document. StartRun checks the model, has it
// saved, and starts the run thread, which:
//   1. says the run is starting and waits for the acknowledgement;
//   2. clears the error log, names the report after the model file, opens
//      the data files;
//   3. allocates the engine's arrays and binds the output items, output
//      functions, scan items and links to the quantities they name;
//   4. remembers the scanned and linked quantities;
//   5. writes the report's header and structure and the steady-state titles;
//   6. runs one task iteration, or the scan's iterations;
//   7. closes the files, frees the engine, restores the remembered values and
//      says the run finished (or, after a stop request, that it stopped).
//
// One task iteration applies the parameter links between two computations of
// the conservation totals, then runs the time course and the steady state
// with its stability and control analysis, writing data rows and report
// sections. Each of these three parts is guarded: an arithmetic fault (or an
// allocation failure) abandons the rest of that part only, and its header
// and the fault's text go to the error log.
//
// Threads. The run thread never touches the user interface: it calls the
// RunObserver, and after RunStarting, ScanProgress and PointReady it waits
// until the driver calls Acknowledge (a GUI acknowledges from its queued
// handler; a synchronous driver wraps its observer in SynchronousObserver).
// While the run thread is waiting for an acknowledgement or is paused, the
// driver may read the document; it writes engine data only through Resume.
// Otherwise the document belongs to the run thread until the run has ended
// (IsBusy() is false).

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "document/auto_reset_event.h"
#include "document/document.h"
#include "document/parallel_scan.h"
#include "document/task_iteration.h"
#include "engine/engine.h"
#include "engine/run_observer.h"
#include "model/file_lock.h"
#include "output/data_file.h"
#include "output/report.h"
#include "scan/saved_quantities.h"

namespace vireon {

class MessageSink;
class RandomGenerator;

// The run's error log when the engine's arrays cannot be allocated.
inline constexpr const char* kEngineAllocationFailed =
    "Not enough memory for the simulation engine; no task was run.\r\n";
// printf format of the error-log line when a run ends on an unexpected error.
inline constexpr const char* kUnexpectedRunErrorFormat =
    "The run ended after an unexpected error: %s\r\n";
// printf format of the message that refuses a run whose step cannot be
// evaluated, with the step's name.
inline constexpr const char* kRateNotEvaluableFormat =
    "The rate of step %s cannot be evaluated: its kinetic type, constants or modifiers\n"
    "do not match its equation. Choose the step's kinetics again before running.";
// The message that refuses a run whose model has not been analysed.
inline constexpr const char* kModelNotAnalysed =
    "The model's structure has not been analysed; edit and accept its reactions before "
    "running.";
// printf format of the message that refuses a run whose output another run
// is writing, with the file's name and the holder ("process 1234").
inline constexpr const char* kOutputInUseFormat =
    "The file \"%s\" is being written by another run (%s). This run was not started, so as "
    "not to write over it: wait until that run has ended, or give this model other output "
    "files.";

// The title of the messages StartRun shows.
inline constexpr const char* kRunMessageTitle = "Vireon";
// A steady state of a model whose stoichiometry follows rules would need
// the conservation relations that the rules break.
inline constexpr const char* kStoichiometryRulesSteadyState =
    "The model has rules that set stoichiometries, so its conservation relations are not known "
    "and its steady state cannot be computed. Run the time course alone (turn the steady state "
    "off in the tasks).";
// The steady state with fast steps at equilibrium is not that of the
// full network: where a flux runs through a fast step, the slow steps are
// balanced by that step's finite flux while its rate law stands at 0, so
// the state solves N_s·v_s + N_f·w = 0 with v_f = 0 for unknown fluxes w,
// a system the steady-state search does not have.
inline constexpr const char* kFastStepsSteadyState =
    "The model has fast steps, whose equilibrium the steady-state search does not follow, so its "
    "steady state cannot be computed. Run the time course alone (turn the steady state off in "
    "the tasks).";
// The progress text while a run starts.
inline constexpr const char* kProgressWait = "wait...";

// What became of a run's outputs: the report and the data files its
// settings ask for, and how many of them were refused, could not be
// created or were not completely written (each named in the error log).
struct RunOutputSummary {
  int planned = 0;
  int failed = 0;
  // Which of them were written whole.
  bool reportWritten = false;
  bool timeCourseWritten = false;
  bool steadyStateWritten = false;

  bool AllWritten() const { return failed == 0; }
  bool NoneWritten() const { return planned > 0 && failed == planned; }
};

enum class RunOutcome {
  kNotStarted,  // refused, or no run yet
  kRunning,
  kFinished,  // ended normally
  kStopped,   // ended on a stop request
};

class RunController {
 public:
  // The document and the program's random generator (for random scans and
  // output functions) must outlive the controller.
  RunController(Document& document, RandomGenerator& random);
  // Stops a run still in progress and waits for its thread. Any observer
  // must still be alive then; the run no longer waits for acknowledgements.
  ~RunController();

  RunController(const RunController&) = delete;
  RunController& operator=(const RunController&) = delete;

  // Who hears of the run (null: nobody, and nothing is acknowledged). Set it
  // only while no run is in progress.
  void SetObserver(RunObserver* observer) { observer_ = observer; }
  // Threads that solve a scan's points (1: the run's thread alone, the
  // default). The files are the same for any number; a scan that cannot be
  // split (SerialScanReason) runs on one thread. Set it only while no run
  // is in progress.
  void SetJobs(int jobs) { jobs_ = jobs > 1 ? jobs : 1; }
  // Whether anyone shows the interactive window's points (true: a scan with
  // items for it runs on one thread, and the run is paced by the window,
  // RunPacing; false: the run never waits for a window or sleeps). Set it
  // only while no run is in progress.
  void SetPointsShown(bool shown) { pointsShown_ = shown; }
  bool pointsShown() const { return pointsShown_; }
  // Other processes that solve a scan's points too, with `localJobs`
  // threads of this process beside them (0: none, the run's thread only
  // writes). Set it only while no run is in progress.
  void SetRemoteSolvers(std::vector<ChunkChannel*> remotes, int localJobs) {
    remotes_ = std::move(remotes);
    remoteLocalJobs_ = localJobs > 0 ? localJobs : 0;
  }

  // Saves the model file; false (a failed or cancelled save) starts no run.
  // The GUI saves through its document framework; the command line passes
  // an empty function and does not save.
  using SaveModel = std::function<bool()>;

  // The Run command. Refuses, saying why through the sink, a model without
  // steps ("You have not yet defined a model..."), a model whose structure
  // was not analysed and a step whose rate cannot be evaluated; then saves
  // the model, and starts nothing when that fails. Then locks the report
  // and the data files the run will write (model/file_lock.h) until the run
  // has closed them; an output that another run holds refuses the run,
  // with a message that names the file and the process that holds it, and
  // no file is touched. Refuses while a run is in progress, and from within
  // an observer's call on the run thread. Returns whether the run thread
  // was started.
  bool StartRun(MessageSink& sink, const SaveModel& save = {});

  // The driver has handled RunStarting, ScanProgress or PointReady.
  void Acknowledge();
  // Asks the run to pause at its next time-course point.
  void Pause();
  // Continues a paused run: the amounts are set from the metabolites' current
  // concentrations (which the user may have changed during the pause) times
  // their volumes, and, when sleepTime >= 0, "SleepTime" is set, before the
  // run thread is released. A pause asked for but not yet reached is
  // withdrawn instead.
  void Resume(int sleepTime = -1);
  // Asks the run to stop at its next time-course point; a paused run is
  // released and stops at once.
  void Stop();
  // A new pace for the interactive window during a run: from its next
  // time-course point on, the run sleeps this many milliseconds after each
  // shown point, and "SleepTime" keeps the value.
  void SetSleepTime(int sleepTime);

  // engineBusy: a run is in progress (from StartRun until just before the
  // finished or stopped notification).
  bool IsBusy() const { return busy_.load(); }
  // The run thread is paused, waiting for Resume or Stop.
  bool IsPaused() const;
  // Waits for the run thread to end. Not from within an observer's call.
  void Wait();

  RunOutcome outcome() const { return outcome_.load(); }
  // The outputs of the last run that ended.
  RunOutputSummary outputs() const {
    std::lock_guard<std::mutex> lock(controlMutex_);
    return outputs_;
  }
  // The events carried out in the time courses of the last run, in the
  // order they were, whether or not a window showed them: at most
  // kMaxRecordedFirings (the later ones are left out, and
  // firingsLeftOut() counts them), so that a run of a million executions
  // costs no memory of its own. Emptied when a run starts.
  std::vector<EventFiring> eventFirings() const {
    std::lock_guard<std::mutex> lock(controlMutex_);
    return firings_;
  }
  long long firingsLeftOut() const {
    std::lock_guard<std::mutex> lock(controlMutex_);
    return firingsLeftOut_;
  }
  static constexpr std::size_t kMaxRecordedFirings = 2000;
  // "wait..." while a run is in progress, empty otherwise.
  std::string progressText() const;
  // The scan's estimate of the time left ("%H:%M:%S"), as of its last
  // progress notification.
  std::string remainingTimeText() const;

 private:
  class FileOutput;
  class ScanRelay;

  // The run thread's body, and one task iteration or the scan's iterations
  // (false when a stop request ended them).
  void RunEngine();
  bool RunTasks();
  bool RunScan();
  bool RunScanOnThreads();
  // Honours a pause (waiting for Resume) and a stop at a time-course point,
  // and says what the engine does next; `pausing` hears true before the
  // run waits in a pause and false after it.
  PointAction CheckPauseStop(const std::function<void(bool)>& pausing = {});
  bool AllocateEngine();
  void FreeEngine();

  // Calls one report writer unless an earlier one failed in this run.
  using ReportWriter = bool (*)(const ReportContext&, std::string&);
  void WriteReport(ReportWriter writer, const ReportContext& report);
  // Tells the observer, and, when it must be acknowledged, waits.
  template <class Call>
  void Notify(Call call, bool waitForAcknowledgement);
  void WaitForAcknowledgement();
  void SetProgressText(std::string text);
  // Keeps one event execution for eventFirings().
  void RecordFiring(int event, double time);
  // Closes the files, frees the engine, restores the remembered values and
  // posts the outcome.
  void EndRun(RunOutcome outcome);

  Document& document_;
  RandomGenerator& random_;
  RunObserver* observer_ = nullptr;
  int jobs_ = 1;
  bool pointsShown_ = true;
  std::vector<ChunkChannel*> remotes_;
  int remoteLocalJobs_ = 0;

  std::thread thread_;
  AutoResetEvent ackEvent_, stopEvent_, pauseEvent_, resumeEvent_;
  std::atomic<bool> busy_{false};
  std::atomic<RunOutcome> outcome_{RunOutcome::kNotStarted};
  // Set by the destructor: the run thread no longer waits for anybody.
  std::atomic<bool> abandoned_{false};
  // A pace asked for by SetSleepTime and not yet taken by the run (-1: none).
  std::atomic<int> requestedSleepTime_{-1};

  // Guards the pause hand-over and the texts the driver reads.
  mutable std::mutex controlMutex_;
  bool waitingForResume_ = false;
  std::string progressText_;
  std::string remainingTimeText_;
  RunOutputSummary outputs_;
  std::vector<EventFiring> firings_;
  long long firingsLeftOut_ = 0;

  // Locks the run's outputs; false, after the sink's warning, when another
  // run holds one of them.
  bool LockOutputs(MessageSink& sink);

  // Held from StartRun until the run has closed its files.
  OutputLocks outputLocks_;

  // Run-thread data.
  RunDataFiles files_;
  bool reportWritten_ = false;  // the report is on and no section of it has failed
  SavedQuantities saved_;
};

// Adapts an observer for a driver that handles every notification at once
// on the run thread (the command line, tests): it forwards each call to the
// inner observer (if any) and then acknowledges it itself.
class SynchronousObserver : public RunObserver {
 public:
  SynchronousObserver(RunController& controller, RunObserver* inner = nullptr)
      : controller_(controller), inner_(inner) {}

  void RunStarting() override;
  void RunFinished() override;
  void RunStopped() override;
  void ScanProgress(int iteration) override;
  void PointReady() override;
  void IntegratorError(IntegratorFault fault, int istate) override;
  void EventExecuted(int event, double time) override;
  void Paused() override;
  void Resumed() override;

 private:
  RunController& controller_;
  RunObserver* inner_;
};

}  // namespace vireon
