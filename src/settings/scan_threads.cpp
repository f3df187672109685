#include <algorithm>
#include <thread>

#include "settings/settings.h"

namespace vireon {

int ScanThreads(int preference, unsigned cores) {
  if (preference >= 1 && preference <= kMaxScanThreads) return preference;
  return static_cast<int>(std::clamp(cores, 1u, static_cast<unsigned>(kMaxScanThreads)));
}

int ScanThreads(int preference) {
  return ScanThreads(preference, std::thread::hardware_concurrency());
}

}  // namespace vireon
