// libFuzzer target for the model file reader. Every input is a whole model
// file. Reading must end in success or a reported failure; a failure leaves
// the catalogue as it was, and a success gives a model whose lists index
// only existing metabolites, whose text reads back, and whose text after one
// such round is a fixed point of writing and reading (the first writing may
// round stoichiometric coefficients that are not whole numbers).
//
// Built with -DVIREON_BUILD_FUZZ=ON (clang, libFuzzer, ASan and UBSan); its
// seed corpus is fuzz/corpus/model_file/, and scripts/fuzz.sh runs it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "document/model_file.h"
#include "kinetics/built_in_rate_laws.h"
#include "model/message_sink.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool WithinModel(const vireon::Model& model, int index) {
  return index >= 0 && index < model.nMetabolites();
}

// Forgets the types an input entered, so that every input starts alike;
// rebuilding the catalogue also forgets the names it remembers as removed,
// which would otherwise pile up over a long campaign.
void Rebuild(vireon::KineticCatalogue& catalogue) {
  if (catalogue.size() == vireon::kBuiltInKineticTypeCount && !catalogue.UserDefinedRemoved()) {
    return;
  }
  catalogue.Clear();
  vireon::BuildBuiltInKineticTypes(catalogue);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vireon;
  static KineticCatalogue* catalogue = [] {
    auto* c = new KineticCatalogue;
    BuildBuiltInKineticTypes(*c);
    return c;
  }();
  const int typesBefore = catalogue->size();
  const DefaultValues defaults;
  RecordingSink sink;
  Document document;
  NewDocument(document, defaults);
  const std::string text(reinterpret_cast<const char*>(data), size);
  const int line = ParseModelBuffer(document, text, *catalogue, defaults, sink);
  if (line != 0) {
    Check(!sink.messages().empty());
    Check(catalogue->size() == typesBefore);
    Rebuild(*catalogue);
    return 0;
  }
  const Model& model = document.model;
  for (const Step& step : model.steps) {
    Check(step.kineticType != nullptr);
    for (int s : step.substrates) Check(WithinModel(model, s));
    for (int p : step.products) Check(WithinModel(model, p));
    for (int m : step.modifiers) Check(m == -1 || WithinModel(model, m));
  }
  for (const Metabolite& m : model.metabolites) {
    Check(m.compartment >= 0 && m.compartment < model.nCompartments());
  }
  RecordingSink quiet;
  const auto reread = [&](const std::string& text) {
    Document again;
    NewDocument(again, defaults);
    Check(ParseModelBuffer(again, text, *catalogue, defaults, quiet) == 0);
    return ModelFileText(again, *catalogue);
  };
  const std::string once = reread(ModelFileText(document, *catalogue));
  Check(reread(once) == once);
  Rebuild(*catalogue);
  return 0;
}
