#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "data/data_text.h"

namespace calvane {

// The data sheet's painted grid in client pixels: four columns of 100 by sixteen rows of 20.
struct SheetGrid {
  static constexpr int kLeft = 200;
  static constexpr int kTop = 50;
  static constexpr int kColumnWidth = 100;
  static constexpr int kRowHeight = 20;
  static constexpr int kColumns = 4;
  static constexpr int kRows = 16;
  static constexpr int kRight = kLeft + kColumns * kColumnWidth;  // 600
  static constexpr int kBottom = kTop + kRows * kRowHeight;       // 370
  static constexpr std::size_t kCellBytes = 20;  // a cell shows at most this many bytes
  static constexpr int kRowPage = 16;            // page of the vertical bar
  static constexpr int kSeriesPage = 5;          // page of the horizontal bar
};

// The scroll bars' ranges: a bar of range 0..max with page p stops at max - p + 1, so the last
// row can reach the top grid row's fifteen rows below and the last series the fourth column.
int LastTopRowIndex(const DataText& text);      // vertical: row count - 16, at least 0
int LastLeftSeriesIndex(const DataText& text);  // horizontal: series count - 4, at least 0

// The cell under a press at client point (px, py) with the bars at `left_series` and `top_row`
// (indices from 0): series and row numbered from 1. Nothing outside the cell area
// (200 <= px < 600, 50 <= py < 370).
struct SheetCell {
  int series = 0;
  std::uint32_t row = 0;
};
std::optional<SheetCell> CellAt(int px, int py, int left_series, int top_row);

// The texts of the four grid columns for `row` (1-based) with the left column showing series
// left_series + 1: the row is walked once past left_series separators, then the next four
// fields are taken in turn, each cut after 20 bytes. A row that ends early leaves the remaining
// cells empty; a row that does not exist gives four empty cells. Views point into `text`.
std::array<std::string_view, 4> GridRowTexts(const DataText& text, std::uint32_t row,
                                             int left_series);

// A cell's Shift-JIS bytes as UTF-8 for display. A double-byte character cut by the 20-byte
// limit is dropped; any other byte that does not decode shows as "?".
std::string CellDisplayText(std::string_view cp932_bytes);

// The four fields of the sheet as numbers, where each holds one (ParseNumber gives ParseOk).
struct SheetFieldNumbers {
  std::optional<double> x_series;
  std::optional<double> y_series;
  std::optional<double> start_row;
  std::optional<double> end_row;
};
SheetFieldNumbers ReadSheetFields(std::string_view x, std::string_view y, std::string_view start,
                                  std::string_view end);

// One selection frame in client pixels (outline from (left, top) to (right, bottom) inclusive),
// with the corner squares to mark.
struct SelectionFrame {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool top_corners = false;     // the start row is in view
  bool bottom_corners = false;  // the end row is in view
};

// The frame around `series` (x or y) for the rows of the fields, or nothing: when the series is
// not one of the four visible ones, when the start field holds no number, or when the rows lie
// wholly above the view. An end field without a number frames the start row alone; the frame
// is held within the sixteen grid rows.
std::optional<SelectionFrame> FrameFor(std::optional<double> series,
                                       const SheetFieldNumbers& fields, int left_series,
                                       int top_row);

}  // namespace calvane
