#include "data/range_conversion.h"

#include <string>
#include <vector>

#include "data/data_messages.h"
#include "formula/number_text.h"

namespace calvane {
namespace {

std::string RowText(std::uint32_t row, std::string_view text) {
  std::string message = std::to_string(row);
  message.append(text);
  return message;
}

std::string DataErrorText(std::uint32_t row, std::string_view reason) {
  std::string message = RowText(row, text::kMsgRowHasError);
  message.push_back('\r');
  message.append(reason);
  return message;
}

}  // namespace

RangeSelection ApplyUseToLastRow(RangeSelection selection, const DataText& text) {
  if (selection.use_to_last_row != 0) {
    selection.end_row = static_cast<std::int32_t>(text.row_count());
  }
  return selection;
}

RangeCheck CheckRange(const RangeSelection& s) {
  constexpr std::int32_t kRows = static_cast<std::int32_t>(kMaxRows);
  if (s.x_series < 1 || s.x_series > kMaxSeries) return RangeCheck::kXSeries;
  if (s.y_series < 1 || s.y_series > kMaxSeries) return RangeCheck::kYSeries;
  if (s.start_row < 1 || s.start_row > kRows) return RangeCheck::kStartRow;
  if (s.end_row < 1 || s.end_row > kRows) return RangeCheck::kEndRow;
  if (s.start_row > s.end_row) return RangeCheck::kStartAfterEnd;
  if (s.x_series == s.y_series) return RangeCheck::kSameSeries;
  return RangeCheck::kAccepted;
}

std::string_view RangeCheckMessage(RangeCheck check) {
  switch (check) {
    case RangeCheck::kAccepted:
      return {};
    case RangeCheck::kXSeries:
      return text::kMsgXSeriesRange;
    case RangeCheck::kYSeries:
      return text::kMsgYSeriesRange;
    case RangeCheck::kStartRow:
      return text::kMsgStartRowRange;
    case RangeCheck::kEndRow:
      return text::kMsgEndRowRange;
    case RangeCheck::kStartAfterEnd:
      return text::kMsgStartAfterEnd;
    case RangeCheck::kSameSeries:
      return text::kMsgSameSeries;
  }
  return {};
}

bool ValidateRange(const RangeSelection& selection, Prompter& prompter, WindowId owner) {
  const RangeCheck check = CheckRange(selection);
  if (check == RangeCheck::kAccepted) return true;
  prompter.Show(RangeCheckMessage(check), text::kCaptionError, owner);
  return false;
}

ConversionResult ConvertRange(const DataText& text, const RangeSelection& selection,
                              PointTable& points, DataRanges& ranges, Prompter& prompter,
                              WindowId owner) {
  ConversionResult result;
  if (CheckRange(selection) != RangeCheck::kAccepted) {
    result.stop = ConversionStop::kInvalidRange;
    return result;
  }
  const std::uint32_t first = static_cast<std::uint32_t>(selection.start_row);
  std::uint32_t last = static_cast<std::uint32_t>(selection.end_row);
  // Rows past the text's last row have no text: the range ends at the last row.
  if (last > text.row_count()) last = text.row_count();

  // Scratch table: the shared points change only once the whole range has converted.
  std::vector<Point> scratch;
  if (last >= first) scratch.reserve(last - first + 1);
  bool skip_blank_rows = false;

  auto stop = [&](ConversionStop why, std::uint32_t row) {
    result.stop = why;
    result.row = row;
    return result;
  };

  for (std::uint32_t row = first; row <= last; ++row) {
    const CellValue x = ReadCell(text, row, selection.x_series);
    const CellValue y = ReadCell(text, row, selection.y_series);
    const bool x_blank = IsBlankStatus(x.status);
    const bool y_blank = IsBlankStatus(y.status);

    // x cell: on its own it can only be invalid or out of range; a blank x is judged with y.
    if (x.status == ParseStatus::ParseInvalid) {
      prompter.Show(DataErrorText(row, text::kMsgInvalidData), text::kCaptionDataError, owner);
      return stop(ConversionStop::kInvalidData, row);
    }
    if (x.status == ParseStatus::ParseOutOfRange) {
      prompter.Show(DataErrorText(row, text::kMsgValueOutOfRange), text::kCaptionDataError, owner);
      return stop(ConversionStop::kOutOfRange, row);
    }
    // y cell, in the order: beside a blank x, invalid, out of range, blank.
    if ((x_blank && !y_blank) || y.status == ParseStatus::ParseInvalid || (!x_blank && y_blank)) {
      prompter.Show(DataErrorText(row, text::kMsgInvalidData), text::kCaptionDataError, owner);
      return stop(ConversionStop::kInvalidData, row);
    }
    if (y.status == ParseStatus::ParseOutOfRange) {
      prompter.Show(DataErrorText(row, text::kMsgValueOutOfRange), text::kCaptionDataError, owner);
      return stop(ConversionStop::kOutOfRange, row);
    }
    if (x_blank && y_blank) {
      if (!skip_blank_rows) {
        const Answer answer = prompter.Ask(RowText(row, text::kMsgBlankRowQuestion),
                                           text::kCaptionBlankRow, Buttons::kYesNo, owner);
        if (answer != Answer::kYes) return stop(ConversionStop::kBlankRowDeclined, row);
        skip_blank_rows = true;
      }
      continue;
    }
    scratch.push_back(Point{x.value, y.value, 0.0});
  }

  if (scratch.empty()) {
    prompter.Show(text::kMsgNoData, text::kCaptionDataError, owner);
    return stop(ConversionStop::kNoData, 0);
  }

  const std::size_t count = scratch.size();
  for (std::size_t i = 0; i < count; ++i) points.records[i] = scratch[i];
  for (std::size_t i = count; i < kMaxPoints; ++i) points.records[i] = Point{};
  points.count = static_cast<std::uint32_t>(count);
  ranges = ComputeDataRanges(points);
  result.point_count = points.count;
  return result;
}

DataRanges ComputeDataRanges(const PointTable& points) {
  DataRanges ranges;
  const std::uint32_t count = points.count <= kMaxPoints ? points.count : kMaxPoints;
  if (count == 0) return ranges;
  ranges.min_x = ranges.max_x = points.records[0].x;
  ranges.min_y = ranges.max_y = points.records[0].y;
  for (std::uint32_t i = 1; i < count; ++i) {
    const Point& p = points.records[i];
    if (p.x > ranges.max_x) ranges.max_x = p.x;
    if (p.x < ranges.min_x) ranges.min_x = p.x;
    if (p.y > ranges.max_y) ranges.max_y = p.y;
    if (p.y < ranges.min_y) ranges.min_y = p.y;
  }
  return ranges;
}

}  // namespace calvane
