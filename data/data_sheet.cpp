#include "data/data_sheet.h"

#include <cmath>
#include <string>

#include "base/cp932.h"
#include "formula/number_text.h"

namespace calvane {
namespace {

inline bool IsSeparator(char c) { return c == '\t' || c == ',' || c == ';'; }
inline bool EndsRow(char c) { return c == '\r' || c == '\0'; }

std::optional<double> FieldNumber(std::string_view field) {
  const std::string copy(field);
  std::size_t position = 0;
  ParseStatus status = ParseStatus::ParseOk;
  const double value = ParseNumber(copy.c_str(), position, status);
  if (status != ParseStatus::ParseOk) return std::nullopt;
  return value;
}

// A double that has passed ParseNumber (|value| <= 1e302) as a grid offset, held well inside int.
int GridIndex(double value) {
  const double whole = std::trunc(value);
  if (whole < -1e6) return -1000000;
  if (whole > 1e6) return 1000000;
  return static_cast<int>(whole);
}

}  // namespace

int LastTopRowIndex(const DataText& text) {
  const int rows = static_cast<int>(text.row_count());
  return rows > SheetGrid::kRowPage ? rows - SheetGrid::kRowPage : 0;
}

int LastLeftSeriesIndex(const DataText& text) {
  const int last = text.series_count() - (SheetGrid::kSeriesPage - 1);
  return last > 0 ? last : 0;
}

std::optional<SheetCell> CellAt(int px, int py, int left_series, int top_row) {
  if (px < SheetGrid::kLeft || px >= SheetGrid::kRight) return std::nullopt;
  if (py < SheetGrid::kTop || py >= SheetGrid::kBottom) return std::nullopt;
  SheetCell cell;
  cell.series = (px - SheetGrid::kLeft) / SheetGrid::kColumnWidth + left_series + 1;
  cell.row =
      static_cast<std::uint32_t>((py - SheetGrid::kTop) / SheetGrid::kRowHeight + top_row + 1);
  return cell;
}

std::array<std::string_view, 4> GridRowTexts(const DataText& text, std::uint32_t row,
                                             int left_series) {
  std::array<std::string_view, 4> cells{};
  if (row < 1 || row > text.row_count()) return cells;
  const char* p = text.bytes();
  std::size_t i = text.RowStart(row);
  for (int skipped = 0; skipped < left_series; ++skipped) {
    while (!EndsRow(p[i]) && !IsSeparator(p[i])) ++i;
    if (EndsRow(p[i])) return cells;
    ++i;
  }
  for (std::size_t column = 0; column < cells.size(); ++column) {
    const std::size_t start = i;
    while (!EndsRow(p[i]) && !IsSeparator(p[i])) ++i;
    std::size_t length = i - start;
    if (length > SheetGrid::kCellBytes) length = SheetGrid::kCellBytes;
    cells[column] = std::string_view(p + start, length);
    if (EndsRow(p[i])) break;
    ++i;
  }
  return cells;
}

std::string CellDisplayText(std::string_view cp932_bytes) {
  if (std::optional<std::string> utf8 = Cp932ToUtf8(cp932_bytes)) return *utf8;
  if (!cp932_bytes.empty()) {
    if (std::optional<std::string> cut =
            Cp932ToUtf8(cp932_bytes.substr(0, cp932_bytes.size() - 1))) {
      return *cut;
    }
  }
  std::string shown;
  for (char c : cp932_bytes) shown.push_back(static_cast<unsigned char>(c) < 0x80 ? c : '?');
  return shown;
}

SheetFieldNumbers ReadSheetFields(std::string_view x, std::string_view y, std::string_view start,
                                  std::string_view end) {
  return SheetFieldNumbers{FieldNumber(x), FieldNumber(y), FieldNumber(start), FieldNumber(end)};
}

std::optional<SelectionFrame> FrameFor(std::optional<double> series,
                                       const SheetFieldNumbers& fields, int left_series,
                                       int top_row) {
  if (!series || !fields.start_row) return std::nullopt;
  const int column = GridIndex(*series) - left_series - 1;
  if (column < 0 || column >= SheetGrid::kColumns) return std::nullopt;
  const int start_g = GridIndex(*fields.start_row) - top_row - 1;
  const int end_given = fields.end_row ? GridIndex(*fields.end_row) - top_row - 1 : start_g;
  int s = start_g;
  int e = end_given < s ? s : end_given;
  if (e > SheetGrid::kRows - 1) e = SheetGrid::kRows - 1;
  if (s < 0) {
    if (e < 0) return std::nullopt;
    s = 0;
  }
  if (s > SheetGrid::kRows - 1) return std::nullopt;  // below the view: nothing to frame
  SelectionFrame frame;
  frame.left = SheetGrid::kLeft + 1 + SheetGrid::kColumnWidth * column;
  frame.right = SheetGrid::kLeft + SheetGrid::kColumnWidth * (column + 1);
  frame.top = SheetGrid::kTop + SheetGrid::kRowHeight * s;
  frame.bottom = SheetGrid::kTop + 19 + SheetGrid::kRowHeight * e;
  frame.top_corners = start_g >= 0 && start_g < SheetGrid::kRows;
  const int bottom_g = end_given < start_g ? start_g : end_given;
  frame.bottom_corners = bottom_g >= 0 && bottom_g < SheetGrid::kRows;
  return frame;
}

}  // namespace calvane
