#include "data/selection_file.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "base/file_io.h"
#include "formula/number_text.h"

namespace calvane {
namespace {

inline bool EndsValue(char c) {
  return c == '\t' || c == ',' || c == ' ' || c == '\r' || c == '\n';
}

// One value's text read as a decimal number and rounded to the nearest integer, within the
// 32-bit range. Text that is not a number gives 0.
std::int32_t ReadValue(std::string_view token) {
  std::string text(token);  // zero-terminated copy for ParseNumber
  std::size_t position = 0;
  ParseStatus status = ParseStatus::ParseInvalid;
  const double value = ParseNumber(text.c_str(), position, status);
  if (status != ParseStatus::ParseOk && status != ParseStatus::ParseOutOfRange) return 0;
  if (std::isnan(value)) return 0;
  const double rounded = std::round(value);
  constexpr double kLow = static_cast<double>(std::numeric_limits<std::int32_t>::min());
  constexpr double kHigh = static_cast<double>(std::numeric_limits<std::int32_t>::max());
  if (rounded <= kLow) return std::numeric_limits<std::int32_t>::min();
  if (rounded >= kHigh) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(rounded);
}

}  // namespace

std::string SelectionFileText(const RangeSelection& s) {
  std::string line;
  for (std::int32_t value : {s.x_series, s.y_series, s.start_row, s.end_row, s.use_to_last_row}) {
    if (!line.empty()) line.push_back('\t');
    line += FormatNumber(static_cast<double>(value));
  }
  line += "\r\n";
  return line;
}

RangeSelection ParseSelectionText(std::string_view bytes) {
  std::int32_t values[5] = {0, 0, 0, 0, 0};
  std::size_t i = 0;
  for (int n = 0; n < 5; ++n) {
    while (i < bytes.size() && EndsValue(bytes[i])) ++i;
    if (i >= bytes.size()) break;
    const std::size_t start = i;
    while (i < bytes.size() && !EndsValue(bytes[i])) ++i;
    values[n] = ReadValue(bytes.substr(start, i - start));
  }
  RangeSelection selection;
  selection.x_series = values[0];
  selection.y_series = values[1];
  selection.start_row = values[2];
  selection.end_row = values[3];
  selection.use_to_last_row = values[4];
  return selection;
}

bool WriteSelectionFile(const std::string& working_directory, const RangeSelection& selection) {
  return WriteWholeFile(JoinPath(working_directory, kSelectionFileName),
                        SelectionFileText(selection));
}

RangeSelection ReadSelectionFile(const std::string& working_directory) {
  const std::string path = JoinPath(working_directory, kSelectionFileName);
  if (!FileExists(path)) {
    CreateNewFile(path, "");
    return RangeSelection{};
  }
  const std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes) return RangeSelection{};
  return ParseSelectionText(*bytes);
}

}  // namespace calvane
