#include "settings/default_values_form.h"

#include <limits>
#include <optional>

#include "settings/setting_text.h"

namespace vireon {
namespace {

// Significant digits the dialog shows of a real.
constexpr int kShownDigits = 15;

constexpr const char* kEnterNumber = "Please enter a number.";
constexpr const char* kEnterInteger = "Please enter an integer.";

class FormReader {
 public:
  explicit FormReader(DefaultValuesCheck& check) : check_(check) {}

  bool Real(const std::string& text, DefaultValuesField field, double& out) {
    if (!check_.ok()) return false;
    const std::optional<double> value = ParseRealSetting(text);
    if (!value) return Fail(field, kEnterNumber);
    out = *value;
    return true;
  }

  bool RealInRange(const std::string& text, DefaultValuesField field, double low, double high,
                   double& out) {
    if (!Real(text, field, out)) return false;
    if (out < low || out > high) {
      return Fail(field, "Please enter a number between " + RealSettingText(low, kShownDigits) +
                             " and " + RealSettingText(high, kShownDigits) + ".");
    }
    return true;
  }

  bool Integer(const std::string& text, DefaultValuesField field, int& out) {
    if (!check_.ok()) return false;
    const std::optional<int> value = ParseIntegerSetting(text);
    if (!value) return Fail(field, kEnterInteger);
    out = *value;
    return true;
  }

  bool IntegerInRange(const std::string& text, DefaultValuesField field, int low, int high,
                      int& out) {
    if (!Integer(text, field, out)) return false;
    if (out < low || out > high) {
      return Fail(field, "Please enter an integer between " + IntegerSettingText(low) + " and " +
                             IntegerSettingText(high) + ".");
    }
    return true;
  }

  bool Unit(const std::string& text, DefaultValuesField field, std::string& out) {
    if (!check_.ok()) return false;
    if (text.size() > static_cast<std::size_t>(kUnitMaxLength) ||
        text.find('\0') != std::string::npos) {
      return Fail(field, "Please enter no more than " + IntegerSettingText(kUnitMaxLength) +
                             " characters.");
    }
    out = text;
    return true;
  }

 private:
  bool Fail(DefaultValuesField field, std::string message) {
    check_.field = field;
    check_.message = std::move(message);
    return false;
  }

  DefaultValuesCheck& check_;
};

}  // namespace

DefaultValuesForm MakeDefaultValuesForm(const DefaultValues& values) {
  DefaultValuesForm form;
  form.concentration = RealSettingText(values.concentration, kShownDigits);
  form.kineticConstant = RealSettingText(values.kineticConstant, kShownDigits);
  form.endTime = RealSettingText(values.endTime, kShownDigits);
  form.newtonLimit = IntegerSettingText(values.newtonLimit);
  form.steadyStateResolution = RealSettingText(values.steadyStateResolution, kShownDigits);
  form.derivationFactorPercent = RealSettingText(values.derivationFactor * 100.0, kShownDigits);
  form.relativeTolerance = RealSettingText(values.relativeTolerance, kShownDigits);
  form.absoluteTolerance = RealSettingText(values.absoluteTolerance, kShownDigits);
  form.adamsMaxOrder = IntegerSettingText(values.adamsMaxOrder);
  form.bdfMaxOrder = IntegerSettingText(values.bdfMaxOrder);
  form.timeUnit = values.timeUnit;
  form.concentrationUnit = values.concentrationUnit;
  form.volumeUnit = values.volumeUnit;
  form.points = IntegerSettingText(values.points);
  return form;
}

DefaultValuesCheck TakeDefaultValuesForm(const DefaultValuesForm& form, DefaultValues& values) {
  constexpr double kLargest = std::numeric_limits<double>::max();
  using F = DefaultValuesField;
  DefaultValuesCheck check;
  FormReader reader(check);
  DefaultValues taken = values;
  double percent = 0.0;
  reader.RealInRange(form.concentration, F::kConcentration, 0.0, kLargest, taken.concentration);
  reader.RealInRange(form.kineticConstant, F::kKineticConstant, 0.0, kLargest,
                     taken.kineticConstant);
  reader.Real(form.endTime, F::kEndTime, taken.endTime);
  reader.Integer(form.newtonLimit, F::kNewtonLimit, taken.newtonLimit);
  reader.RealInRange(form.steadyStateResolution, F::kSteadyStateResolution, 0.0, kLargest,
                     taken.steadyStateResolution);
  reader.RealInRange(form.derivationFactorPercent, F::kDerivationFactor, kDerivationPercentMin,
                     kDerivationPercentMax, percent);
  reader.RealInRange(form.relativeTolerance, F::kRelativeTolerance, 0.0, kLargest,
                     taken.relativeTolerance);
  reader.RealInRange(form.absoluteTolerance, F::kAbsoluteTolerance, 0.0, kLargest,
                     taken.absoluteTolerance);
  reader.IntegerInRange(form.adamsMaxOrder, F::kAdamsMaxOrder, 1, kAdamsMaxOrderLimit,
                        taken.adamsMaxOrder);
  reader.IntegerInRange(form.bdfMaxOrder, F::kBdfMaxOrder, 1, kBdfMaxOrderLimit, taken.bdfMaxOrder);
  reader.Unit(form.timeUnit, F::kTimeUnit, taken.timeUnit);
  reader.Unit(form.concentrationUnit, F::kConcentrationUnit, taken.concentrationUnit);
  reader.Unit(form.volumeUnit, F::kVolumeUnit, taken.volumeUnit);
  reader.Integer(form.points, F::kPoints, taken.points);
  if (!check.ok()) return check;
  taken.derivationFactor = percent / 100.0;
  values = taken;
  return check;
}

}  // namespace vireon
