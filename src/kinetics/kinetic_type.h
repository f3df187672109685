#pragma once
// A kinetic type: a named rate law with a fixed number of kinetic constants
// and, where the law needs them, modifier roles. The built-in types compute
// their rate with a C++ function; a user-defined type evaluates the
// expression it owns.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vireon {

class Model;
class KineticFunction;

// The rate of one step per unit volume: the model (read only), the engine's
// vector of metabolite amounts indexed by position, and the 0-based index of
// the step. The concentration of metabolite i is
// x[metabolitePosition[i]] / volume of i's compartment.
using RateFunction = double (*)(const Model& model, const double* x, int step);

// Where a rate law finds one amount it reads: its position in the vector x
// of a RateFunction and the volume of its compartment.
struct RateOperand {
  int position = 0;
  double volume = 1.0;
};

// What a step's rate law reads, looked up once for a run: the operands of
// the step's substrates, products and modifiers, in that order, and its
// kinetic constants, read where the model keeps them.
struct StepOperands {
  int step = 0;  // 0-based index of the step
  int substrates = 0;
  int products = 0;
  int modifiers = 0;
  const RateOperand* operands = nullptr;
  const double* constants = nullptr;
};

// The rates of `count` steps of one kinetic type, each stored at
// rates[steps[i].step]: the same numbers, bit for bit, as the type's
// RateFunction gives for each step with the same x.
using RateBatchFunction = void (*)(const StepOperands* steps, std::size_t count, const double* x,
                                   double* rates);

struct KineticType {
  // An empty user-defined type, to be filled by the record reader.
  KineticType();
  // A built-in type; the name arrays hold `constants` and `modifiers` empty
  // strings (negative counts count as 0).
  KineticType(std::string name, int substrates, int products, int modifiers, int constants,
              RateFunction rate, std::int16_t reversible);
  // A user-defined type built from a parsed and bound expression: the name,
  // reversibility, modifier roles and constant names come from the function.
  // The counts of substrates and products are raised to the function's own
  // counts when these are larger.
  KineticType(std::unique_ptr<KineticFunction> function, int substrates, int products);
  virtual ~KineticType();

  KineticType(const KineticType&) = delete;
  KineticType& operator=(const KineticType&) = delete;

  // Assign the i-th name; an index outside the array is ignored.
  void SetConstantName(std::string_view text, int i);
  void SetModifierName(std::string_view text, int i);
  // Index of the first constant named exactly `name`, or -1.
  int FindConstant(std::string_view name) const;
  // Sets `modifiers` and `constants` and resizes the name arrays to match
  // (new entries are empty; negative counts count as 0).
  void SizeNames(int modifierCount, int constantCount);

  std::string name;
  int substrates = 0;  // -1: any number
  int products = 0;    // -1: any number
  int modifiers = 0;
  int constants = 0;
  std::vector<std::string> constantNames;  // in the order the rate law reads the constants
  std::vector<std::string> modifierNames;  // role names, in the order the law reads modifiers
  std::int16_t reversible = 0;
  RateFunction rate = nullptr;
  RateBatchFunction batch = nullptr;          // built-in types only
  std::unique_ptr<KineticFunction> function;  // user-defined types only
  std::int16_t userDefined = 0;
  // The rate reads no amount but those of its step's substrates, products
  // and modifiers (true of every built-in and user-defined law), so the
  // engine may difference structurally independent amounts together.
  bool readsOwnStepOnly = false;
};

// The rate law of every user-defined type: the value of the step's type's
// expression. A step without a type, or whose type has no expression, has
// rate 0.
double EvaluateUserDefinedRate(const Model& model, const double* x, int step);

}  // namespace vireon
