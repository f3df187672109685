#include "model/model_name_index.h"

#include "model/model.h"

namespace vireon {

namespace {

template <typename Record>
void IndexNames(const std::vector<Record>& records,
                std::unordered_map<std::string_view, int>& names) {
  names.reserve(records.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    names.try_emplace(records[i].name, static_cast<int>(i));  // the first of a repeated name
  }
}

}  // namespace

ModelNameIndex::ModelNameIndex(const Model& model) {
  IndexNames(model.metabolites, metabolites_);
  IndexNames(model.steps, steps_);
  IndexNames(model.compartments, compartments_);
  IndexNames(model.globalQuantities, globalQuantities_);
}

int ModelNameIndex::Find(const Names& names, std::string_view name) {
  const auto found = names.find(name);
  return found == names.end() ? -1 : found->second;
}

int ModelNameIndex::Metabolite(std::string_view name) const {
  return Find(metabolites_, name);
}
int ModelNameIndex::Step(std::string_view name) const {
  return Find(steps_, name);
}
int ModelNameIndex::Compartment(std::string_view name) const {
  return Find(compartments_, name);
}
int ModelNameIndex::GlobalQuantity(std::string_view name) const {
  return Find(globalQuantities_, name);
}

}  // namespace vireon
