#include "model/model.h"

#include <algorithm>

namespace vireon {

void Step::SizeSubstrates(int count) {
  nSubstrates = std::max(count, 0);
  substrates.clear();
  substrates.reserve(nSubstrates);
}

void Step::SizeProducts(int count) {
  nProducts = std::max(count, 0);
  products.clear();
  products.reserve(nProducts);
}

bool Step::AppendSubstrate(int metabolite) {
  if (static_cast<int>(substrates.size()) >= nSubstrates) return false;
  substrates.push_back(metabolite);
  return true;
}

bool Step::AppendProduct(int metabolite) {
  if (static_cast<int>(products.size()) >= nProducts) return false;
  products.push_back(metabolite);
  return true;
}

void Step::ResizeModifiers(int count) { modifiers.assign(std::max(count, 0), -1); }

void Step::ResizeConstants(int count) { constants.assign(std::max(count, 0), 0.0); }

Model::Model() { Allocate(0, 0, 0, 0, 1); }

void Model::Allocate(int nSteps, int nMetabolites, int nVariable, int nMoieties,
                     int nCompartments) {
  nSteps = std::max(nSteps, 0);
  nMetabolites = std::max(nMetabolites, 0);
  nMoieties = std::max(nMoieties, 0);
  steps.assign(nSteps, Step());
  metabolites.assign(nMetabolites, Metabolite());
  moieties.assign(nMoieties, Metabolite());
  compartments.assign(std::max(nCompartments, 1), Compartment());
  this->nVariable = nVariable;
  nIndependent = 0;
  nDependent = 0;
  nFixed = 0;
  stoichiometry.Assign(nMetabolites, nSteps);
  reducedStoichiometry.Assign(nMetabolites, nSteps);
  conservation.Assign(nMetabolites, nMetabolites);
  link.Assign(nMetabolites, nMetabolites);
  metaboliteOrder.assign(nMetabolites, 0);
  metabolitePosition.assign(nMetabolites, 0);
  stepOrder.assign(nSteps, 0);
  stepPosition.assign(nSteps, 0);
}

void Model::FreeAll() {
  steps.clear();
  metabolites.clear();
  moieties.clear();
  compartments.clear();
  stoichiometry.Clear();
  reducedStoichiometry.Clear();
  conservation.Clear();
  link.Clear();
  metaboliteOrder.clear();
  metabolitePosition.clear();
  stepOrder.clear();
  stepPosition.clear();
  nVariable = nIndependent = nDependent = nFixed = 0;
}

void Model::Reset(int nSteps, int nMetabolites, int nVariable, int nMoieties, int nCompartments,
                  std::string title) {
  FreeAll();
  Allocate(nSteps, nMetabolites, nVariable, nMoieties, nCompartments);
  this->title = std::move(title);
  comments.clear();
  totalTransitionTime = 0.0;
  globalQuantities.clear();
  rules.clear();
  events.clear();
}

void Model::New() { Reset(0, 0, 0, 0, 1, "Untitled"); }

void Model::Resize(int nSteps, int nMetabolites, int nVariable, int nMoieties) {
  std::vector<Compartment> kept = std::move(compartments);
  FreeAll();
  Allocate(nSteps, nMetabolites, nVariable, nMoieties, 1);
  compartments = std::move(kept);
  if (compartments.empty()) compartments.emplace_back();
}

void Model::ResizeForAnalysis(int nSteps, int nMetabolites) {
  std::vector<Compartment> kept = std::move(compartments);
  FreeAll();
  Allocate(nSteps, 0, 0, 0, 1);
  nMetabolites = std::max(nMetabolites, 0);
  metabolites.assign(nMetabolites, Metabolite());
  nVariable = nMetabolites;
  stoichiometry.Assign(nMetabolites, nSteps);
  reducedStoichiometry.Assign(nMetabolites, nSteps);
  metaboliteOrder.assign(nMetabolites, 0);
  metabolitePosition.assign(nMetabolites, 0);
  compartments = std::move(kept);
  if (compartments.empty()) compartments.emplace_back();
}

int Model::SetCompartmentCount(int n) {
  if (n < 1) return 1;
  compartments.assign(n, Compartment());
  return 0;
}

void Model::ClampCompartments() {
  for (Metabolite& m : metabolites) {
    if (m.compartment < 0 || m.compartment >= nCompartments()) m.compartment = 0;
  }
}

void Model::ZeroStoichiometry() {
  stoichiometry.Fill(0.0f);
  reducedStoichiometry.Fill(0.0f);
}

void Model::AddStoichiometry(int step, int metabolite, int side, int coefficient) {
  stoichiometry[metabolite][step] += static_cast<float>(side * coefficient);
  Step& s = steps[step];
  for (int i = 0; i < coefficient; ++i) {
    if (side >= 0) {
      s.AppendProduct(metabolite);
    } else {
      s.AppendSubstrate(metabolite);
    }
  }
}

namespace {

template <typename Record>
int FindByName(const std::vector<Record>& records, std::string_view name) {
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (records[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

int Model::FindMetabolite(std::string_view name) const { return FindByName(metabolites, name); }
int Model::FindStep(std::string_view name) const { return FindByName(steps, name); }
int Model::FindMoiety(std::string_view name) const { return FindByName(moieties, name); }
int Model::FindCompartment(std::string_view name) const { return FindByName(compartments, name); }
int Model::FindGlobalQuantity(std::string_view name) const {
  return FindByName(globalQuantities, name);
}

bool IsValidMetaboliteName(std::string_view name) {
  if (name.empty()) return false;
  if (name.find_first_of(" \t*.=") != std::string_view::npos) return false;
  return name.find("->") == std::string_view::npos;
}

bool IsValidStepName(std::string_view name) {
  if (name.empty()) return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= ' ' || byte == 0x7f;
  });
}

}  // namespace vireon
