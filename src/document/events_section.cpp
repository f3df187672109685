#include "document/events_section.h"

#include <optional>

#include "document/section_lines.h"
#include "model/messages.h"
#include "output/number_format.h"
#include "rules/event_check.h"
#include "rules/rule_order.h"

namespace vireon {

namespace {

// A flag line: "Key=0" or "Key=1".
bool ReadFlag(RecordCursor& cursor, MessageSink& sink, FieldFormatFor<int> format, bool& flag) {
  int value = 0;
  if (!ReadFieldLine(cursor, sink, format, &value)) return false;
  flag = value != 0;
  return true;
}

// The target type of an assignment that gives a metabolite's amount.
constexpr const char* kAmountTargetWord = "metabolite amount";

}  // namespace

void SaveEventsSection(const Model& model, std::string& out) {
  if (model.events.empty()) return;
  SaveRecordSection(
      kEventsSection, model.events,
      [](const Event& event, std::string& text) {
        AppendValueLine(text, "Event", event.name);
        AppendValueLine(text, "Trigger", event.trigger);
        AppendValueLine(text, "Delay", event.delay);
        AppendValueLine(text, "Priority", event.priority);
        AppendValueLine(text, "InitialValue", event.initialValue ? "1" : "0");
        AppendValueLine(text, "Persistent", event.persistent ? "1" : "0");
        AppendValueLine(text, "TriggerTimeValues", event.useValuesFromTriggerTime ? "1" : "0");
        AppendValueLine(text, "Assignments", std::to_string(event.assignments.size()));
        for (const EventAssignment& assignment : event.assignments) {
          AppendValueLine(text, "TargetType",
                          assignment.amount ? kAmountTargetWord
                                            : RuleTargetKindWord(assignment.target.kind));
          AppendValueLine(text, "Target", assignment.target.name);
          if (assignment.target.kind == RuleTargetKind::kKineticConstant) {
            AppendValueLine(text, "Constant", assignment.target.constant);
          }
          AppendValueLine(text, "Expression", assignment.expression);
        }
      },
      out);
}

EventsSectionLoad LoadEventsSection(RecordCursor& cursor, MessageSink& sink, Model& model) {
  model.events.clear();
  if (!AtSectionHeader(cursor, kEventsSection)) return {};
  std::vector<int> eventLines;
  int badTarget = 0;
  const int start = cursor.lineNumber();
  const SelectionLoadStatus status = LoadRecordSection(
      cursor, sink, model.events, [&](RecordCursor& c, MessageSink& s, Event& event) {
        eventLines.push_back(c.lineNumber());
        std::optional<std::string> name = ReadStringLine(c, s);
        if (!name) return false;
        std::optional<std::string> trigger = ReadStringLine(c, s);
        if (!trigger) return false;
        std::optional<std::string> delay = ReadStringLine(c, s);
        if (!delay) return false;
        std::optional<std::string> priority = ReadStringLine(c, s);
        if (!priority) return false;
        event.name = std::move(*name);
        event.trigger = std::move(*trigger);
        event.delay = std::move(*delay);
        event.priority = std::move(*priority);
        if (!ReadFlag(c, s, "InitialValue=%d", event.initialValue) ||
            !ReadFlag(c, s, "Persistent=%d", event.persistent) ||
            !ReadFlag(c, s, "TriggerTimeValues=%d", event.useValuesFromTriggerTime)) {
          return false;
        }
        int count = 0;
        if (!ReadFieldLine(c, s, "Assignments=%d", &count) || count < 0) return false;
        // The count is never trusted for an allocation: a file that claims
        // more assignments than it holds fails at its end.
        for (int a = 0; a < count; ++a) {
          const int line = c.lineNumber();
          std::optional<std::string> targetKind = ReadStringLine(c, s);
          if (!targetKind) return false;
          const bool amount = *targetKind == kAmountTargetWord;
          const std::optional<RuleTargetKind> kind =
              amount ? RuleTargetKind::kMetabolite : RuleTargetKindOfWord(*targetKind);
          if (!kind) {
            badTarget = line;
            return false;
          }
          std::optional<std::string> target = ReadStringLine(c, s);
          if (!target) return false;
          std::optional<std::string> constant;
          if (*kind == RuleTargetKind::kKineticConstant) {
            constant = ReadStringLine(c, s);
            if (!constant) return false;
          }
          std::optional<std::string> expression = ReadStringLine(c, s);
          if (!expression) return false;
          event.assignments.push_back(
              {RuleTarget{*kind, std::move(*target), constant.value_or(std::string())},
               std::move(*expression), amount});
        }
        return true;
      });
  const auto fail = [&sink](int line, std::string text) {
    sink.Error(messages::kFileErrorTitle, text);
    return EventsSectionLoad{SelectionLoadStatus::kBadRecord, line};
  };
  if (badTarget != 0) return fail(badTarget, Format(kUnknownEventTarget, badTarget));
  if (status == SelectionLoadStatus::kBadCount) {
    return {status, std::min(cursor.lineNumber(), start + 1)};
  }
  if (status == SelectionLoadStatus::kBadRecord) return {status, cursor.lineNumber()};
  const EventsCheck check = CheckEvents(model);
  if (!check.ok()) {
    const int line = eventLines[static_cast<std::size_t>(check.event)];
    return fail(line, Format(kBadEvent, line, check.message.c_str()));
  }
  return {};
}

}  // namespace vireon
