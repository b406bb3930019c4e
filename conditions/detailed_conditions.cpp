#include "conditions/detailed_conditions.h"

#include <algorithm>
#include <cmath>

#include "formula/number_text.h"

namespace calvane {
namespace {

constexpr std::size_t kIntervalBytes = 4;
constexpr double kMinInterval = 1.0;
constexpr double kMaxInterval = 100.0;

double IntervalValue(std::string_view field_text) {
  const std::string read(field_text.substr(0, std::min(field_text.size(), kIntervalBytes)));
  std::size_t position = 0;
  ParseStatus status = ParseStatus::ParseInvalid;
  const double value = ParseNumber(read.c_str(), position, status);
  if (std::isnan(value) || value < kMinInterval) return kMinInterval;
  if (value > kMaxInterval) return kMaxInterval;
  return value;
}

}  // namespace

std::string NormalisedIntervalText(std::string_view field_text) {
  return FormatNumber(IntervalValue(field_text));
}

std::uint8_t IntervalFromText(std::string_view field_text) {
  // 1 <= value <= 100: the truncation is in range.
  return static_cast<std::uint8_t>(std::trunc(IntervalValue(field_text)));
}

}  // namespace calvane
