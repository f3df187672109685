#include "app/model_edits.h"

#include "kinetics/kinetic_binding.h"
#include "model/structural_analysis.h"
#include "output/output_function.h"
#include "output/output_selections.h"
#include "scan/scan_binding.h"

namespace vireon {

ModelHook AnalyseHook(Document& document) {
  return [&document](Model& model) {
    StructuralAnalysis(model);
    RevalidateSelections(document);
  };
}

StepHook DefaultKineticsHook(const KineticCatalogue& catalogue, double defaultConstant) {
  return [&catalogue, defaultConstant](Step& step) {
    ApplyConstantFlux(step, catalogue, defaultConstant);
  };
}

void RevalidateSelections(Document& document) {
  Document& d = document;
  const BindingContext context{d.model, d.engine, d.settings, OutputFunctionLookup(d.functions)};
  RebindItems(d.selections, context, false);
  RebindOutputFunctions(d.functions, context, false);
  RebindScanItems(d.scan.items, context, false);
  RebindParameterLinks(d.links, context, false);
}

}  // namespace vireon
