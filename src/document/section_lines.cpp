#include "document/section_lines.h"

#include <algorithm>

#include "rules/rule_order.h"

namespace vireon {

void AppendValueLine(std::string& out, std::string_view key, std::string_view value) {
  std::string text(value);
  std::replace(text.begin(), text.end(), '\r', ' ');
  std::replace(text.begin(), text.end(), '\n', ' ');
  out += key;
  out += '=';
  out += text;
  out += '\n';
}

bool AtSectionHeader(const RecordCursor& cursor, std::string_view header) {
  if (cursor.AtEndOfData()) return false;
  std::string_view line = cursor.Line();
  if (line.ends_with('\r')) line.remove_suffix(1);
  return line == header;
}

std::optional<RuleTargetKind> RuleTargetKindOfWord(const std::string& text) {
  for (RuleTargetKind kind :
       {RuleTargetKind::kGlobalQuantity, RuleTargetKind::kCompartmentVolume,
        RuleTargetKind::kMetabolite, RuleTargetKind::kKineticConstant,
        RuleTargetKind::kStoichiometry}) {
    if (RuleTargetKindWord(kind) == text) return kind;
  }
  return std::nullopt;
}

}  // namespace vireon
