#pragma once
// The one dictionary of kinetic types of the program, from the exact
// (case-sensitive) name to the type. It owns every type in it. Iteration
// follows the order of insertion, so the built-in types come in the order of
// their table and user-defined types follow in the order they were added;
// lists shown to the user are therefore stable from run to run.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "kinetics/kinetic_type.h"

namespace vireon {

class KineticCatalogue {
 public:
  KineticCatalogue() = default;
  KineticCatalogue(const KineticCatalogue&) = delete;
  KineticCatalogue& operator=(const KineticCatalogue&) = delete;

  bool Contains(std::string_view name) const { return Find(name) != nullptr; }
  // The type of that name, or null (no message: callers fall back).
  // Types in the catalogue are read only: their name is their key.
  const KineticType* Find(std::string_view name) const;

  // Enters the type under its name (returned for convenience; do not rename
  // it), at the end of the iteration order or at
  // `position` (clamped to the catalogue's size). A name that is already in
  // the catalogue is refused: the type is destroyed and null returned.
  const KineticType* Insert(std::unique_ptr<KineticType> type, int position = -1);
  // Takes the type of that name out of the catalogue and hands it to the
  // caller (null when absent). `position`, when given, receives the place the
  // type had in the iteration order.
  std::unique_ptr<KineticType> Remove(std::string_view name, int* position = nullptr);
  // Deletes every type.
  void Clear();

  int size() const { return static_cast<int>(order_.size()); }
  // The i-th type of the iteration order.
  const KineticType* at(int i) const { return order_[static_cast<std::size_t>(i)].get(); }
  // All types in iteration order.
  std::vector<const KineticType*> Types() const;
  // The user-defined types in iteration order, and how many there are.
  std::vector<const KineticType*> UserDefinedTypes() const;
  int UserDefinedCount() const;
  // True while a user-defined type that was removed has not been entered
  // again under its name: the database must then be rewritten even if no
  // user-defined type is left, or the removed type would come back.
  bool UserDefinedRemoved() const { return !removedUserDefined_.empty(); }

 private:
  // Transparent hashing, so that lookups by string_view do not allocate.
  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
  };
  std::vector<std::unique_ptr<KineticType>> order_;
  std::unordered_map<std::string, KineticType*, NameHash, std::equal_to<>> byName_;
  std::vector<std::string> removedUserDefined_;
};

// Deletes every type of the catalogue (at exit).
void DestroyKineticCatalogue(KineticCatalogue& catalogue);

}  // namespace vireon
