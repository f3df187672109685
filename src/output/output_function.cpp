#include "output/output_function.h"

#include <algorithm>
#include <optional>
#include <sstream>

#include "kinetics/expression_record.h"
#include "model/message_sink.h"
#include "model/record_cursor.h"
#include "output/output_item_record.h"
#include "engine/random.h"

namespace vireon {

namespace {

// Symbols get their values from their items, and the random factors from
// the generator.
class OutputFunctionBindings : public ExpressionBindings {
 public:
  OutputFunctionBindings(const std::vector<OutputItem>& items, RandomGenerator& random)
      : items_(items), random_(random) {}

  double SymbolValue(const ExpressionNode& node) override {
    if (node.kind != node_kind::kSymbol || node.index < 0 ||
        node.index >= static_cast<int>(items_.size())) {
      return 0.0;
    }
    return items_[node.index].Value();
  }

  double FunctionValue(char code, double operand) override {
    return RandomFactorValue(code, operand, random_);
  }

 private:
  const std::vector<OutputItem>& items_;
  RandomGenerator& random_;
};

// A symbol node's lines are its item's record. A reader collects the items
// read: a letter that occurred before takes the earlier item and the record
// read for it is discarded.
class ItemSymbolRecord : public SymbolRecord {
 public:
  // For writing the items of a function.
  explicit ItemSymbolRecord(const std::vector<OutputItem>& items) : written_(items) {}
  // For reading into `items`, which starts empty.
  explicit ItemSymbolRecord(std::vector<OutputItem>* items) : written_(*items), read_(items) {}

  void Write(std::ostream& out, const ExpressionNode& node) const override {
    std::string record;
    const bool known = node.index >= 0 && node.index < static_cast<int>(written_.size());
    SaveOutputItem(known ? written_[node.index] : OutputItem(), record);
    out << record;
  }

  bool Read(RecordCursor& cursor, MessageSink& sink, int /*nodeCount*/,
            ExpressionNode& node) override {
    OutputItem item;
    if (read_ == nullptr || !LoadOutputItem(cursor, sink, item)) return false;
    node.name = std::string(1, node.code);
    auto it = std::find(letters_.begin(), letters_.end(), node.code);
    if (it != letters_.end()) {
      node.index = static_cast<int>(it - letters_.begin());
      return true;
    }
    letters_.push_back(node.code);
    read_->push_back(std::move(item));
    node.index = static_cast<int>(read_->size()) - 1;
    return true;
  }

 private:
  const std::vector<OutputItem>& written_;
  std::vector<OutputItem>* read_ = nullptr;
  std::vector<char> letters_;
};

std::string WithoutLineBreaks(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (char c : text) {
    if (c != '\r' && c != '\n') result += c;
  }
  return result;
}

}  // namespace

double RandomFactorValue(char code, double operand, RandomGenerator& random) {
  switch (code) {
    case node_code::kRand:
      return random.Uniform() * operand;
    case node_code::kGauss:
    case node_code::kBoltz:
      return random.Normal() * operand;
    default:
      return 0.0;
  }
}

OutputFunction::OutputFunction(std::string name, std::string_view description)
    : name_(std::move(name)), description_(WithoutLineBreaks(description)) {}

void OutputFunction::set_description(std::string_view text) {
  description_ = WithoutLineBreaks(text);
}

int OutputFunction::Parse() {
  nodes_.clear();
  items_.clear();
  const ExpressionDialect& dialect = OutputExpressionDialect();
  std::vector<ExpressionNode> nodes;
  if (!BuildExpressionNodes(description_, dialect, nodes)) return 1;
  const LinkResult linked = LinkExpressionTree(nodes, dialect);
  if (linked.errors != 0) return linked.errors;
  nodes_ = std::move(nodes);
  AssignItems();
  return 0;
}

void OutputFunction::AssignItems() {
  std::vector<char> seen;
  items_.clear();
  for (ExpressionNode& node : nodes_) {
    if (node.kind != node_kind::kSymbol) continue;
    auto it = std::find(seen.begin(), seen.end(), node.code);
    if (it == seen.end()) {
      seen.push_back(node.code);
      items_.emplace_back();
      node.index = static_cast<int>(items_.size()) - 1;
    } else {
      node.index = static_cast<int>(it - seen.begin());
    }
  }
}

double OutputFunction::Evaluate(RandomGenerator& random) {
  OutputFunctionBindings bindings(items_, random);
  if (nodes_.empty()) {
    value_ = 0.0;
  } else if (nodes_[0].kind == node_kind::kRoot) {
    value_ = EvaluateExpression(nodes_, bindings);
  } else if (nodes_[0].kind == node_kind::kNumber) {
    value_ = nodes_[0].value;
  } else {
    value_ = bindings.SymbolValue(nodes_[0]);
  }
  return value_;
}

std::vector<char> OutputFunction::letters() const {
  std::vector<char> result(items_.size(), '\0');
  for (const ExpressionNode& node : nodes_) {
    if (node.kind == node_kind::kSymbol && node.index >= 0 &&
        node.index < static_cast<int>(result.size()) && result[node.index] == '\0') {
      result[node.index] = node.code;
    }
  }
  return result;
}

OutputItem* OutputFunction::ItemOf(char letter) {
  for (const ExpressionNode& node : nodes_) {
    if (node.kind == node_kind::kSymbol && node.code == letter && node.index >= 0 &&
        node.index < static_cast<int>(items_.size())) {
      return &items_[node.index];
    }
  }
  return nullptr;
}

void OutputFunction::WriteRecord(std::string& out) const {
  std::ostringstream record;
  record << "Name=" << name_ << '\n';
  record << "Description=" << description_ << '\n';
  WriteExpressionNodes(record, nodes_, OutputExpressionDialect(), ItemSymbolRecord(items_));
  out += record.str();
}

bool OutputFunction::ReadRecord(RecordCursor& cursor, MessageSink& sink) {
  const int recordLine = cursor.lineNumber();
  std::optional<std::string> name = ReadStringLine(cursor, sink);
  if (!name) return false;
  std::optional<std::string> description = ReadStringLine(cursor, sink);
  if (!description) return false;
  const ExpressionDialect& dialect = OutputExpressionDialect();
  std::vector<OutputItem> items;
  ItemSymbolRecord symbols(&items);
  std::vector<ExpressionNode> nodes;
  if (!ReadExpressionNodes(cursor, sink, dialect, symbols, nodes)) return false;
  // Older files hold a function of one number or one symbol without a root.
  const bool singleNode = !nodes.empty() && (nodes[0].kind == node_kind::kNumber ||
                                             nodes[0].kind == node_kind::kSymbol);
  if (!singleNode && !LinkReadExpression(nodes, dialect, recordLine, sink)) return false;
  name_ = std::move(*name);
  description_ = std::move(*description);
  nodes_ = std::move(nodes);
  items_ = std::move(items);
  value_ = 0.0;
  return true;
}

bool OutputFunction::operator==(const OutputFunction& other) const {
  if (name_ != other.name_ || description_ != other.description_ ||
      nodes_.size() != other.nodes_.size() || items_ != other.items_) {
    return false;
  }
  for (std::size_t k = 0; k < nodes_.size(); ++k) {
    const ExpressionNode& a = nodes_[k];
    const ExpressionNode& b = other.nodes_[k];
    if (a.kind != b.kind || a.code != b.code || a.index != b.index ||
        (a.kind == node_kind::kNumber && a.value != b.value)) {
      return false;
    }
  }
  return true;
}

void EvaluateOutputFunctions(std::vector<OutputFunction>& functions, RandomGenerator& random) {
  for (OutputFunction& function : functions) function.Evaluate(random);
}

void SaveOutputFunctionSection(const std::vector<OutputFunction>& functions, std::string& out) {
  SaveRecordSection(kOutputFunctionSection, functions,
                    [](const OutputFunction& function, std::string& text) {
                      function.WriteRecord(text);
                    },
                    out);
}

SelectionLoadStatus LoadOutputFunctionSection(RecordCursor& cursor, MessageSink& sink,
                                              std::vector<OutputFunction>& functions) {
  return LoadRecordSection(cursor, sink, functions,
                           [](RecordCursor& c, MessageSink& s, OutputFunction& function) {
                             return function.ReadRecord(c, s);
                           });
}

double* FindOutputFunctionValue(std::vector<OutputFunction>& functions, std::string_view name) {
  for (OutputFunction& function : functions) {
    if (function.name() == name) return function.valuePointer();
  }
  return nullptr;
}

UserFunctionLookup OutputFunctionLookup(std::vector<OutputFunction>& functions) {
  return [&functions](std::string_view name) { return FindOutputFunctionValue(functions, name); };
}

int RebindOutputFunctions(std::vector<OutputFunction>& functions, const BindingContext& context,
                          bool bind) {
  int unresolved = 0;
  for (OutputFunction& function : functions) {
    for (OutputItem& item : function.items()) {
      if (!BindOutputItem(item, context, bind)) ++unresolved;
    }
  }
  return unresolved;
}

}  // namespace vireon
