#pragma once
// The text forms of numeric settings, independent of the process locale (a
// GUI may switch the decimal point to a comma; the settings file must not
// follow it): reals as "%lg" writes them, integers as "%d".

#include <optional>
#include <string>
#include <string_view>

namespace vireon {

// "%.*lg" in the "C" locale: six significant digits unless asked otherwise.
std::string RealSettingText(double value, int significantDigits = 6);
// "%d".
std::string IntegerSettingText(int value);

// The whole text (blanks around it allowed, an optional sign) as a finite
// real in decimal or exponent form; nullopt for anything else, infinity and
// NaN included.
std::optional<double> ParseRealSetting(std::string_view text);
// The whole text as a decimal integer within the range of int.
std::optional<int> ParseIntegerSetting(std::string_view text);

}  // namespace vireon
