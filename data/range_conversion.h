#pragma once

#include <cstdint>
#include <string_view>

#include "base/point_table.h"
#include "base/prompter.h"
#include "data/data_text.h"

namespace calvane {

// The user's choice on the data sheet. Series and rows are numbered from 1.
struct RangeSelection {
  std::int32_t x_series = 0;
  std::int32_t y_series = 0;
  std::int32_t start_row = 0;
  std::int32_t end_row = 0;
  std::int32_t use_to_last_row = 0;  // 1 set, 0 clear
};

// The checks of a range, in the order they run.
enum class RangeCheck {
  kAccepted,
  kXSeries,   // x series outside 1..256
  kYSeries,   // y series outside 1..256
  kStartRow,  // start row outside 1..65536
  kEndRow,    // end row outside 1..65536
  kStartAfterEnd,
  kSameSeries,
};

// With the use-to-last-row flag set, the end row becomes the text's row count (as the sheet's
// OK does); otherwise the selection is returned unchanged.
RangeSelection ApplyUseToLastRow(RangeSelection selection, const DataText& text);

// The first failed check, or kAccepted. Pure.
RangeCheck CheckRange(const RangeSelection& selection);

// The message of a failed check (UTF-8), empty for kAccepted. The series messages name 255
// although 256 is accepted: that is the text the user knows.
std::string_view RangeCheckMessage(RangeCheck check);

// Runs the checks; on the first failure shows its message with caption "エラー" owned by
// `owner` and returns false. Changes nothing. Main thread.
bool ValidateRange(const RangeSelection& selection, Prompter& prompter,
                   WindowId owner = WindowId::kDataSheet);

// Why a conversion ended.
enum class ConversionStop {
  kCompleted,
  kInvalidRange,      // the selection fails CheckRange (nothing shown, nothing changed)
  kInvalidData,       // a cell with invalid text, or x and y not both blank or both set
  kOutOfRange,        // a value beyond +-1e302
  kBlankRowDeclined,  // No to the blank-row question
  kNoData,            // every chosen row was skipped, or the range lies beyond the text
};

struct ConversionResult {
  ConversionStop stop = ConversionStop::kCompleted;
  std::uint32_t row = 0;          // the row (1-based) that stopped it, 0 when none
  std::uint32_t point_count = 0;  // points of the completed conversion, else 0
  bool completed() const { return stop == ConversionStop::kCompleted; }
};

// Converts the x and y cells of rows start..end of `text` into points, in row order.
// A row whose two cells are both blank is a blank row: the first one asks (Yes/No, caption
// "空白行があります", owner `owner`) whether to skip it and every later blank row; No stops.
// A blank cell beside a number, invalid text or a value beyond +-1e302 stops with the
// "データエラー" message naming the row. Rows beyond the text's last row are not read: the range
// ends at the last row. No point at all stops with the no-data message.
// The points are gathered in a scratch table: only a completed conversion replaces `points`
// (records 0..65535; unused ones zeroed, the graph's scratch record untouched), the point count
// and `ranges`. A stopped one leaves all three as they were.
// Call ValidateRange first; a selection that fails CheckRange is refused without a message.
// Main thread.
ConversionResult ConvertRange(const DataText& text, const RangeSelection& selection,
                              PointTable& points, DataRanges& ranges, Prompter& prompter,
                              WindowId owner = WindowId::kDataSheet);

// Minimum and maximum of x and of y over points 0..count-1, starting from point 0's values.
// All zero when there are no points.
DataRanges ComputeDataRanges(const PointTable& points);

}  // namespace calvane
