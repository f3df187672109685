#pragma once
// Scans and parameter links overwrite model quantities during a run; the run
// remembers them at its start and writes them back at its end (also when it
// is stopped), so that a run leaves the model's stored values as it found
// them.

#include <utility>
#include <vector>

#include "output/output_item.h"
#include "scan/scan_item.h"

namespace vireon {

struct ParameterLink;

class SavedQuantities {
 public:
  // Remembers the current value behind a bound item (unbound items are
  // ignored). Remember everything before anything is changed.
  void Remember(const OutputItem& item);
  // Every scan item's quantity, also kept in the item's savedValue.
  void RememberScanItems(std::vector<ScanItem>& items);
  // Every link's target, also kept in the link's savedValue.
  void RememberLinkTargets(std::vector<ParameterLink>& links);

  // Writes every remembered value back, the latest remembered first, so that
  // a quantity remembered twice ends with the value it had first. The
  // values stay remembered: restoring twice is harmless.
  void Restore() const;
  void Clear() { saved_.clear(); }
  bool empty() const { return saved_.empty(); }

 private:
  std::vector<std::pair<double*, double>> saved_;
};

}  // namespace vireon
