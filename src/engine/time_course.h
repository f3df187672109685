#pragma once
// The time course: integrates the model from its initial concentrations
// over the end time in equal output intervals, and after each interval
// refreshes the concentrations, fluxes, output functions and counters,
// writes a data row and shows the point. The steady-state solver uses the
// same driver without writing.

#include "engine/engine.h"
#include "engine/time_course_events.h"

namespace vireon {

// Text appended to the error log when the integrator cannot start.
inline constexpr const char* kLsodaInitErrorLine =
    "Error initializing integration routine (LSODA).\r\n";
// printf format of the text appended when the integrator returns an error.
inline constexpr const char* kLsodaErrorFormat =
    "Integration routine (LSODA) returned error %d.\r\n  aborting this iteration.\r\n";

// How a time course ended.
enum class TimeCourseOutcome {
  kCompleted,             // every output point reached
  kInitializationFailed,  // the integrator could not start (text in the error log)
  kIntegrationFailed,     // the integrator returned an error (text in the error log)
  kStopped,               // a stop request ended it at an output point
};

// The set-up of a time-course task: initial amounts, time 0, tolerances,
// istate 1, the output interval and the default step limit.
void SetUpTimeCourse(Engine& engine);

// What a time course did: the integrator's counters as of the last output
// point reached (all zero when none was), which are also left in
// state.stepCount, state.fEvaluations, state.jEvaluations and
// state.stepSize, where the output items read them.
struct TimeCourseSummary {
  long long steps = 0;         // integration steps
  long long fEvaluations = 0;  // right-hand-side evaluations
  long long jEvaluations = 0;  // Jacobian evaluations (and factorisations)
  double stepSize = 0.0;       // the step size the integrator would try next
};

struct TimeCourseResult {
  TimeCourseOutcome outcome = TimeCourseOutcome::kCompleted;
  TimeCourseSummary summary;
  // The events' executions up to where the time course ended; empty for a
  // model without events.
  EventExecutionLog eventExecutions;
};

// Runs the integration; with write on, rows go to the data file and points
// to the interactive window, and with settings.eventRows a row before and
// one after the executions of each moment an event is carried out. Every
// execution is told to hooks.EventExecuted. The integrator's work arrays are released
// whenever it returns.
TimeCourseResult TimeCourse(Engine& engine, bool write);

// Re-initialises the integrator at the current time after a pause, with the
// pause length "SleepTime" has then.
void Restart(Engine& engine);

}  // namespace vireon
