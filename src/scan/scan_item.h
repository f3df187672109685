#pragma once
// A scan item: an output item naming a scannable quantity, with the range
// its values are taken from and the way they are chosen. A master item
// opens a loop of its own; the items after a master that are not masters
// themselves take a new value at every point of that master's loop.

#include <string>
#include <vector>

#include "output/output_item.h"

namespace vireon {

// How a scan item's values are chosen ("Grid" in the model file).
enum ScanKind : int {
  kScanNone = -1,           // unknown kind read from a file: the loop does nothing
  kScanRegularGrid = 0,     // evenly spaced from Min to Max
  kScanUniform = 1,         // uniform draws between Min and Max
  kScanNormal = 2,          // normal draws, mean Min, standard deviation Max
  kScanPositiveNormal = 3,  // normal draws kept only when positive
};

// Defaults of an item added on the scan page.
inline constexpr double kScanDefaultMin = 1.0;
inline constexpr double kScanDefaultMax = 2.0;
// The fewest points a master's loop may have.
inline constexpr int kScanMinimumDensity = 2;

struct ScanItem : OutputItem {
  double min = kScanDefaultMin;       // lower end; for the normal kinds the mean
  double max = kScanDefaultMax;       // upper end; for the normal kinds the standard deviation
  int density = kScanMinimumDensity;  // points of a master's loop
  int grid = kScanRegularGrid;        // a ScanKind
  int log = 0;                        // logarithmic spacing / log-normal draws
  int independent = 1;                // the item is a master

  // Working values of a run, never stored in files.
  double savedValue = 0.0;  // the quantity before the run
  double step = 0.0;        // grid step
  double range = 0.0;       // Max - Min, or log10(Max) - log10(Min)

  ScanItem() = default;
  // A new item for the quantity `quantity` names, with the page's defaults.
  explicit ScanItem(const OutputItem& quantity) : OutputItem(quantity) {}

  bool IsMaster() const { return independent != 0; }
  // True for the kinds whose two ends form a range (grid and uniform).
  bool HasRange() const { return grid == kScanRegularGrid || grid == kScanUniform; }

  // Compares the stored fields; the working values are not compared.
  bool operator==(const ScanItem& other) const {
    return OutputItem::operator==(other) && min == other.min && max == other.max &&
           density == other.density && grid == other.grid && log == other.log &&
           independent == other.independent;
  }
};

// The document's scan: the switch and the ordered list of items. The first
// item is the innermost loop.
struct ScanList {
  int enabled = 0;
  std::vector<ScanItem> items;

  bool operator==(const ScanList&) const = default;
};

}  // namespace vireon
