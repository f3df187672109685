#pragma once
// The lines the model file's later sections (global quantities, rules,
// events) share: "Key=value" lines, section headers, and the words of rule
// target kinds.

#include <optional>
#include <string>
#include <string_view>

#include "model/record_cursor.h"
#include "model/rule.h"

namespace vireon {

// Appends "key=value\n"; a line break in the value becomes a blank, since
// it would end the value early and make the rest unreadable.
void AppendValueLine(std::string& out, std::string_view key, std::string_view value);

// Whether the cursor stands on a section's header line `header` (a carriage
// return before the line feed allowed).
bool AtSectionHeader(const RecordCursor& cursor, std::string_view header);

// A target kind read back by its word (RuleTargetKindWord), or nothing.
std::optional<RuleTargetKind> RuleTargetKindOfWord(const std::string& text);

}  // namespace vireon
