#pragma once
// The model file's scan section and the record of one scan item:
//
//   Scan               Title=[A]i        (the output item's record)
//   Enabled=1          Type=1
//   Dimension=2        I=A
//   <records>          Min=1.0000000000000000
//                      Max=2.0000000000000000
//                      Density=2
//                      Log=0
//                      Independent=1
//                      Grid=0

#include <string>
#include <string_view>

#include "model/message_sink.h"
#include "model/record_cursor.h"
#include "output/output_item_record.h"
#include "scan/scan_item.h"

namespace vireon {

inline constexpr std::string_view kScanSection = "Scan";

// Appends the item's record.
void SaveScanItem(const ScanItem& item, std::string& out);

// Reads one record into `item`, which starts with kind -1 (none). Any
// non-zero Log or Independent reads as 1. Then, in this order: a density
// below 2 is set to 2 with message 5027; a grid or uniform item with equal
// ends gets Min 1 and Max 2 with message 5028 (both information); a kind
// other than 0 to 3 is stored as -1. A missing or bad line is reported
// through the sink and gives false.
bool LoadScanItem(RecordCursor& cursor, MessageSink& sink, ScanItem& item);

// Appends "Scan\nEnabled=%d\nDimension=%d\n" and every item's record.
void SaveScanSection(const ScanList& scan, std::string& out);

// Reads the section (the header's text is not examined; a non-zero Enabled
// reads as 1), replacing `scan`. A negative dimension is kBadCount, as is a
// bad header, "Enabled" or "Dimension" line (their message has been shown
// for a bad line; the caller adds its own for a bad count). On failure
// `scan` holds the items read before the failing one.
SelectionLoadStatus LoadScanSection(RecordCursor& cursor, MessageSink& sink, ScanList& scan);

}  // namespace vireon
