#include "output/output_item_record.h"

#include <optional>

namespace vireon {

void SaveOutputItem(const OutputItem& item, std::string& out) {
  out += "Title=";
  out += item.title;
  out += "\nType=";
  out += std::to_string(item.type);
  out += '\n';
  if (OutputItemHasFirstName(item.type)) {
    out += "I=";
    out += item.i;
    out += '\n';
  }
  if (OutputItemHasSecondName(item.type)) {
    out += "J=";
    out += item.j;
    out += '\n';
  }
}

bool LoadOutputItem(RecordCursor& cursor, MessageSink& sink, OutputItem& item) {
  item.value = nullptr;
  std::optional<std::string> title = ReadStringLine(cursor, sink);
  if (!title) return false;
  item.title = std::move(*title);
  int type = 0;
  if (!ReadFieldLine(cursor, sink, "Type=%d", &type)) return false;
  item.type = type;
  item.i.clear();
  item.j.clear();
  if (OutputItemHasFirstName(type)) {
    std::optional<std::string> first = ReadStringLine(cursor, sink);
    if (!first) return false;
    item.i = std::move(*first);
  }
  if (OutputItemHasSecondName(type)) {
    std::optional<std::string> second = ReadStringLine(cursor, sink);
    if (!second) return false;
    item.j = std::move(*second);
  }
  return true;
}

void SaveSelection(std::string_view header, const std::vector<OutputItem>& selection,
                   std::string& out) {
  SaveRecordSection(header, selection, SaveOutputItem, out);
}

SelectionLoadStatus LoadSelection(RecordCursor& cursor, MessageSink& sink,
                                  std::vector<OutputItem>& selection) {
  return LoadRecordSection(cursor, sink, selection, LoadOutputItem);
}

}  // namespace vireon
