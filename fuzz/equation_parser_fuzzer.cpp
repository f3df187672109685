// libFuzzer target for the equation parser and the reactions editor. Every
// input is one equation; the syntax test, the counting pass and the filling
// pass must agree, and the filled column must be products minus substrates.
//
// Built with -DVIREON_BUILD_FUZZ=ON (clang, libFuzzer, ASan and UBSan); its
// seed corpus is fuzz/corpus/equation_parser/, and scripts/fuzz.sh runs it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "model/equation_parser.h"
#include "model/message_sink.h"
#include "model/reaction_editor.h"
#include "model/working_copy.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vireon;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  int units = TestEquation(text);
  // A fault is named exactly for the equations the syntax test refuses.
  const std::optional<SyntaxFault> fault = FindEquationFault(text);
  Check(fault.has_value() == (units < 0));
  if (fault) Check(fault->offset <= text.size() && !fault->reason.empty());

  RecordingSink sink;
  Model document;
  ReactionEditor editor(document, sink);
  bool added = editor.AddOrChange("v", text);
  Check(added == (units >= 0));
  if (!added) return 0;
  Check(editor.Commit(nullptr));
  ApplyWorkingCopy(document, editor.working(), nullptr);

  const Step& step = document.steps[0];
  Check(static_cast<int>(step.substrates.size() + step.products.size()) == units);
  for (int m = 0; m < document.nMetabolites(); ++m) {
    int net = 0;
    for (int p : step.products) net += p == m;
    for (int s : step.substrates) net -= s == m;
    Check(document.stoichiometry[m][0] == static_cast<float>(net));
  }
  // The rebuilt text describes the same step.
  Check(TestEquation(step.equation) == units);
  return 0;
}
