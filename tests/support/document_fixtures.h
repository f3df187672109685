#pragma once
// Documents for the model-file tests: a catalogue with the built-in types
// and two user-defined ones, and a document that uses every kind of record
// the model file holds.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "document/document.h"
#include "kinetics/kinetic_catalogue.h"

namespace vireon::test {

inline constexpr const char* kUserMichaelisMenten = "MM by hand";
inline constexpr const char* kUserInhibited = "Inhibited exchange";

// A user-defined type whose rate law `text` is parsed and whose symbols get
// the given roles (0 substrate, 1 product, 2 modifier, 3 constant).
std::unique_ptr<KineticType> MakeUserType(const std::string& name, const std::string& text,
                                          const std::vector<std::pair<std::string, int>>& roles,
                                          int reversible);

// The built-in types, then kUserMichaelisMenten (V*S/(Km+S)) and
// kUserInhibited ((kf*A-kr*P)/(1+I/Ki), reversible, one modifier).
void FillCatalogue(KineticCatalogue& catalogue, bool withUserTypes = true);

// Gives the step the catalogue's type of that name, with `constants` as its
// constants and `modifiers` as its modifiers.
void SetKinetics(Step& step, const KineticCatalogue& catalogue, const std::string& type,
                 std::vector<double> constants, std::vector<int> modifiers = {});

// A document that uses every record kind: five steps with built-in and
// user-defined types (one of them with a modifier), fixed metabolites, a
// conserved moiety, two compartments, comments with line breaks, every
// setting away from its default, 3-D plot settings with entries, all
// output item types over the three selections, two output functions, three
// scan items and two links. Its structural analysis has run.
Document MakeRichDocument(const KineticCatalogue& catalogue);

// A one-step model (A -> B with constant flux) and default settings.
Document MakeSmallDocument(const KineticCatalogue& catalogue);

}  // namespace vireon::test
