// libFuzzer target for the kinetics database reader. Every input is a whole
// database file. Reading keeps the types read before any failure and never
// takes a built-in type's name; the database text of what was read reads
// back completely, and writing it again gives the same text (a number in a
// rate law's record has six significant digits, so the first writing may
// round it; from then on the text is a fixed point).
//
// Built with -DVIREON_BUILD_FUZZ=ON (clang, libFuzzer, ASan and UBSan); its
// seed corpus is fuzz/corpus/kinetics_database/, and scripts/fuzz.sh runs it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "kinetics/built_in_rate_laws.h"
#include "kinetics/kinetic_catalogue.h"
#include "kinetics/kinetic_function.h"
#include "kinetics/kinetics_database.h"
#include "model/message_sink.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

vireon::KineticCatalogue* BuiltIn() {
  auto* catalogue = new vireon::KineticCatalogue;
  vireon::BuildBuiltInKineticTypes(*catalogue);
  return catalogue;
}

// Takes out the types an input entered, so that every input starts alike
// (rebuilding the catalogue also forgets the names it remembers as removed).
void Forget(vireon::KineticCatalogue& catalogue, int size) {
  if (catalogue.size() == size && !catalogue.UserDefinedRemoved()) return;
  catalogue.Clear();
  vireon::BuildBuiltInKineticTypes(catalogue);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vireon;
  static KineticCatalogue* catalogue = BuiltIn();
  static KineticCatalogue* again = BuiltIn();
  static const int builtIn = catalogue->size();

  RecordingSink sink;
  const bool whole = ParseKineticsDatabase(
      *catalogue, std::string(reinterpret_cast<const char*>(data), size), sink);
  Check(whole || !sink.messages().empty());
  Check(catalogue->UserDefinedCount() == catalogue->size() - builtIn);
  for (const KineticType* type : catalogue->UserDefinedTypes()) {
    Check(type->function != nullptr);
    Check(type->function->NodeCount() >= 1);
  }

  const std::string written = KineticsDatabaseText(*catalogue);
  RecordingSink quiet;
  Check(ParseKineticsDatabase(*again, written, quiet));
  Check(again->UserDefinedCount() == catalogue->UserDefinedCount());
  const std::string rewritten = KineticsDatabaseText(*again);
  Forget(*again, builtIn);
  Check(ParseKineticsDatabase(*again, rewritten, quiet));
  Check(KineticsDatabaseText(*again) == rewritten);

  Forget(*catalogue, builtIn);
  Forget(*again, builtIn);
  return 0;
}
