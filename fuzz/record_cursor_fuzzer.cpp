// libFuzzer target for the record reader. Every input is a whole file: each
// line is read with the formats the file readers use, and the results must
// stay in range; formats of whole numbers only must agree with sscanf
// wherever no number is too large for its field.
//
// Built with -DVIREON_BUILD_FUZZ=ON (clang, libFuzzer, ASan and UBSan); its
// seed corpus is fuzz/corpus/record_cursor/, and scripts/fuzz.sh runs it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/message_sink.h"
#include "model/record_cursor.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// True when text has no run of more than eight digits (so that no %d field
// can overflow) and no zero byte (which would end sscanf's text early).
bool SafeForSscanf(std::string_view text) {
  int run = 0;
  for (char c : text) {
    if (c == '\0') return false;
    run = (c >= '0' && c <= '9') ? run + 1 : 0;
    if (run > 8) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vireon;
  std::string text(reinterpret_cast<const char*>(data), size);
  RecordCursor cursor(text);
  RecordingSink sink;
  int lines = 0;
  do {
    ++lines;
    Check(cursor.lineNumber() == lines);
    int a = 0, b = 0;
    std::int16_t type = 0;
    float f = 0.0f;
    double d = 0.0;
    int r1 = ReadFields(cursor, "Points=%d", &a);
    int r2 = ReadFields(cursor, "Node=%d,%d", &a, &b);
    int r3 = ReadFields(cursor, "Subs%*d=%d", &a);
    int r4 = ReadFields(cursor, "Type=%hd", &type);
    int r5 = ReadFields(cursor, " %f ", &f);
    int r6 = ReadFields(cursor, "Value=%le", &d);
    for (int r : {r1, r3, r4, r5, r6}) Check(r >= kEndOfData && r <= 1);
    Check(r2 >= kEndOfData && r2 <= 2);
    // The end of data: nothing but blanks left, or a last line that runs
    // out before its first field ("Points=" at the very end). A line that
    // more lines follow is never the end.
    if (cursor.AtEndOfData()) Check(r1 == kEndOfData);
    if (!cursor.AtLastLineOfData()) Check(r1 != kEndOfData);
    CheckFields(r1, 1, cursor.lineNumber(), sink);

    std::optional<std::string> value = ReadString(cursor);
    std::string_view line = cursor.Line();
    Check(value.has_value() == (line.find('=') != std::string_view::npos));
    if (value) Check(value->find_first_of("\r\n") == std::string::npos);
  } while (NextLine(cursor));
  Check(sink.messages().size() <= static_cast<std::size_t>(lines));

  // The whole input as one piece of text, against the C library.
  if (SafeForSscanf(text)) {
    int a = -1, b = -1, c = -1, e = -1;
    ScanResult ours = ScanFields(std::string_view(text), "Node=%d,%d", &a, &b);
    int theirs = std::sscanf(text.c_str(), "Node=%d,%d", &c, &e);
    Check(ours.fields == theirs);
    Check(ours.consumed <= text.size());
    if (theirs >= 1) Check(a == c);
    if (theirs == 2) Check(b == e);
    ours = ScanFields(std::string_view(text), "Subs%*d=%d%%", &a);
    theirs = std::sscanf(text.c_str(), "Subs%*d=%d%%", &c);
    Check(ours.fields == theirs);
    if (theirs == 1) Check(a == c);
  }
  return 0;
}
