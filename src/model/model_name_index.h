#pragma once
// Finds the records of a model by name in constant time, for the places that
// look up many names at once (rebinding every output item after a change).
// A name that occurs twice finds its first record, as Model::Find* does. The
// index reads the names where the model keeps them: it is valid until a
// record is added, removed or renamed.

#include <string_view>
#include <unordered_map>

namespace vireon {

class Model;

class ModelNameIndex {
 public:
  explicit ModelNameIndex(const Model& model);

  // The index of the record of that name, or -1.
  int Metabolite(std::string_view name) const;
  int Step(std::string_view name) const;
  int Compartment(std::string_view name) const;
  int GlobalQuantity(std::string_view name) const;

 private:
  using Names = std::unordered_map<std::string_view, int>;
  static int Find(const Names& names, std::string_view name);

  Names metabolites_;
  Names steps_;
  Names compartments_;
  Names globalQuantities_;
};

}  // namespace vireon
