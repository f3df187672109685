#include "scan/saved_quantities.h"

#include "scan/parameter_link.h"

namespace vireon {

void SavedQuantities::Remember(const OutputItem& item) {
  if (item.value != nullptr) saved_.emplace_back(item.value, *item.value);
}

void SavedQuantities::RememberScanItems(std::vector<ScanItem>& items) {
  for (ScanItem& item : items) {
    item.savedValue = item.Value();
    Remember(item);
  }
}

void SavedQuantities::RememberLinkTargets(std::vector<ParameterLink>& links) {
  for (ParameterLink& link : links) {
    link.savedValue = link.target.Value();
    Remember(link.target);
  }
}

void SavedQuantities::Restore() const {
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) *it->first = it->second;
}

}  // namespace vireon
