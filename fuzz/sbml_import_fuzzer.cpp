// libFuzzer target for the SBML import. Every input is an SBML text; a model
// it accepts must be fit to simulate (analysed, every step's rate
// evaluable) and must export to SBML again; one it refuses must leave the
// model and the catalogue as they were.
//
// Built with -DVIREON_BUILD_FUZZ=ON (clang, libFuzzer, ASan and UBSan); its
// seed corpus is fuzz/corpus/sbml_import/ (models written by Vireon's own
// export), and scripts/fuzz.sh runs it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_binding.h"
#include "sbml/sbml_export.h"
#include "sbml/sbml_import.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// Forgets the types an input entered, so that every input starts alike,
// without building the built-in types anew for every input.
void Rebuild(vireon::KineticCatalogue& catalogue) {
  if (catalogue.size() == vireon::kBuiltInKineticTypeCount && !catalogue.UserDefinedRemoved()) {
    return;
  }
  catalogue.Clear();
  vireon::BuildBuiltInKineticTypes(catalogue);
}

// Imports one text; true when the model was imported (and checked).
bool ImportAndCheck(std::string_view text, vireon::KineticCatalogue& catalogue) {
  using namespace vireon;
  const int types = catalogue.size();
  Model model;
  model.title = "unchanged";
  const SbmlImportResult result = ImportSbmlText(text, catalogue, model);
  if (!result.imported) {
    Check(!result.problems.empty());
    Check(model.title == "unchanged" && catalogue.size() == types);
    return false;
  }
  for (int k = 0; k < model.nSteps(); ++k) Check(CanEvaluateRate(model, k));
  Check(ExportSbml(model).exported);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static vireon::KineticCatalogue* const catalogue = [] {
    auto* c = new vireon::KineticCatalogue;
    vireon::BuildBuiltInKineticTypes(*c);
    return c;
  }();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // The model that points to the imported types is gone by now.
  if (ImportAndCheck(text, *catalogue)) Rebuild(*catalogue);
  return 0;
}

// Two leaks inside libSBML 5.19, which the program cannot free: its MathML
// reader loses the nodes of a <math> element that it abandons in a malformed
// file (fuzz/corpus/sbml_import/math_inside_math.xml), and a reader that
// throws loses the document it was building (a namespace that names a
// package at a level the library does not know). LeakSanitizer overlooks
// what those two functions allocate, and nothing else.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:readMathML\nleak:SBMLReader::readInternal\n";
}
