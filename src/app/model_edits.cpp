#include "app/model_edits.h"

#include "kinetics/kinetic_binding.h"

namespace vireon {

ModelHook AnalyseHook(Document& document) {
  return [&document](Model&) { AnalyseChangedModel(document); };
}

StepHook DefaultKineticsHook(const KineticCatalogue& catalogue, double defaultConstant) {
  return [&catalogue, defaultConstant](Step& step) {
    ApplyConstantFlux(step, catalogue, defaultConstant);
  };
}

}  // namespace vireon
