#pragma once
// A user-defined rate law: an expression typed by the user (V*S/(Km+S)),
// parsed into a node list and a tree over it, with every symbol bound to a
// role (substrate, product, modifier or kinetic constant). A user-defined
// kinetic type owns one and evaluates it as the rate of its steps.
//
// This header is self-contained: the node type is only declared here, so
// that code which merely holds or evaluates a function does not depend on the
// expression engine's headers. Code that looks at the nodes includes
// "kinetics/expression.h".

#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vireon {

class Model;
class MessageSink;
class RecordCursor;
struct ExpressionNode;
using KineticNode = ExpressionNode;

// The role the user gives a symbol of a rate law. The numbers are fixed.
enum class SymbolRole : int {
  kSubstrate = 0,
  kProduct = 1,
  kModifier = 2,
  kConstant = 3,
};

// Returned by RoleOfSymbol and PositionOfSymbol when no node has the name.
inline constexpr int kNoSymbol = -1;

class KineticFunction {
 public:
  KineticFunction();
  KineticFunction(std::string name, std::string description);
  KineticFunction(const KineticFunction& other);
  KineticFunction(KineticFunction&& other) noexcept;
  KineticFunction& operator=(const KineticFunction& other);
  KineticFunction& operator=(KineticFunction&& other) noexcept;
  ~KineticFunction();

  const std::string& name() const { return name_; }
  void set_name(std::string name) { name_ = std::move(name); }
  // The expression as typed, on one line.
  const std::string& description() const { return description_; }
  // Takes the text with every carriage return and line feed removed.
  void set_description(std::string_view text);

  // Scans and parses the description into the node list and links the
  // tree. Returns 0 on success (every symbol node is then unbound, kind 'I'),
  // otherwise the number of errors found (at least 1); a failed parse leaves
  // no nodes. Deep nesting is refused as an error, never a stack overflow.
  int ParseKineticFunction();

  // Sets the four counts to 0 and empties the name lists before a fresh
  // binding. The nodes keep their kinds until bound again.
  void ResetBindings();
  // Binds every node named `name` (exact comparison) to `role`, with the
  // index the role's count has now; the count then grows by one. Modifier
  // and constant names are recorded. A role outside 0..3 binds nothing.
  void BindSymbol(std::string_view name, SymbolRole role);
  // The same as BindSymbol for each binding in turn, in one pass over the
  // nodes: the time grows with the nodes plus the bindings, not with their
  // product.
  void BindSymbols(std::span<const std::pair<std::string, SymbolRole>> bindings);

  // The distinct symbol names in order of first appearance.
  std::vector<std::string> SymbolNames() const;
  // The same names, each with RoleOfSymbol's answer for it, in one pass.
  std::vector<std::pair<std::string, int>> SymbolRoles() const;
  // 0 substrate, 1 product, 2 modifier, 3 constant (also for a symbol not yet
  // bound) for the first node from node 1 on with that name; kNoSymbol if none.
  int RoleOfSymbol(std::string_view name) const;
  // Position in the node list of the first symbol node with that name, or
  // kNoSymbol.
  int PositionOfSymbol(std::string_view name) const;

  // The value of the rate law for step `step` of `model`, with `x` the
  // engine's amounts indexed by metabolite position. A bound symbol that has
  // no counterpart in the step (an index beyond its lists, an unassigned
  // modifier) contributes 0.
  double EvaluateKineticFunction(const Model& model, std::span<const double> x, int step) const;

  // Any nonzero value reads as 1.
  int reversible() const { return reversible_ != 0 ? 1 : 0; }
  void set_reversible(int reversible) { reversible_ = reversible; }

  int NodeCount() const;
  const std::vector<KineticNode>& nodes() const { return nodes_; }
  int SubstrateCount() const { return substrateCount_; }
  int ProductCount() const { return productCount_; }
  int ModifierCount() const { return static_cast<int>(modifierNames_.size()); }
  int ConstantCount() const { return static_cast<int>(constantNames_.size()); }
  // The i-th name, or an empty string for an index out of range.
  std::string ModifierName(int i) const;
  std::string ConstantName(int i) const;

  // Writes the "FunctionName=" record: name, description, "Nodes=%d" and one
  // group of lines per node. Lines end with a line feed.
  void WriteRecord(std::ostream& out) const;
  // Reads a record written by WriteRecord, starting at the cursor's current
  // line; replaces name, description and nodes, and leaves the counts and
  // name lists empty (the kinetic type's record carries them). On a short or
  // missing line the line reader's message goes to `sink`. Returns true when
  // the record was read and its tree links without error.
  bool ReadRecord(RecordCursor& cursor, MessageSink& sink);

  // Whether the description parses into the node list the function
  // computes (symbols compared by name, whatever role they are bound to;
  // numbers as a record stores them). Always so for a function parsed from
  // its description; a record written by hand may say one law and store
  // another.
  bool DescriptionMatchesNodes() const;
  // The node list written out as a rate law's text ("V*S/(Km+S)"), or
  // nothing when no text parses back into exactly these nodes (a negative
  // or non-finite number, a symbol name the scanner would split).
  std::optional<std::string> TextOfNodes() const;

 private:
  std::string name_;
  std::string description_;
  std::vector<KineticNode> nodes_;
  int reversible_ = 0;
  int substrateCount_ = 0;
  int productCount_ = 0;
  std::vector<std::string> modifierNames_;
  std::vector<std::string> constantNames_;

  // The index `role` gives the next symbol bound to it, counted; modifier
  // and constant names are recorded.
  int TakeIndex(std::string_view name, SymbolRole role);
};

}  // namespace vireon
