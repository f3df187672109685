#pragma once
// The list sections of the model file share one shape: a header line, an
// "Items=%d" line and that many records. These templates read and write
// any such section, given how to read and write one record.

#include <string>
#include <string_view>
#include <vector>

#include "model/message_sink.h"
#include "model/record_cursor.h"

namespace vireon {

enum class SelectionLoadStatus {
  kOk,
  kBadCount,   // the header or the "Items=" line is missing or bad, or the count is negative
  kBadRecord,  // a record failed; the message has been shown
};

// Appends "<header>\nItems=<count>\n" and every record.
template <typename Record, typename WriteRecord>
void SaveRecordSection(std::string_view header, const std::vector<Record>& records,
                       WriteRecord writeRecord, std::string& out) {
  out += header;
  out += "\nItems=";
  out += std::to_string(records.size());
  out += '\n';
  for (const Record& record : records) writeRecord(record, out);
}

// Reads the header line (its text is not examined), the count and that many
// records with readRecord(cursor, sink, record) -> bool, replacing
// `records`. On failure `records` holds the records read before the failing
// one. The count is never trusted for an allocation: a file that claims
// more records than it holds fails at its end.
template <typename Record, typename ReadRecord>
SelectionLoadStatus LoadRecordSection(RecordCursor& cursor, MessageSink& sink,
                                      std::vector<Record>& records, ReadRecord readRecord) {
  records.clear();
  if (!CheckFields(cursor.AtEndOfData() ? kEndOfData : 0, 0, cursor.lineNumber(), sink) ||
      !NextLine(cursor)) {
    return SelectionLoadStatus::kBadCount;
  }
  int count = 0;
  if (!ReadFieldLine(cursor, sink, "Items=%d", &count) || count < 0) {
    return SelectionLoadStatus::kBadCount;
  }
  for (int k = 0; k < count; ++k) {
    Record record;
    if (!readRecord(cursor, sink, record)) return SelectionLoadStatus::kBadRecord;
    records.push_back(std::move(record));
  }
  return SelectionLoadStatus::kOk;
}

}  // namespace vireon
