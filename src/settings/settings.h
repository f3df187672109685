#pragma once
// The user's settings kept outside any model: the default values that new
// documents, metabolites, kinetic constants and tasks start from, what
// happens when a run stops, and the paths of the two helper programs. The
// program holds one instance of each record for its whole run; the values
// below are the built-in defaults that hold before the settings file is read.

#include <string>

namespace vireon {

// Longest unit text: the units have always lived in 16-byte fields.
inline constexpr int kUnitMaxLength = 15;

// The numerical methods' defaults (the Newton limit to the BDF order) are
// the starting values of a new model's SolverOptions and are checked by its
// rule (model/solver_options.h) when the Default values form takes them, so
// that they survive a new model saved and read back. They stay single
// fields here, as the settings file names each of them.
struct DefaultValues {
  double concentration = 0.0;        // "Concentrations": initial concentration of a new metabolite
  double kineticConstant = 1.0;      // "Kinetic constants": value of a new kinetic constant
  double endTime = 10.0;             // "End time" of the time course
  int newtonLimit = 50;              // "Newton limit": most Newton iterations
  double steadyStateResolution = 1e-9;        // "Steady state resolution"
  double derivationFactor = 0.001;   // "Derivation Factor": relative increment of derivatives
  double relativeTolerance = 1e-6;   // "Relative tolerance" of the integrator
  double absoluteTolerance = 1e-12;  // "Absolute tolerance" of the integrator
  int adamsMaxOrder = 12;            // "Adams max order"
  int bdfMaxOrder = 5;               // "BDF max order"
  std::string timeUnit = "s";        // "Time unit", at most kUnitMaxLength characters
  std::string concentrationUnit = "mM";  // "Concentration unit"
  std::string volumeUnit = "ml";         // "Volume unit"
  int points = 50;                       // "Points" of the time course
  int dynamics = 1;                      // "Dynamics": time-course task selected
  int steadyState = 1;                   // "Steady state": steady-state task selected
  int report = 0;                        // "Report": report file enabled
  int titles = 0;                        // "Titles": data files carry column titles
  int quotes = 0;                        // "Quotes": titles are quoted
  int columnWidth = 12;                  // "Column width" of the data files
  int separator = ' ';                   // "Separator": character code of the column separator
  int reportStructuralAnalysis = 0;      // "Report structural"
  int reportStabilityAnalysis = 0;       // "Report stability"
  int reportMca = 1;                     // "MCA": report includes control analysis
  int reportComments = 1;                // "Report Comments"
  int mcaUnscaled = 0;                   // "Unscaled MCA"

  bool operator==(const DefaultValues&) const = default;
};

struct Preferences {
  int loadReport = 0;     // "Load Report": open the report in the text editor after each run
  int soundEnabled = 0;   // "Sound Enabled": play the stop sound after each run
  std::string stopSound;  // "Stop Sound": the .wav file played when a run stops
  int scanThreads = 0;    // "Scan Threads": threads that solve a scan's points; 0: one per core

  bool operator==(const Preferences&) const = default;
};

// The most threads a scan is solved on.
inline constexpr int kMaxScanThreads = 256;

// The threads a run solves a scan's points on: the preference when it is 1
// to kMaxScanThreads; otherwise (0, or a value out of range read from a
// settings file) one per core, at least one.
int ScanThreads(int preference, unsigned cores);
// The same with the cores of this machine.
int ScanThreads(int preference);

struct HelperPaths {
  std::string gnuplot;     // "Gnuplot": the gnuplot executable
  std::string textEditor;  // "Text Editor": the text editor executable

  bool operator==(const HelperPaths&) const = default;
};

}  // namespace vireon
