#include "support/default_values.h"

namespace vireon::test {

DefaultValues EditedDefaults() {
  DefaultValues values;
  values.concentration = 0.25;
  values.kineticConstant = 2.5;
  values.endTime = 100.0;
  values.newtonLimit = 30;
  values.steadyStateResolution = 1e-8;
  values.derivationFactor = 0.01;
  values.relativeTolerance = 1e-5;
  values.absoluteTolerance = 1e-10;
  values.adamsMaxOrder = 10;
  values.bdfMaxOrder = 4;
  values.timeUnit = "min";
  values.concentrationUnit = "uM";
  values.volumeUnit = "l";
  values.points = 200;
  values.dynamics = 0;
  values.steadyState = 0;
  values.report = 1;
  values.titles = 1;
  values.quotes = 1;
  values.columnWidth = 20;
  values.separator = 9;
  values.reportStructuralAnalysis = 1;
  values.reportStabilityAnalysis = 1;
  values.reportMca = 0;
  values.reportComments = 0;
  values.mcaUnscaled = 1;
  return values;
}

}  // namespace vireon::test
