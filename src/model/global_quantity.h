#pragma once
// Global quantities: named values of the model as a whole, which rate laws,
// rules and output functions can read. A quantity is fixed unless a rule
// sets it: an assignment rule or a rate rule makes it variable, an initial
// assignment gives it its value at time 0. Whether it is fixed therefore
// follows from the model's rules and is not stored with it.

#include <string>
#include <string_view>

namespace vireon {

class Model;

struct GlobalQuantity {
  std::string name = "quantity";
  double value = 0.0;  // the value at time 0 unless an initial assignment gives it
  bool operator==(const GlobalQuantity&) const = default;
};

// What kind of record of the model uses a name: metabolites, steps,
// compartments and global quantities share one name space as far as global
// quantities are concerned.
enum class NamedRecord { kNone, kMetabolite, kStep, kCompartment, kGlobalQuantity };

// The first kind of record, in the order of the enumeration, that uses the
// name; kNone when none does.
NamedRecord RecordNamed(const Model& model, std::string_view name);

// The word for a kind of record, as messages name it ("metabolite", ...).
std::string_view NamedRecordWord(NamedRecord record);

}  // namespace vireon
