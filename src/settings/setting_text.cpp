#include "settings/setting_text.h"

#include <charconv>

#include "model/number_text.h"

namespace vireon {

std::string RealSettingText(double value, int significantDigits) {
  return RealText(value, significantDigits);
}

std::string IntegerSettingText(int value) {
  char buffer[16];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (error != std::errc()) return {};
  return std::string(buffer, end);
}

}  // namespace vireon
