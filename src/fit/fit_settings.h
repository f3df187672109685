#pragma once
// A fit as a model file keeps it: the experiments' files, the parameters
// with their bounds, the method and its settings. `vireon fit MODEL` alone
// runs it.

#include <cstdint>
#include <string>
#include <vector>

#include "fit/fit_problem.h"
#include "fit/parameter_estimation.h"

namespace vireon {

struct FitSettings {
  // The experiments' files; a relative path is taken from the model file's
  // folder.
  std::vector<std::string> dataFiles;
  std::vector<FitParameter> parameters;
  FitMethod method = FitMethod::kLocal;
  int starts = kDefaultFitStarts;
  std::uint32_t seed = 1;
  bool scaleColumns = false;

  // A document without a fit keeps its file exactly as before.
  bool empty() const { return dataFiles.empty() && parameters.empty(); }
  bool operator==(const FitSettings&) const = default;
};

// The method's word ("local", "global", "direct").
const char* FitMethodText(FitMethod method);

}  // namespace vireon
