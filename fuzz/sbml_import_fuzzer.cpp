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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vireon;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  KineticCatalogue catalogue;
  BuildBuiltInKineticTypes(catalogue);
  const int types = catalogue.size();
  Model model;
  model.title = "unchanged";
  const SbmlImportResult result = ImportSbmlText(text, catalogue, model);
  if (!result.imported) {
    Check(!result.problems.empty());
    Check(model.title == "unchanged" && catalogue.size() == types);
    return 0;
  }
  for (int k = 0; k < model.nSteps(); ++k) Check(CanEvaluateRate(model, k));
  Check(ExportSbml(model).exported);
  return 0;
}
