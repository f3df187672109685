#include "model/number_text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace vireon {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The text from its first non-blank character, with one "+" taken off:
// from_chars takes a "-" but not a "+". Nullopt for a second sign after it.
std::optional<std::string_view> NumberStart(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) return std::nullopt;
  }
  return text;
}

// Whether only blanks follow `end` in kWhole.
bool EndsWell(std::string_view text, const char* end, NumberExtent extent) {
  if (extent == NumberExtent::kPrefix) return true;
  for (const char* at = end; at != text.data() + text.size(); ++at) {
    if (!IsBlank(*at)) return false;
  }
  return true;
}

// Whether a number from_chars found beyond the doubles is large (an
// overflow, which kAny keeps as infinity) rather than tiny (an underflow):
// the power of ten of its first significant digit, from the digits before
// and after the point and the exponent, is positive.
bool IsOverflow(std::string_view number) {
  constexpr long long kExponentCap = 1'000'000;  // far beyond any double's exponent
  std::size_t i = number.starts_with('-') ? 1 : 0;
  long long power = 0;
  bool significant = false;
  for (; i < number.size() && number[i] >= '0' && number[i] <= '9'; ++i) {
    if (significant) ++power;
    significant = significant || number[i] != '0';
  }
  if (i < number.size() && number[i] == '.') {
    for (++i; i < number.size() && number[i] >= '0' && number[i] <= '9'; ++i) {
      if (!significant) --power;
      significant = significant || number[i] != '0';
    }
  }
  long long exponent = 0;
  bool negativeExponent = false;
  if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
    ++i;
    if (i < number.size() && (number[i] == '+' || number[i] == '-')) {
      negativeExponent = number[i++] == '-';
    }
    for (; i < number.size() && number[i] >= '0' && number[i] <= '9'; ++i) {
      if (exponent < kExponentCap) exponent = exponent * 10 + (number[i] - '0');
    }
  }
  return power + (negativeExponent ? -exponent : exponent) > 0;
}

}  // namespace

std::optional<double> ParseReal(std::string_view text, NumberExtent extent, NumberRange range) {
  const std::optional<std::string_view> start = NumberStart(text);
  if (!start || start->empty()) return std::nullopt;
  const char* first = start->data();
  const char* last = first + start->size();
  double value = 0.0;
  const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    // Overflow is infinity, which only kAny takes; underflow is refused.
    if (range != NumberRange::kAny || !EndsWell(*start, end, extent)) return std::nullopt;
    const std::string_view number(first, static_cast<std::size_t>(end - first));
    if (!IsOverflow(number)) return std::nullopt;
    return number.starts_with('-') ? -std::numeric_limits<double>::infinity()
                                   : std::numeric_limits<double>::infinity();
  }
  if (error != std::errc() || !EndsWell(*start, end, extent)) return std::nullopt;
  if (range == NumberRange::kFinite && !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string RealRefusal(std::string_view text, NumberExtent extent, NumberRange range) {
  if (ParseReal(text, extent, range)) return {};
  const std::optional<std::string_view> start = NumberStart(text);
  if (start && start->empty()) return "is empty";
  if (!start) return "is not a number";
  const char* first = start->data();
  double value = 0.0;
  const auto [end, error] =
      std::from_chars(first, first + start->size(), value, std::chars_format::general);
  if (error == std::errc::result_out_of_range && EndsWell(*start, end, extent)) {
    const std::string_view number(first, static_cast<std::size_t>(end - first));
    return IsOverflow(number) ? "is beyond the largest number (about 1.8e308)"
                              : "is too close to zero (below about 2.2e-308)";
  }
  if (error == std::errc() && EndsWell(*start, end, extent) && !std::isfinite(value)) {
    return "is not a finite number";
  }
  return "is not a number";
}

std::string RealRefusalMessage(std::string_view field, std::string_view text,
                               NumberExtent extent, NumberRange range) {
  const std::string reason = RealRefusal(text, extent, range);
  if (reason.empty()) return {};
  std::string message(field);
  message += ": \"";
  message += text;
  message += "\" ";
  message += reason;
  message += ".";
  return message;
}

std::optional<int> ParseInteger(std::string_view text, NumberExtent extent) {
  const std::optional<std::string_view> start = NumberStart(text);
  if (!start || start->empty()) return std::nullopt;
  int value = 0;
  const auto [end, error] = std::from_chars(start->data(), start->data() + start->size(), value);
  if (error != std::errc() || !EndsWell(*start, end, extent)) return std::nullopt;
  return value;
}

std::string RealText(double value, int significantDigits) {
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value,
                                          std::chars_format::general, significantDigits);
  if (error != std::errc()) return {};
  return std::string(buffer, end);
}

}  // namespace vireon
