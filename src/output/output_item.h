#pragma once
// An output item names one scalar quantity of the model or the engine by a
// type code and up to two names, and, once bound, points at the place where
// the current value lives. Items make up the data-file columns, the
// interactive window, scan items, both ends of parameter links and the
// symbols of output functions.

#include <string>
#include <string_view>

namespace vireon {

// Type codes, stored in files as numbers (11 and 26 are never created).
enum OutputItemType : int {
  kInitialConcentration = 1,      // "[%s]i"
  kSteadyStateConcentration = 2,  // "[%s]ss"
  kTransientConcentration = 3,    // "[%s]t"
  kSteadyStateFlux = 4,           // "J(%s)"
  kTransientFlux = 5,             // "J(%s)"
  kKineticConstant = 6,           // "%s(%s)": step, constant
  kElasticity = 7,                // "e(%s,[%s])": step, metabolite
  kConcentrationControl = 8,      // "C([%s],%s)": metabolite, step
  kFluxControl = 9,               // "C(J(%s),%s)": step, step
  kTransitionTime = 10,           // "tt(%s)"
  kVolume = 12,                   // "V(%s)"
  kMoietyTotal = 13,              // the relation's name
  kTime = 14,                     // "time"
  kStepCount = 15,                // "step count"
  kFEvaluations = 16,             // "F(x) evaluations"
  kJEvaluations = 17,             // "Jac. evaluations"
  kStepSize = 18,                 // "step size"
  kRelativeTolerance = 19,        // "rel.tolerance"
  kAbsoluteTolerance = 20,        // "abs.tolerance"
  kSteadyStateResolution = 21,    // "ss resolution"
  kDerivationFactor = 22,         // "deriv.factor"
  kRealTime = 23,                 // "real time"
  kUserFunction = 24,             // the function's name
  kEndTime = 25,                  // "end time"
  kMaxRealPart = 27,              // "Max.real eigenvalue component"
  kMaxImagPart = 28,              // "Max.imag.eigenvalue component"
  kPositiveRealCount = 29,        // "Tot.w/pos.real part"
  kNegativeRealCount = 30,        // "Tot.w/neg.real part"
  kRealCount = 31,                // "Tot.real eigenvalues"
  kImaginaryCount = 32,           // "Tot.imag.eigenvalues"
  kComplexCount = 33,             // "Tot.cplx.eigenvalues"
  kZeroCount = 34,                // "Tot.zero eigenvalues"
  kGlobalQuantity = 35,           // the quantity's name: its value at time 0
  kCurrentGlobalQuantity = 36,    // "%s(t)": its value during a time course
  kCurrentVolume = 37,            // "V(%s)t": a compartment's volume during a time course
};

struct OutputItem {
  std::string title;
  int type = 0;
  std::string i;  // first name: metabolite, step, compartment, relation or global quantity
  std::string j;  // second name: metabolite, step or constant
  // Where the current value lives; set by binding, never stored in files.
  double* value = nullptr;

  double Value() const { return value != nullptr ? *value : 0.0; }
  // Items are the same when their stored fields are; the binding is not compared.
  bool operator==(const OutputItem& other) const {
    return title == other.title && type == other.type && i == other.i && j == other.j;
  }
};

// True for the types whose record carries the first name (I), and for those
// that also carry the second (J).
bool OutputItemHasFirstName(int type);
bool OutputItemHasSecondName(int type);

// The title an item of this type gets when it is chosen: the type's pattern
// filled with the names ("[%s]i" and A give "[A]i"). A conservation relation,
// a user-defined function and a global quantity's value are titled with
// their own name (`first`).
// Unknown types give an empty title.
std::string OutputItemTitle(int type, std::string_view first = {}, std::string_view second = {});

// A new, unbound item with its title built as above. For a user-defined
// function (type 24) `first` is the function's name: it becomes the title and
// the item keeps no names, since binding finds the function by its title.
OutputItem MakeOutputItem(int type, std::string_view first = {}, std::string_view second = {});

}  // namespace vireon
