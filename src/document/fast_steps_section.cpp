#include "document/fast_steps_section.h"

#include <optional>
#include <vector>

#include "document/section_lines.h"
#include "model/messages.h"
#include "output/number_format.h"

namespace vireon {

void SaveFastStepsSection(const Model& model, std::string& out) {
  if (!HasFastSteps(model)) return;
  std::vector<std::string> names;
  for (const Step& step : model.steps) {
    if (step.fast) names.push_back(step.name);
  }
  SaveRecordSection(
      kFastStepsSection, names,
      [](const std::string& name, std::string& text) { AppendValueLine(text, "Step", name); }, out);
}

FastStepsSectionLoad LoadFastStepsSection(RecordCursor& cursor, MessageSink& sink, Model& model) {
  if (!AtSectionHeader(cursor, kFastStepsSection)) return {};
  std::vector<std::string> names;
  std::vector<int> lines;
  const int start = cursor.lineNumber();
  const SelectionLoadStatus status = LoadRecordSection(
      cursor, sink, names, [&](RecordCursor& c, MessageSink& s, std::string& name) {
        lines.push_back(c.lineNumber());
        std::optional<std::string> read = ReadStringLine(c, s);
        if (!read) return false;
        name = std::move(*read);
        return true;
      });
  if (status == SelectionLoadStatus::kBadCount) {
    return {status, std::min(cursor.lineNumber(), start + 1)};
  }
  if (status == SelectionLoadStatus::kBadRecord) return {status, cursor.lineNumber()};
  for (std::size_t i = 0; i < names.size(); ++i) {
    const int k = model.FindStep(names[i]);
    if (k < 0) {
      sink.Error(messages::kFileErrorTitle, Format(kUnknownFastStep, lines[i]));
      return {SelectionLoadStatus::kBadRecord, lines[i]};
    }
    model.steps[static_cast<std::size_t>(k)].fast = true;
  }
  return {};
}

}  // namespace vireon
