#include "kinetics/kinetic_catalogue.h"

#include <algorithm>

namespace vireon {

const KineticType* KineticCatalogue::Find(std::string_view name) const {
  auto it = byName_.find(name);
  return it == byName_.end() ? nullptr : it->second;
}

const KineticType* KineticCatalogue::Insert(std::unique_ptr<KineticType> type, int position) {
  if (!type || Contains(type->name)) return nullptr;
  KineticType* entered = type.get();
  byName_.emplace(entered->name, entered);
  if (position < 0 || position > size()) position = size();
  order_.insert(order_.begin() + position, std::move(type));
  std::erase(removedUserDefined_, entered->name);
  return entered;
}

std::unique_ptr<KineticType> KineticCatalogue::Remove(std::string_view name, int* position) {
  auto found = byName_.find(name);
  if (found == byName_.end()) return nullptr;
  KineticType* target = found->second;
  byName_.erase(found);
  auto it =
      std::find_if(order_.begin(), order_.end(),
                   [target](const std::unique_ptr<KineticType>& t) { return t.get() == target; });
  std::unique_ptr<KineticType> removed = std::move(*it);
  if (position != nullptr) *position = static_cast<int>(it - order_.begin());
  order_.erase(it);
  if (removed->userDefined != 0) removedUserDefined_.push_back(removed->name);
  return removed;
}

void KineticCatalogue::Clear() {
  byName_.clear();
  order_.clear();
  removedUserDefined_.clear();
}

std::vector<const KineticType*> KineticCatalogue::Types() const {
  std::vector<const KineticType*> types;
  types.reserve(order_.size());
  for (const auto& t : order_) types.push_back(t.get());
  return types;
}

std::vector<const KineticType*> KineticCatalogue::UserDefinedTypes() const {
  std::vector<const KineticType*> types;
  for (const auto& t : order_) {
    if (t->userDefined != 0) types.push_back(t.get());
  }
  return types;
}

int KineticCatalogue::UserDefinedCount() const {
  return static_cast<int>(std::count_if(order_.begin(), order_.end(),
                                        [](const auto& t) { return t->userDefined != 0; }));
}

void DestroyKineticCatalogue(KineticCatalogue& catalogue) {
  catalogue.Clear();
}

}  // namespace vireon
