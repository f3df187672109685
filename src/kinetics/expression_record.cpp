#include "kinetics/expression_record.h"

#include <charconv>
#include <ostream>

#include "model/message_sink.h"
#include "model/messages.h"
#include "model/record_cursor.h"

namespace vireon {

namespace {

// Kinds and codes are single characters written as their decimal codes.
constexpr int kFirstCharacterCode = 1;
constexpr int kLastCharacterCode = 127;

bool IsCharacterCode(int value) {
  return value >= kFirstCharacterCode && value <= kLastCharacterCode;
}

// Reports the current line as a bad field line.
bool RefuseField(const RecordCursor& cursor, MessageSink& sink) {
  return CheckFields(0, 1, cursor.lineNumber(), sink);
}

}  // namespace

std::string FormatExpressionNumber(double value) {
  char buffer[64];
  auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 6);
  if (error != std::errc()) return "0.000000e+00";
  return std::string(buffer, end);
}

void IndexAndNameRecord::Write(std::ostream& out, const ExpressionNode& node) const {
  out << "Index=" << node.index << '\n';
  out << "Name=" << node.name << '\n';
}

bool IndexAndNameRecord::Read(RecordCursor& cursor, MessageSink& sink, int nodeCount,
                              ExpressionNode& node) {
  int index = 0;
  if (ReadFields<int>(cursor, "Index=%d", &index) == 1) {
    bool bound = node.kind != node_kind::kSymbol;
    if (index < (bound ? 0 : -1) || index >= nodeCount) return RefuseField(cursor, sink);
  }
  if (!ReadFieldLine<int>(cursor, sink, "Index=%d", &index)) return false;
  std::optional<std::string> name = ReadStringLine(cursor, sink);
  if (!name) return false;
  node.index = index;
  node.name = std::move(*name);
  return true;
}

void WriteExpressionNodes(std::ostream& out, std::span<const ExpressionNode> nodes,
                          const ExpressionDialect& dialect, const SymbolRecord& symbols) {
  out << "Nodes=" << nodes.size() << '\n';
  for (const ExpressionNode& node : nodes) {
    out << "Node=" << static_cast<int>(node.kind) << ',' << static_cast<int>(node.code) << '\n';
    if (node.kind == node_kind::kNumber) {
      out << "Value=" << FormatExpressionNumber(node.value) << '\n';
    } else if (dialect.IsSymbolKind(node.kind)) {
      symbols.Write(out, node);
    }
  }
}

bool ReadExpressionNodes(RecordCursor& cursor, MessageSink& sink, const ExpressionDialect& dialect,
                         SymbolRecord& symbols, std::vector<ExpressionNode>& nodes) {
  nodes.clear();
  int count = 0;
  if (ReadFields<int>(cursor, "Nodes=%d", &count) == 1 && count < 0) {
    return RefuseField(cursor, sink);
  }
  if (!ReadFieldLine<int>(cursor, sink, "Nodes=%d", &count)) return false;
  // The list grows with the lines actually read, never by the count alone.
  for (int i = 0; i < count; ++i) {
    int kind = 0;
    int code = 0;
    if (ReadFields<int, int>(cursor, "Node=%d,%d", &kind, &code) == 2 &&
        (!IsCharacterCode(kind) || !IsCharacterCode(code))) {
      return RefuseField(cursor, sink);
    }
    if (!ReadFieldLine<int, int>(cursor, sink, "Node=%d,%d", &kind, &code)) return false;
    ExpressionNode node;
    node.kind = static_cast<char>(kind);
    node.code = static_cast<char>(code);
    if (node.kind == node_kind::kNumber) {
      if (!ReadFieldLine<double>(cursor, sink, "Value=%le", &node.value)) return false;
    } else if (dialect.IsSymbolKind(node.kind)) {
      // A symbol that is its letter gets the name its parsed twin has.
      if (dialect.symbolCodeIsLetter) node.name.assign(1, node.code);
      if (!symbols.Read(cursor, sink, count, node)) return false;
    }
    nodes.push_back(std::move(node));
  }
  return true;
}

bool LinkReadExpression(std::vector<ExpressionNode>& nodes, const ExpressionDialect& dialect,
                        int recordLine, MessageSink& sink) {
  bool linked = !nodes.empty() && nodes[0].kind == node_kind::kRoot &&
                LinkExpressionTree(nodes, dialect).errors == 0;
  if (!linked) {
    sink.Error(messages::kFileErrorTitle,
               kExpressionRecordSyntaxError + std::to_string(recordLine));
  }
  return linked;
}

}  // namespace vireon
