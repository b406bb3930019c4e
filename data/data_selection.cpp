#include "data/data_selection.h"

#include <cmath>
#include <limits>
#include <string>

#include "data/selection_file.h"
#include "formula/number_text.h"

namespace calvane {

SelectionAcceptance AcceptDataSelection(const DataText& text, const RangeSelection& typed,
                                        AppState& state, Prompter& prompter, WindowId owner) {
  SelectionAcceptance acceptance;
  acceptance.selection = ApplyUseToLastRow(typed, text);
  if (!ValidateRange(acceptance.selection, prompter, owner)) {
    acceptance.outcome = SelectionOutcome::kRangeRefused;
    return acceptance;
  }
  acceptance.conversion =
      ConvertRange(text, acceptance.selection, state.points, state.ranges, prompter, owner);
  if (!acceptance.conversion.completed()) {
    acceptance.outcome = SelectionOutcome::kDataRefused;
    return acceptance;
  }
  acceptance.outcome = SelectionOutcome::kAccepted;
  acceptance.selection_file_written =
      WriteSelectionFile(state.working_directory, acceptance.selection);
  return acceptance;
}

std::int32_t SheetFieldValue(std::string_view text) {
  constexpr std::size_t kFieldChars = 13;
  const std::string field(text.substr(0, kFieldChars));
  std::size_t position = 0;
  ParseStatus status = ParseStatus::ParseOk;
  const double value = ParseNumber(field.c_str(), position, status);
  if (status != ParseStatus::ParseOk || !std::isfinite(value)) return 0;
  constexpr double kLow = static_cast<double>(std::numeric_limits<std::int32_t>::min());
  constexpr double kHigh = static_cast<double>(std::numeric_limits<std::int32_t>::max());
  const double whole = std::trunc(value);
  if (whole <= kLow) return std::numeric_limits<std::int32_t>::min();
  if (whole >= kHigh) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(whole);
}

}  // namespace calvane
