#pragma once
// The text forms of numeric settings, independent of the process locale (a
// GUI may switch the decimal point to a comma; the settings file must not
// follow it): reals as "%lg" writes them, integers as "%d". They read back
// with ParseReal and ParseInteger (model/number_text.h).

#include <string>

namespace vireon {

// "%.*lg" in the "C" locale: six significant digits unless asked otherwise.
std::string RealSettingText(double value, int significantDigits = 6);
// "%d".
std::string IntegerSettingText(int value);

}  // namespace vireon
