// libFuzzer target for the expression texts of rate laws and output
// functions. Every input is parsed as both. A text that fails leaves no
// nodes; one that parses evaluates without a fault of the program (the
// arithmetic may give infinities), and its record reads back to the same
// tree: the same kinds, codes and links, and after one writing the same
// record text (numbers are stored with six significant digits).
//
// Built with -DVIREON_BUILD_FUZZ=ON (clang, libFuzzer, ASan and UBSan); its
// seed corpus is fuzz/corpus/expression/, and scripts/fuzz.sh runs it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/random.h"
#include "kinetics/expression.h"
#include "kinetics/expression_fault.h"
#include "kinetics/kinetic_function.h"
#include "model/message_sink.h"
#include "model/record_cursor.h"
#include "output/output_function.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// Every symbol has the value 1.5, every other function the value 2.
class FixedBindings : public vireon::ExpressionBindings {
 public:
  double SymbolValue(const vireon::ExpressionNode&) override { return 1.5; }
  double FunctionValue(char, double) override { return 2.0; }
};

bool SameTree(const std::vector<vireon::ExpressionNode>& a,
              const std::vector<vireon::ExpressionNode>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].kind != b[i].kind || a[i].code != b[i].code || a[i].left != b[i].left ||
        a[i].right != b[i].right || a[i].name != b[i].name || a[i].index != b[i].index) {
      return false;
    }
  }
  return true;
}

std::string RecordOf(const vireon::KineticFunction& function) {
  std::ostringstream out;
  function.WriteRecord(out);
  return out.str();
}

void RateLaw(const std::string& text) {
  using namespace vireon;
  KineticFunction function("f", text);
  if (function.ParseKineticFunction() != 0) {
    Check(function.NodeCount() == 0);
    return;
  }
  const std::vector<std::string> names = function.SymbolNames();
  function.ResetBindings();
  for (std::size_t i = 0; i < names.size(); ++i) {
    function.BindSymbol(names[i], static_cast<SymbolRole>(i % 4));
    Check(function.RoleOfSymbol(names[i]) == static_cast<int>(i % 4));
  }
  FixedBindings bindings;
  EvaluateExpression(function.nodes(), bindings);

  const std::string record = RecordOf(function);
  RecordCursor cursor(record);
  RecordingSink sink;
  KineticFunction back;
  Check(back.ReadRecord(cursor, sink));
  Check(SameTree(back.nodes(), function.nodes()));
  Check(back.description() == function.description());
  const std::string again = RecordOf(back);
  RecordCursor second(again);
  KineticFunction twice;
  Check(twice.ReadRecord(second, sink));
  Check(RecordOf(twice) == again);
}

void OutputExpression(const std::string& text) {
  using namespace vireon;
  OutputFunction function("g", text);
  if (function.Parse() != 0) {
    Check(function.NodeCount() == 0 && function.items().empty());
    return;
  }
  Check(function.letters().size() == function.items().size());
  RandomGenerator random(7);
  function.Evaluate(random);
  FixedBindings bindings;
  EvaluateExpression(function.nodes(), bindings);

  std::string record;
  function.WriteRecord(record);
  RecordCursor cursor(record);
  RecordingSink sink;
  OutputFunction back;
  Check(back.ReadRecord(cursor, sink));
  Check(SameTree(back.nodes(), function.nodes()));
  std::string again;
  back.WriteRecord(again);
  RecordCursor second(again);
  OutputFunction twice;
  Check(twice.ReadRecord(second, sink));
  std::string third;
  twice.WriteRecord(third);
  Check(third == again);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  RateLaw(text);
  OutputExpression(text);
  // A fault is found exactly where the parser refuses, inside the text.
  for (const vireon::ExpressionDialect* dialect :
       {&vireon::KineticExpressionDialect(), &vireon::OutputExpressionDialect()}) {
    std::vector<vireon::ExpressionNode> nodes;
    const bool parses = vireon::BuildExpressionNodes(text, *dialect, nodes) &&
                        vireon::LinkExpressionTree(nodes, *dialect).errors == 0;
    const std::optional<vireon::SyntaxFault> fault = vireon::FindExpressionFault(text, *dialect);
    Check(fault.has_value() == !parses);
    if (fault) Check(fault->offset <= text.size() && !fault->reason.empty());
  }
  return 0;
}
