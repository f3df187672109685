#pragma once
// Taking the entries of a settings dialog: each entry text is read as a
// real, an integer or a unit, checked against its range, and at the first
// bad entry the check records which field it was and what to tell the user;
// later entries are then skipped. `Check` is a record with a `field` (an
// enum naming the dialog's entries) and a `message`, as DefaultValuesCheck.

#include <string>

#include "model/number_text.h"
#include "model/solver_options.h"
#include "settings/setting_text.h"
#include "settings/settings.h"

namespace vireon {

// Significant digits a dialog shows of a real and of a range's ends.
inline constexpr int kFormShownDigits = 15;
// The forms show the derivation factor in percent: the factor times this.
inline constexpr double kPercent = 100.0;

template <class Check>
class FormReader {
 public:
  using Field = decltype(Check::field);

  explicit FormReader(Check& check) : check_(check) {}

  bool Real(const std::string& text, Field field, double& out) {
    if (!check_.ok()) return false;
    const std::optional<double> value = ParseReal(text);
    if (!value) return Fail(field, "Please enter a number.");
    out = *value;
    return true;
  }

  bool RealInRange(const std::string& text, Field field, double low, double high, double& out) {
    double value = 0.0;
    if (!Real(text, field, value)) return false;
    if (value < low || value > high) return RealOutOfRange(field, low, high);
    out = value;
    return true;
  }

  bool Integer(const std::string& text, Field field, int& out) {
    if (!check_.ok()) return false;
    const std::optional<int> value = ParseInteger(text);
    if (!value) return Fail(field, "Please enter an integer.");
    out = *value;
    return true;
  }

  bool IntegerInRange(const std::string& text, Field field, int low, int high, int& out) {
    int value = 0;
    if (!Integer(text, field, value)) return false;
    if (value < low || value > high) return IntegerOutOfRange(field, low, high);
    out = value;
    return true;
  }

  // A solver option's entry, checked by the options' own rule
  // (CheckSolverOption), of the value shown divided by `shownScale` (the
  // derivation factor is shown in percent). A refused value is told its
  // range as shown: "Please enter a number between 0.001 and 25."
  bool RealOption(const std::string& text, Field field, SolverOption option, double& out,
                  double shownScale = 1.0) {
    double shown = 0.0;
    if (!Real(text, field, shown)) return false;
    const double value = shown / shownScale;
    if (!CheckSolverOption(option, value).ok()) {
      const SolverOptionRange range = SolverOptionLimits(option);
      return RealOutOfRange(field, range.low * shownScale, range.high * shownScale);
    }
    out = value;
    return true;
  }

  bool IntegerOption(const std::string& text, Field field, SolverOption option, int& out) {
    int value = 0;
    if (!Integer(text, field, value)) return false;
    if (!CheckSolverOption(option, value).ok()) {
      const SolverOptionRange range = SolverOptionLimits(option);
      return IntegerOutOfRange(field, static_cast<int>(range.low), static_cast<int>(range.high));
    }
    out = value;
    return true;
  }

  // A unit lives in a 16-byte field and on one line of the files.
  bool Unit(const std::string& text, Field field, std::string& out) {
    if (!check_.ok()) return false;
    if (text.size() > static_cast<std::size_t>(kUnitMaxLength)) {
      return Fail(field, "Please enter no more than " + IntegerSettingText(kUnitMaxLength) +
                             " characters.");
    }
    if (text.find_first_of(std::string("\n\r\0", 3)) != std::string::npos) {
      return Fail(field, "Please enter a unit on one line.");
    }
    out = text;
    return true;
  }

 private:
  bool RealOutOfRange(Field field, double low, double high) {
    return Fail(field, "Please enter a number between " + RealSettingText(low, kFormShownDigits) +
                           " and " + RealSettingText(high, kFormShownDigits) + ".");
  }
  bool IntegerOutOfRange(Field field, int low, int high) {
    return Fail(field, "Please enter an integer between " + IntegerSettingText(low) + " and " +
                           IntegerSettingText(high) + ".");
  }
  bool Fail(Field field, std::string message) {
    check_.field = field;
    check_.message = std::move(message);
    return false;
  }

  Check& check_;
};

}  // namespace vireon
