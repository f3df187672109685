#include "output/data_table.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>
#include <system_error>

#include "model/file_access.h"

namespace vireon {
namespace {

bool IsFieldSeparator(char c) {
  return c == ' ' || c == '\t' || c == ',' || c == '\r';
}

double ReadField(std::string_view field) {
  if (!field.empty() && field.front() == '+') field.remove_prefix(1);
  double value = std::numeric_limits<double>::quiet_NaN();
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  if (error == std::errc::result_out_of_range) {
    // An overflowing text is the largest magnitude the file could mean.
    return field.front() == '-' ? -std::numeric_limits<double>::infinity()
                                : std::numeric_limits<double>::infinity();
  }
  if (error != std::errc() || end != field.data() + field.size()) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  return value;
}

}  // namespace

bool ReadDataTable(const std::string& path, int columns, bool titlesLine, DataTable& table,
                   std::string& error) {
  table = DataTable{};
  table.columns = columns < 0 ? 0 : columns;
  std::string contents;
  const InputFileResult read =
      ReadInputFile(path, static_cast<std::uintmax_t>(kMaxDataTableBytes), contents);
  if (!read.ok()) {
    error = read.cause == FileErrorCause::kFileTooLarge ? "the file is too large to be shown here"
                                                        : read.reason;
    return false;
  }

  std::string_view text(contents);
  bool first = true;
  bool blockOpen = false;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view rest = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (first && titlesLine) {
      first = false;
      continue;
    }
    first = false;
    std::vector<double> row;
    row.reserve(static_cast<std::size_t>(table.columns));
    while (true) {
      while (!rest.empty() && IsFieldSeparator(rest.front())) rest.remove_prefix(1);
      if (rest.empty()) break;
      std::size_t length = 0;
      while (length < rest.size() && !IsFieldSeparator(rest[length])) ++length;
      if (static_cast<int>(row.size()) < table.columns)
        row.push_back(ReadField(rest.substr(0, length)));
      rest.remove_prefix(length);
    }
    if (row.empty()) {
      // A blank line ends the block; a run of them is one separator.
      blockOpen = false;
      continue;
    }
    row.resize(static_cast<std::size_t>(table.columns), std::numeric_limits<double>::quiet_NaN());
    if (!blockOpen) {
      table.blockStarts.push_back(static_cast<int>(table.rows.size()));
      blockOpen = true;
    }
    table.rows.push_back(std::move(row));
  }
  return true;
}

}  // namespace vireon
