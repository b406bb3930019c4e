#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/app_state.h"
#include "base/prompter.h"
#include "data/data_text.h"
#include "data/range_conversion.h"

namespace calvane {

// How an acceptance of a data selection ended.
enum class SelectionOutcome {
  kAccepted,      // the points, their count and the data ranges are the new ones
  kRangeRefused,  // a check of the range failed; its message was shown, nothing changed
  kDataRefused,   // the conversion stopped; its message was shown, the old points stay
};

struct SelectionAcceptance {
  SelectionOutcome outcome = SelectionOutcome::kRangeRefused;
  RangeSelection selection;             // as validated (the end row is the row count with the flag)
  ConversionResult conversion;          // meaningful once the range passed its checks
  bool selection_file_written = false;  // only tried after a completed conversion
  bool accepted() const { return outcome == SelectionOutcome::kAccepted; }
};

// The data sheet's OK, without the window: applies the use-to-last-row flag, validates the
// range, converts it into state.points (a stopped conversion leaves the previous points, their
// count and the data ranges as they were) and, once it has completed, remembers the selection in
// DataReadCondition.ini in state.working_directory. A failed write of that file is not shown:
// the caller decides (the sheet ignores it). `text` must be indexed. Messages and the blank-row
// question go to `prompter` owned by `owner`. Used by the data sheet and by calvane-batch.
// Main thread.
SelectionAcceptance AcceptDataSelection(const DataText& text, const RangeSelection& typed,
                                        AppState& state, Prompter& prompter,
                                        WindowId owner = WindowId::kDataSheet);

// A field of the data sheet read as the OK reads it: the first 13 characters by ParseNumber,
// truncated toward zero and held within the 32-bit range; an empty field or one that does not
// start with a number reads 0.
std::int32_t SheetFieldValue(std::string_view text);

}  // namespace calvane
