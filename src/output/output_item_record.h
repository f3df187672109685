#pragma once
// The text record of an output item and of a whole selection, as the model
// file stores them:
//
//   Title=[A]ss        Type=6
//   Type=2             I=step 1
//   I=A                J=Km
//
// An item of a type without names has only the first two lines.

#include <string>
#include <string_view>
#include <vector>

#include "model/message_sink.h"
#include "model/record_cursor.h"
#include "output/output_item.h"
#include "output/record_section.h"

namespace vireon {

// Section headers of the three selections in the model file.
inline constexpr std::string_view kInteractiveSection = "Interactive time course";
inline constexpr std::string_view kTimeCourseSection = "Time-course output";
inline constexpr std::string_view kSteadyStateSection = "Steady-state output";

// Appends the item's record. The value reference is not stored.
void SaveOutputItem(const OutputItem& item, std::string& out);

// Reads one record from the cursor's line on, leaving the cursor on the line
// after it. A missing or malformed line is shown through the sink (with its
// line number) and ends the reading with false; the item may then hold the
// fields read so far. The value reference is cleared: binding sets it.
bool LoadOutputItem(RecordCursor& cursor, MessageSink& sink, OutputItem& item);

// Appends "<header>\nItems=<count>\n" and the records of the selection.
void SaveSelection(std::string_view header, const std::vector<OutputItem>& selection,
                   std::string& out);

// Reads a selection section: the header line (its text is not examined),
// the count and that many item records, replacing `selection`. On failure
// `selection` holds the items read before the failing one.
SelectionLoadStatus LoadSelection(RecordCursor& cursor, MessageSink& sink,
                                  std::vector<OutputItem>& selection);

}  // namespace vireon
