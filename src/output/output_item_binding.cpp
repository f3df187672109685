#include "output/output_item_binding.h"

#include <cstddef>
#include <utility>

#include "engine/engine_state.h"
#include "engine/task_settings.h"
#include "kinetics/kinetic_type.h"
#include "model/model.h"
#include "model/model_name_index.h"

namespace vireon {

namespace {

// Position of a metabolite or step, or -1 when the orders do not cover it
// (the structural analysis has not run on this model yet).
int PositionOf(const std::vector<int>& positions, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= positions.size()) return -1;
  return positions[static_cast<std::size_t>(index)];
}

// The element (row, column) of an engine matrix that is indexed by
// position, or null when the engine has not allocated it.
double* MatrixElement(Matrix<double>& matrix, int row, int column) {
  if (row < 0 || column < 0 || row >= matrix.rows() || column >= matrix.columns()) {
    return nullptr;
  }
  return &matrix.at(row, column);
}

struct Resolution {
  bool resolved = false;
  double* value = nullptr;
};

Resolution Resolved(double* value) {
  return {true, value};
}

// The fixed engine and setting values, by type; null for other types.
double* FixedQuantity(int type, EngineState& engine, TaskSettings& settings) {
  switch (type) {
    case kTime:
      return &engine.time;
    case kStepCount:
      return &engine.stepCount;
    case kFEvaluations:
      return &engine.fEvaluations;
    case kJEvaluations:
      return &engine.jEvaluations;
    case kStepSize:
      return &engine.stepSize;
    case kRelativeTolerance:
      return &settings.solver.relativeTolerance;
    case kAbsoluteTolerance:
      return &settings.solver.absoluteTolerance;
    case kSteadyStateResolution:
      return &settings.solver.steadyStateResolution;
    case kDerivationFactor:
      return &settings.solver.derivationFactor;
    case kRealTime:
      return &engine.elapsedTime;
    case kEndTime:
      return &settings.endTime;
    case kMaxRealPart:
      return &engine.maxRealPart;
    case kMaxImagPart:
      return &engine.maxImagPart;
    case kPositiveRealCount:
      return &engine.nPositiveReal;
    case kNegativeRealCount:
      return &engine.nNegativeReal;
    case kRealCount:
      return &engine.nReal;
    case kImaginaryCount:
      return &engine.nImaginary;
    case kComplexCount:
      return &engine.nComplex;
    case kZeroCount:
      return &engine.nZero;
    default:
      return nullptr;
  }
}

int FindMetabolite(const BindingContext& context, std::string_view name) {
  return context.names != nullptr ? context.names->Metabolite(name)
                                  : context.model.FindMetabolite(name);
}

int FindStep(const BindingContext& context, std::string_view name) {
  return context.names != nullptr ? context.names->Step(name) : context.model.FindStep(name);
}

int FindCompartment(const BindingContext& context, std::string_view name) {
  return context.names != nullptr ? context.names->Compartment(name)
                                  : context.model.FindCompartment(name);
}

int FindGlobalQuantity(const BindingContext& context, std::string_view name) {
  return context.names != nullptr ? context.names->GlobalQuantity(name)
                                  : context.model.FindGlobalQuantity(name);
}

// Element `index` of an engine vector indexed like the model's records, or
// null when the engine has not allocated it.
double* ElementOf(std::vector<double>& values, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= values.size()) return nullptr;
  return &values[static_cast<std::size_t>(index)];
}

Resolution Resolve(const OutputItem& item, const BindingContext& context) {
  Model& model = context.model;
  EngineState& engine = context.engine;
  switch (item.type) {
    case kInitialConcentration:
    case kSteadyStateConcentration:
    case kTransientConcentration:
    case kTransitionTime: {
      int m = FindMetabolite(context, item.i);
      if (m < 0) return {};
      Metabolite& metabolite = model.metabolites[static_cast<std::size_t>(m)];
      if (item.type == kInitialConcentration) return Resolved(&metabolite.initialConcentration);
      if (item.type == kTransitionTime) return Resolved(&metabolite.transitionTime);
      return Resolved(&metabolite.concentration);
    }
    case kSteadyStateFlux:
    case kTransientFlux: {
      int s = FindStep(context, item.i);
      if (s < 0) return {};
      return Resolved(&model.steps[static_cast<std::size_t>(s)].flux);
    }
    case kKineticConstant: {
      int s = FindStep(context, item.i);
      if (s < 0) return {};
      Step& step = model.steps[static_cast<std::size_t>(s)];
      if (step.kineticType == nullptr) return {};
      int k = step.kineticType->FindConstant(item.j);
      if (k < 0 || k >= step.ConstantCount()) return {};
      return Resolved(&step.constants[static_cast<std::size_t>(k)]);
    }
    case kElasticity: {
      int s = FindStep(context, item.i);
      int m = FindMetabolite(context, item.j);
      if (s < 0 || m < 0) return {};
      return Resolved(MatrixElement(engine.elasticities, PositionOf(model.stepPosition, s),
                                    PositionOf(model.metabolitePosition, m)));
    }
    case kConcentrationControl: {
      int m = FindMetabolite(context, item.i);
      int s = FindStep(context, item.j);
      if (m < 0 || s < 0) return {};
      if (model.metabolites[static_cast<std::size_t>(m)].type == FIXED) return {};
      return Resolved(MatrixElement(engine.concControl, PositionOf(model.metabolitePosition, m),
                                    PositionOf(model.stepPosition, s)));
    }
    case kFluxControl: {
      int s1 = FindStep(context, item.i);
      int s2 = FindStep(context, item.j);
      if (s1 < 0 || s2 < 0) return {};
      return Resolved(MatrixElement(engine.fluxControl, PositionOf(model.stepPosition, s1),
                                    PositionOf(model.stepPosition, s2)));
    }
    case kVolume: {
      int c = FindCompartment(context, item.i);
      if (c < 0) return {};
      return Resolved(&model.compartments[static_cast<std::size_t>(c)].volume);
    }
    case kCurrentVolume: {
      int c = FindCompartment(context, item.i);
      if (c < 0) return {};
      return Resolved(ElementOf(engine.volumeValues, c));
    }
    case kGlobalQuantity:
    case kCurrentGlobalQuantity: {
      int g = FindGlobalQuantity(context, item.i);
      if (g < 0) return {};
      if (item.type == kCurrentGlobalQuantity) return Resolved(ElementOf(engine.quantityValues, g));
      return Resolved(&model.globalQuantities[static_cast<std::size_t>(g)].value);
    }
    case kMoietyTotal: {
      int k = model.FindMoiety(item.i);
      if (k < 0) return {};
      return Resolved(&model.moieties[static_cast<std::size_t>(k)].initialConcentration);
    }
    case kUserFunction: {
      if (!context.userFunction) return {};
      double* value = context.userFunction(item.title);
      if (value == nullptr) return {};
      return Resolved(value);
    }
    default: {
      double* value = FixedQuantity(item.type, engine, context.settings);
      if (value == nullptr) return {};
      return Resolved(value);
    }
  }
}

}  // namespace

bool BindOutputItem(OutputItem& item, const BindingContext& context, bool bind) {
  Resolution resolution = Resolve(item, context);
  item.value = (bind && resolution.resolved) ? resolution.value : nullptr;
  return resolution.resolved;
}

int RebindSelection(std::vector<OutputItem>& selection, const BindingContext& context, bool bind) {
  std::size_t kept = 0;
  for (std::size_t k = 0; k < selection.size(); ++k) {
    if (!BindOutputItem(selection[k], context, bind)) continue;
    if (kept != k) selection[kept] = std::move(selection[k]);
    ++kept;
  }
  int deleted = static_cast<int>(selection.size() - kept);
  selection.resize(kept);
  return deleted;
}

}  // namespace vireon
