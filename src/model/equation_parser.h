#pragma once
// Reaction equations: the parser that turns a text such as "A + 2*B = P" into
// a step's reversibility, substrate and product lists and stoichiometry
// column, and the formatter that rebuilds every equation text from the lists.
//
// Grammar, after every blank, tab, line feed and form feed has been removed
// (carriage returns stay):
//   equation = side separator side; the separator is the first "=" (reversible)
//              or "->" (irreversible) from the left; the right side holds no other
//   side     = nothing | term { "+" term }
//   term     = name | coefficient "*" name
// The coefficient is read like "%d" at the start of the term; characters
// between its digits and the first "*" are skipped. It must be a whole number
// from 1 to kMaxEquationUnits. A "." anywhere in a term is an error.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/model.h"
#include "model/syntax_fault.h"

namespace vireon {

// A table edited in the reactions editor: the valid records, and the
// capacity that decides when the table grows.
template <typename Record>
struct EditingTable {
  std::vector<Record> records;
  int capacity = 0;

  int count() const { return static_cast<int>(records.size()); }
};

using StepTable = EditingTable<Step>;
using MetaboliteTable = EditingTable<Metabolite>;

// Growth factor of an editing table.
inline constexpr double kTableGrowthFactor = 1.3;
// Tables opened on fewer records than this start with kInitialTableCapacity.
inline constexpr int kSmallTableCount = 80;
inline constexpr int kInitialTableCapacity = 100;
// No equation may hold more stoichiometric units than this, summed over both
// sides: it bounds the substrate and product lists that the units become.
inline constexpr int kMaxEquationUnits = 10000;

// The capacity a table gets when it is opened on count records: 100 below
// 80 records, else (int)(count * 1.3).
int InitialTableCapacity(int count);

// Grows the table when its valid count has reached capacity - 1: the capacity
// becomes (int)(capacity * 1.3) (and always leaves room for one more record).
// Returns true when it grew.
template <typename Record>
bool GrowTableIfFull(EditingTable<Record>& table);

enum class ParseMode {
  kTestSyntax = 0,         // check the text only
  kCountMetabolites = 1,   // count units, set reversibility, collect new metabolites
  kFillStoichiometry = 2,  // fill the working model's stoichiometry and lists
};

// Metabolite positions by name, so that a parse finds a name without
// searching the tables: the metabolite table's names (kept up to date as
// the parse adds records) and the reference model's. Equal names keep the
// first position, as a search from the start would find.
class MetaboliteNameIndex {
 public:
  MetaboliteNameIndex(const MetaboliteTable& table, const Model& reference);

  // The position of a name, or -1.
  int InTable(std::string_view name) const { return Find(table_, name); }
  int InReference(std::string_view name) const { return Find(reference_, name); }
  void AddToTable(std::string_view name, int position);

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>()(text);
    }
  };
  using Map = std::unordered_map<std::string, int, Hash, std::equal_to<>>;
  static int Find(const Map& map, std::string_view name);

  Map table_;
  Map reference_;
};

// What a parse works on besides the text. Mode kTestSyntax touches none of it
// but the step counts of stepIndex.
//   reference   the document's model before the edit: where an existing
//               metabolite record is found when the table lacks it
//   working     the model being rebuilt; mode kFillStoichiometry writes its
//               stoichiometry column stepIndex and that step's lists
//   steps       the step table: mode kCountMetabolites writes the counts and
//               the reversibility of record stepIndex
//   metabolites the metabolite table: its records are the metabolites known so
//               far (the working model's metabolite count follows it)
//   stepIndex   the step's index in the step table and the working model, or -1
struct ParseTarget {
  const Model& reference;
  Model& working;
  StepTable& steps;
  MetaboliteTable& metabolites;
  int stepIndex = -1;
  // Initial concentration of a metabolite that appears for the first time.
  double defaultConcentration = kBuiltInDefaultConcentration;
  // When given, names are found through it (and it learns the names the
  // parse adds to the table); otherwise the tables are searched.
  MetaboliteNameIndex* names = nullptr;
};

// Parses one equation; returns the number of stoichiometric units in it (the
// sum of the coefficients), or -1 for any error. A syntax error changes
// nothing but the step table's counts of stepIndex, which every mode first
// sets to 0. Mode kFillStoichiometry first empties the working step's lists
// (keeping their declared counts) and its stoichiometry column; it expects
// the counting pass to have run, and ends with -1 at a name the metabolite
// table lacks, leaving the step partly filled.
int ParseEquation(std::string_view text, ParseMode mode, ParseTarget& target);
int ParseEquation(std::string_view text, ParseMode mode, const Model& reference, Model& working,
                  StepTable& steps, MetaboliteTable& metabolites, int stepIndex);

// Tests one equation's syntax; the units it holds, or -1.
int TestEquation(std::string_view text);

// Where an equation that TestEquation refuses is wrong, in the text as it
// was typed (blanks included), and why; nullopt for an equation it takes.
std::optional<SyntaxFault> FindEquationFault(std::string_view text);
// "Syntax error at character 7 (...): A + 2*[=] P" for a refused equation,
// empty for one that is taken.
std::string EquationFaultMessage(std::string_view text);

// One side of an equation (whitespace already removed), sign -1 for the left
// and +1 for the right: the units on that side, or -1.
int ParseSide(std::string_view side, int sign, ParseMode mode, ParseTarget& target);

// One term: its coefficient, or -1.
int ParseTerm(std::string_view term, int sign, ParseMode mode, ParseTarget& target);

// Rewrites every step's equation from its lists: the substrate names joined
// by " + ", then " = " (reversible) or " -> ", then the product names joined
// by " + ". A name is repeated once per unit; modifiers do not appear.
void RebuildEquations(Model& model);

// ---- template definition ----

template <typename Record>
bool GrowTableIfFull(EditingTable<Record>& table) {
  if (table.count() < table.capacity - 1) return false;
  double scaled = table.capacity * kTableGrowthFactor;
  int grown = scaled < 2147483647.0 ? static_cast<int>(scaled) : 2147483647;
  if (grown < table.count() + 2) grown = table.count() + 2;
  table.capacity = grown;
  table.records.reserve(static_cast<std::size_t>(grown));
  return true;
}

}  // namespace vireon
