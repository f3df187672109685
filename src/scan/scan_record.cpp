#include "scan/scan_record.h"

#include <cstdio>

#include "model/messages.h"
#include "output/number_format.h"

namespace vireon {

namespace {

void AppendLine(std::string& out, const char* format, int value) {
  char line[64];
  std::snprintf(line, sizeof line, format, value);
  out += line;
}

}  // namespace

void SaveScanItem(const ScanItem& item, std::string& out) {
  SaveOutputItem(item, out);
  out += "Min=" + FormatRealExactly("%.16lf", item.min) + "\n";
  out += "Max=" + FormatRealExactly("%.16lf", item.max) + "\n";
  AppendLine(out, "Density=%d\n", item.density);
  AppendLine(out, "Log=%d\n", item.log != 0 ? 1 : 0);
  AppendLine(out, "Independent=%d\n", item.independent != 0 ? 1 : 0);
  AppendLine(out, "Grid=%d\n", item.grid);
}

bool LoadScanItem(RecordCursor& cursor, MessageSink& sink, ScanItem& item) {
  item = ScanItem();
  item.grid = kScanNone;
  if (!LoadOutputItem(cursor, sink, item)) return false;
  if (!ReadFieldLine(cursor, sink, "Min=%lf", &item.min)) return false;
  if (!ReadFieldLine(cursor, sink, "Max=%lf", &item.max)) return false;
  if (!ReadFieldLine(cursor, sink, "Density=%d", &item.density)) return false;
  if (!ReadFieldLine(cursor, sink, "Log=%d", &item.log)) return false;
  if (!ReadFieldLine(cursor, sink, "Independent=%d", &item.independent)) return false;
  if (!ReadFieldLine(cursor, sink, "Grid=%d", &item.grid)) return false;
  item.log = item.log != 0 ? 1 : 0;
  item.independent = item.independent != 0 ? 1 : 0;
  if (item.density < kScanMinimumDensity) {
    sink.Information(messages::kScanDensityReset);
    item.density = kScanMinimumDensity;
  }
  if (item.HasRange()) {
    if (item.min == item.max) {
      sink.Information(messages::kScanEndsReset);
      item.min = kScanDefaultMin;
      item.max = kScanDefaultMax;
    }
  } else if (item.grid != kScanNormal && item.grid != kScanPositiveNormal) {
    item.grid = kScanNone;
  }
  return true;
}

void SaveScanSection(const ScanList& scan, std::string& out) {
  out += kScanSection;
  out += '\n';
  AppendLine(out, "Enabled=%d\n", scan.enabled != 0 ? 1 : 0);
  AppendLine(out, "Dimension=%d\n", static_cast<int>(scan.items.size()));
  for (const ScanItem& item : scan.items) SaveScanItem(item, out);
}

SelectionLoadStatus LoadScanSection(RecordCursor& cursor, MessageSink& sink, ScanList& scan) {
  scan = ScanList();
  if (!CheckFields(cursor.AtEndOfData() ? kEndOfData : 0, 0, cursor.lineNumber(), sink) ||
      !NextLine(cursor)) {
    return SelectionLoadStatus::kBadCount;
  }
  int enabled = 0;
  if (!ReadFieldLine(cursor, sink, "Enabled=%d", &enabled)) return SelectionLoadStatus::kBadCount;
  scan.enabled = enabled != 0 ? 1 : 0;
  int dimension = 0;
  if (!ReadFieldLine(cursor, sink, "Dimension=%d", &dimension) || dimension < 0) {
    return SelectionLoadStatus::kBadCount;
  }
  // The list grows with the records actually read, never by the count alone.
  for (int k = 0; k < dimension; ++k) {
    ScanItem item;
    if (!LoadScanItem(cursor, sink, item)) return SelectionLoadStatus::kBadRecord;
    scan.items.push_back(std::move(item));
  }
  return SelectionLoadStatus::kOk;
}

}  // namespace vireon
