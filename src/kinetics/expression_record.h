#pragma once
// The node lines of an expression record, shared by rate laws and output
// functions: "Nodes=%d", then for every node "Node=%d,%d" with the decimal
// codes of its kind and code, "Value=%le" for a number, and a symbol's own
// lines, which each family writes and reads itself. The tree links are not
// stored: a reader links the list again.

#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kinetics/expression.h"

namespace vireon {

class MessageSink;
class RecordCursor;

// The lines that follow a symbol node's "Node=" line.
class SymbolRecord {
 public:
  virtual ~SymbolRecord() = default;
  virtual void Write(std::ostream& out, const ExpressionNode& node) const = 0;
  // Reads the lines into `node`; `nodeCount` is the record's node count.
  // Reports a bad line through the sink and returns false.
  virtual bool Read(RecordCursor& cursor, MessageSink& sink, int nodeCount,
                    ExpressionNode& node) = 0;
};

// "Index=%d" and "Name=%s", as rate laws store their symbols. A bound symbol
// ('s', 'p', 'm', 'k') must have an index from 0 to the node count - 1 and an
// unbound one at least -1; any other index fails as a bad field.
class IndexAndNameRecord : public SymbolRecord {
 public:
  void Write(std::ostream& out, const ExpressionNode& node) const override;
  bool Read(RecordCursor& cursor, MessageSink& sink, int nodeCount, ExpressionNode& node) override;
};

// A number as "%le" writes it in the C locale: six digits after the point
// and an exponent of at least two digits (1.234568e+00).
std::string FormatExpressionNumber(double value);

// Writes "Nodes=%d" and the lines of every node, root included, in list
// order. Every line ends with a line feed.
void WriteExpressionNodes(std::ostream& out, std::span<const ExpressionNode> nodes,
                          const ExpressionDialect& dialect, const SymbolRecord& symbols);

// Reads "Nodes=%d" and that many nodes into `nodes` (replaced), starting at
// the cursor's current line and leaving it after the last node. A missing or
// short line, a negative count, or a kind or code outside 1..127 is reported
// with the line reader's message and gives false. The nodes are not linked.
bool ReadExpressionNodes(RecordCursor& cursor, MessageSink& sink, const ExpressionDialect& dialect,
                         SymbolRecord& symbols, std::vector<ExpressionNode>& nodes);

// What a reader says about an expression record whose nodes do not form a
// valid tree, followed by the number of the record's first line.
inline constexpr const char* kExpressionRecordSyntaxError =
    "Syntax error in the expression at line ";

// Links a node list read from a file: node 0 must be the root sentinel and
// the tree must link without error. Otherwise kExpressionRecordSyntaxError
// with `recordLine` goes to the sink as an error under the file error title.
bool LinkReadExpression(std::vector<ExpressionNode>& nodes, const ExpressionDialect& dialect,
                        int recordLine, MessageSink& sink);

}  // namespace vireon
