#pragma once
// Names that cross between SBML and Vireon: SBML ids as symbols of a rate
// law (a letter, then letters and digits), and Vireon names as SBML ids (a
// letter or underscore, then letters, digits and underscores).

#include <set>
#include <string>
#include <string_view>

namespace vireon::sbml {

// Gives every name asked for a distinct symbol of the rate-law dialect:
// the name itself when it is one and still free, else its letters and
// digits (after an "x" when they do not start with a letter), followed by
// the smallest number from 2 on that makes it free. Names that the dialect
// reads as functions (log, exp, ...) are never given.
class SymbolNamer {
 public:
  std::string Name(std::string_view id);
  // Marks a symbol as taken without giving it.
  void Reserve(const std::string& symbol) { taken_.insert(symbol); }

 private:
  std::set<std::string> taken_;
};

// Gives every name asked for a distinct SBML id: the name with each
// character outside letters, digits and "_" replaced by "_" (after a "_"
// when it starts with a digit), followed by "_2", "_3", ... when taken.
class IdNamer {
 public:
  std::string Name(std::string_view name);
  // Marks an id as taken without giving it.
  void Reserve(const std::string& id) { taken_.insert(id); }

 private:
  std::set<std::string> taken_;
};

}  // namespace vireon::sbml
