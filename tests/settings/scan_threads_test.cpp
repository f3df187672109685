#include <gtest/gtest.h>

#include "settings/settings.h"

namespace vireon {
namespace {

// The preference is taken as it is within 1 .. kMaxScanThreads; anything
// else means one thread per core, and a machine that cannot tell its cores
// still gets one thread.
TEST(ScanThreads, ThePreferenceWithinRangeElseOnePerCore) {
  struct Row {
    int preference;
    unsigned cores;
    int threads;
  };
  for (const Row& row : {Row{0, 8, 8}, Row{1, 8, 1}, Row{3, 2, 3}, Row{kMaxScanThreads, 2, 256},
                         Row{kMaxScanThreads + 1, 2, 2}, Row{-4, 6, 6}, Row{0, 0, 1},
                         Row{0, 1000, kMaxScanThreads}}) {
    EXPECT_EQ(ScanThreads(row.preference, row.cores), row.threads)
        << row.preference << " " << row.cores;
  }
  EXPECT_GE(ScanThreads(0), 1);
}

}  // namespace
}  // namespace vireon
