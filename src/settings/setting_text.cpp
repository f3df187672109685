#include "settings/setting_text.h"

#include <charconv>
#include <cmath>

namespace vireon {
namespace {

std::string_view TrimBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n\f\v");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t\r\n\f\v");
  return text.substr(first, last - first + 1);
}

// from_chars takes a "-" but not a "+"; a "+" before a digit or point is
// allowed as sscanf allows it.
std::string_view SkipPlus(std::string_view text) {
  if (text.size() >= 2 && text[0] == '+' && text[1] != '-' && text[1] != '+') text.remove_prefix(1);
  return text;
}

}  // namespace

std::string RealSettingText(double value, int significantDigits) {
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value,
                                          std::chars_format::general, significantDigits);
  if (error != std::errc()) return {};
  return std::string(buffer, end);
}

std::string IntegerSettingText(int value) {
  char buffer[16];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (error != std::errc()) return {};
  return std::string(buffer, end);
}

std::optional<double> ParseRealSetting(std::string_view text) {
  text = SkipPlus(TrimBlanks(text));
  if (text.empty()) return std::nullopt;
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<int> ParseIntegerSetting(std::string_view text) {
  text = SkipPlus(TrimBlanks(text));
  if (text.empty()) return std::nullopt;
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace vireon
