// libFuzzer target for the model file reader. Every input is a whole model
// file. Reading must end in success or a reported failure; a failure leaves
// the catalogue as it was, and a success gives a model whose lists index
// only existing metabolites, whose text reads back, and whose text after one
// such round is a fixed point of writing and reading (the first writing may
// round stoichiometric coefficients that are not whole numbers).
//
// Build and run from the top of the source tree (after mkdir build-fuzz):
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Isrc \
//     fuzz/model_file_fuzzer.cpp $(ls
//     src/{model,kinetics,engine,output,scan,settings,document}/*.cpp) \ -llapack -linih -o
//     build-fuzz/model_file_fuzzer
//   build-fuzz/model_file_fuzzer -max_total_time=60 -max_len=20000 tests/document/data
// (the seed folder holds a valid file to start from).

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
  // Forget the types this input entered, so that every input starts alike.
  while (catalogue->size() > typesBefore) {
    catalogue->Remove(catalogue->at(catalogue->size() - 1)->name);
  }
  return 0;
}
