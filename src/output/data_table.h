#pragma once
// Reading back the time-course and steady-state data files a run wrote, so
// that they can be shown without a re-run: the rows of numbers in blocks
// (a scan separates the points of its outermost loop by blank lines).

#include <string>
#include <vector>

namespace vireon {

struct DataTable {
  // Every row holds `columns` values; a missing or unreadable field reads
  // as NaN.
  int columns = 0;
  std::vector<std::vector<double>> rows;
  // The index of the first row of each block, ascending; the first block
  // starts at row 0.
  std::vector<int> blockStarts;
};

// Reads a data file of `columns` columns; the first line is skipped when
// the file has a titles line. Fields are separated by blanks, tabs or
// commas (values never hold any of them). False, with the reason in
// `error`, when the file cannot be read. The file is read through
// ReadInputFile (model/file_access.h): anything but a regular file (a FIFO,
// a device, a folder) and a file larger than kMaxDataTableBytes are
// refused without waiting and without reading.
bool ReadDataTable(const std::string& path, int columns, bool titlesLine, DataTable& table,
                   std::string& error);

// The largest data file that is read back (a time course of 100 columns and
// a million points is about 1.2 GB; such a file is plotted with gnuplot).
inline constexpr long long kMaxDataTableBytes = 256LL * 1024 * 1024;

}  // namespace vireon
