#include "output/output_data_editor.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <utility>

#include "kinetics/kinetic_type.h"
#include "model/model.h"

namespace vireon {

namespace {

OutputDataNode Leaf(std::string text, std::vector<OutputItem> entries) {
  return {std::move(text), {}, std::move(entries)};
}

OutputDataNode Branch(std::string text, std::vector<OutputDataNode> children) {
  return {std::move(text), std::move(children), {}};
}

std::vector<OutputItem> Fixed(std::initializer_list<int> types) {
  std::vector<OutputItem> entries;
  for (int type : types) entries.push_back(MakeOutputItem(type));
  return entries;
}

std::vector<OutputItem> PerMetabolite(const Model& model, int type) {
  std::vector<OutputItem> entries;
  for (const Metabolite& metabolite : model.metabolites) {
    entries.push_back(MakeOutputItem(type, metabolite.name));
  }
  return entries;
}

}  // namespace

std::vector<OutputDataNode> BuildOutputDataTree(OutputDataMode mode, const Model& model,
                                                std::span<const std::string> functionNames) {
  const bool steadyState = mode == OutputDataMode::kSteadyState;
  std::vector<OutputDataNode> tree;

  if (mode != OutputDataMode::kInteractive) {
    tree.push_back(Leaf("time", mode == OutputDataMode::kTimeCourse ? Fixed({kTime, kRealTime})
                                                                    : Fixed({kRealTime})));
  }

  std::vector<OutputDataNode> metabolites;
  metabolites.push_back(
      Leaf("initial concentrations", PerMetabolite(model, kInitialConcentration)));
  if (steadyState) {
    metabolites.push_back(
        Leaf("steady-state concentrations", PerMetabolite(model, kSteadyStateConcentration)));
  } else {
    metabolites.push_back(
        Leaf("transient concentrations", PerMetabolite(model, kTransientConcentration)));
  }
  std::vector<OutputItem> relations;
  for (const Metabolite& moiety : model.moieties) {
    relations.push_back(MakeOutputItem(kMoietyTotal, moiety.name));
  }
  metabolites.push_back(Leaf("conservation relations", std::move(relations)));
  if (steadyState) {
    metabolites.push_back(Leaf("transition times", PerMetabolite(model, kTransitionTime)));
  }
  tree.push_back(Branch("metabolites", std::move(metabolites)));

  std::vector<OutputItem> fluxes;
  std::vector<OutputItem> constants;
  for (const Step& step : model.steps) {
    fluxes.push_back(MakeOutputItem(steadyState ? kSteadyStateFlux : kTransientFlux, step.name));
    if (step.kineticType == nullptr) continue;
    for (const std::string& constant : step.kineticType->constantNames) {
      constants.push_back(MakeOutputItem(kKineticConstant, step.name, constant));
    }
  }
  std::vector<OutputDataNode> steps;
  steps.push_back(Leaf("fluxes", std::move(fluxes)));
  steps.push_back(Leaf("kinetic constants", std::move(constants)));
  tree.push_back(Branch("steps", std::move(steps)));

  std::vector<OutputItem> volumes;
  for (const Compartment& compartment : model.compartments) {
    volumes.push_back(MakeOutputItem(kVolume, compartment.name));
  }
  tree.push_back(Leaf("compartments", std::move(volumes)));

  // Volumes and global quantities change during a time course only in
  // models with rules or global quantities; only these get the branches of
  // current values, so that the tree of any other model stays as it was.
  if (!model.rules.empty() || !model.globalQuantities.empty()) {
    std::vector<OutputItem> currentVolumes;
    for (const Compartment& compartment : model.compartments) {
      currentVolumes.push_back(MakeOutputItem(kCurrentVolume, compartment.name));
    }
    tree.push_back(Leaf(std::string(kCurrentVolumesNode), std::move(currentVolumes)));
  }
  if (!model.globalQuantities.empty()) {
    std::vector<OutputItem> quantities;
    for (const GlobalQuantity& quantity : model.globalQuantities) {
      quantities.push_back(MakeOutputItem(kCurrentGlobalQuantity, quantity.name));
    }
    tree.push_back(Leaf(std::string(kGlobalQuantitiesNode), std::move(quantities)));
  }

  if (steadyState) {
    tree.push_back(Leaf(
        "eigenvalues", Fixed({kMaxRealPart, kMaxImagPart, kRealCount, kImaginaryCount,
                              kComplexCount, kZeroCount, kPositiveRealCount, kNegativeRealCount})));
    std::vector<OutputItem> elasticities;
    std::vector<OutputItem> concentrationControl;
    std::vector<OutputItem> fluxControl;
    for (const Step& step : model.steps) {
      for (const Metabolite& metabolite : model.metabolites) {
        elasticities.push_back(MakeOutputItem(kElasticity, step.name, metabolite.name));
      }
    }
    for (const Metabolite& metabolite : model.metabolites) {
      if (metabolite.type == FIXED) continue;
      for (const Step& step : model.steps) {
        concentrationControl.push_back(
            MakeOutputItem(kConcentrationControl, metabolite.name, step.name));
      }
    }
    for (const Step& flux : model.steps) {
      for (const Step& step : model.steps) {
        fluxControl.push_back(MakeOutputItem(kFluxControl, flux.name, step.name));
      }
    }
    std::vector<OutputDataNode> control;
    control.push_back(Leaf("elasticities", std::move(elasticities)));
    control.push_back(Leaf("concentration-control coeffs.", std::move(concentrationControl)));
    control.push_back(Leaf("flux-control coeffs.", std::move(fluxControl)));
    tree.push_back(Branch("control analysis", std::move(control)));
  }

  std::vector<OutputItem> functions;
  for (const std::string& name : functionNames) {
    functions.push_back(MakeOutputItem(kUserFunction, name));
  }
  tree.push_back(Leaf("user functions", std::move(functions)));

  tree.push_back(Leaf("numerical methods", Fixed({kStepCount, kFEvaluations, kJEvaluations,
                                                  kStepSize, kRelativeTolerance, kAbsoluteTolerance,
                                                  kDerivationFactor, kSteadyStateResolution})));
  return tree;
}

OutputDataEditor::OutputDataEditor(OutputDataMode mode, const Model& model,
                                   std::span<const std::string> functionNames,
                                   const std::vector<OutputItem>& selection)
    : mode_(mode),
      limit_(mode == OutputDataMode::kInteractive ? kInteractiveItemLimit : 0),
      tree_(BuildOutputDataTree(mode, model, functionNames)) {
  std::size_t count = selection.size();
  if (limit_ > 0) count = std::min(count, static_cast<std::size_t>(limit_));
  selected_.assign(selection.begin(), selection.begin() + static_cast<std::ptrdiff_t>(count));
  for (OutputItem& item : selected_) item.value = nullptr;
}

std::string_view OutputDataEditor::Title() const {
  switch (mode_) {
    case OutputDataMode::kSteadyState:
      return "Steady-State Output Data";
    case OutputDataMode::kInteractive:
      return "Time-Course Window Data";
    case OutputDataMode::kTimeCourse:
      break;
  }
  return "Time-Course Output Data";
}

bool OutputDataEditor::Add(const OutputDataNode& node, std::span<const int> chosen,
                           MessageSink& sink) {
  std::vector<const OutputItem*> entries;
  for (int index : chosen) {
    if (index >= 0 && static_cast<std::size_t>(index) < node.entries.size()) {
      entries.push_back(&node.entries[static_cast<std::size_t>(index)]);
    }
  }
  return AddEntries(entries, sink);
}

bool OutputDataEditor::AddAll(const OutputDataNode& node, MessageSink& sink) {
  std::vector<const OutputItem*> entries;
  for (const OutputItem& entry : node.entries) entries.push_back(&entry);
  return AddEntries(entries, sink);
}

bool OutputDataEditor::AddEntries(const std::vector<const OutputItem*>& entries,
                                  MessageSink& sink) {
  if (entries.empty()) return false;
  if (limit_ > 0 && selected_.size() + entries.size() > static_cast<std::size_t>(limit_)) {
    char text[64];
    std::snprintf(text, sizeof text, kSelectionLimitFormat, limit_);
    sink.Information(text);
    return false;
  }
  for (const OutputItem* entry : entries) selected_.push_back(*entry);
  return true;
}

void OutputDataEditor::Delete(std::span<const int> indices) {
  std::vector<bool> doomed(selected_.size(), false);
  for (int index : indices) {
    if (index >= 0 && static_cast<std::size_t>(index) < selected_.size()) {
      doomed[static_cast<std::size_t>(index)] = true;
    }
  }
  std::vector<OutputItem> kept;
  for (std::size_t k = 0; k < selected_.size(); ++k) {
    if (!doomed[k]) kept.push_back(std::move(selected_[k]));
  }
  selected_ = std::move(kept);
}

void OutputDataEditor::Close(std::vector<OutputItem>& selection, bool& modified) const {
  selection = selected_;
  modified = true;
}

}  // namespace vireon
