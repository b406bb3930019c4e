#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/prompter.h"
#include "formula/number_text.h"

namespace calvane {

constexpr std::uint32_t kMaxRows = 65536;  // rows of one data file that are indexed
constexpr int kMaxSeries = 256;            // fields of one row that the sheet shows

// The data file's text: the file's bytes exactly as read, followed by one zero byte, plus the
// index of where each row starts. The first zero byte ends the text, whether it is the added
// terminator or a zero byte inside the file. Before IndexRows runs, the text is one row.
// Rows and series are numbered from 1. Main thread only; not shared with the worker.
class DataText {
 public:
  // The empty text: one zero byte, one empty row.
  DataText();
  // Takes the file's bytes (moved in, no copy for an rvalue) and adds the terminator.
  explicit DataText(std::string file_bytes);

  // Replaces the text; the index is reset to one row starting at offset 0.
  void Assign(std::string file_bytes);
  // Drops the text and its memory, leaving the empty text.
  void Release();

  // The whole buffer, zero-terminated; size() counts the terminator.
  const char* bytes() const { return bytes_.data(); }
  std::size_t size() const { return bytes_.size(); }
  // Offset of the first zero byte: where the text ends.
  std::size_t text_end() const { return text_end_; }

  // Rows found by the last IndexRows, 1 to 65536.
  std::uint32_t row_count() const { return static_cast<std::uint32_t>(row_starts_.size()); }
  // Widest row seen by the last IndexRows, 1 to 256 (0 before indexing).
  int series_count() const { return series_count_; }
  // True when the last IndexRows ignored rows beyond 65536 / fields beyond 256.
  bool rows_truncated() const { return rows_truncated_; }
  bool series_truncated() const { return series_truncated_; }

  // Byte offset of the first byte of `row` (1..row_count()). A row outside that range gives
  // text_end(), where any reading finds the end of the text.
  std::size_t RowStart(std::uint32_t row) const;

 private:
  friend void IndexRows(DataText& text, Prompter& prompter, WindowId owner);

  std::string bytes_;  // file bytes + one zero byte
  std::size_t text_end_ = 0;
  std::vector<std::uint64_t> row_starts_;
  int series_count_ = 0;
  bool rows_truncated_ = false;
  bool series_truncated_ = false;
};

// Reads the data file at `path` whole into `text`, replacing its content (the index starts
// again as one row). A file that cannot be opened shows kMsgDataFileOpenFailed, one that cannot
// be read kMsgDataFileReadFailed (data/data_messages.h), both with caption "エラー" owned by
// `owner` and without the closing "終了します。": both return false, leave `text` as it was and
// let the program go on. Main thread.
bool ReadDataFile(const std::string& path, DataText& text, Prompter& prompter,
                  WindowId owner = WindowId::kMain);

// Scans the text once and builds the row index, the row count and the series count.
// Row syntax: a row ends at a carriage return; the byte after it is taken to be a line feed and
// skipped unexamined, so the next row starts two bytes after the CR. A CR with the end of the
// text within the next two bytes ends the table (a final line end adds no empty row). A line
// feed alone does not end a row. Fields are separated by tab, "," or ";", mixed freely.
// Limits: more than 65536 rows shows kMsgTooManyRows and keeps the first 65536; a row of more
// than 256 fields shows kMsgTooManySeries and the series count becomes 256 (data/data_messages.h).
// Both are shown with caption "エラー" owned by `owner`, the row message first.
// Allocates only the row index. Main thread.
void IndexRows(DataText& text, Prompter& prompter, WindowId owner = WindowId::kDataSheet);

// Where a cell starts. `present` is false when the row ends before the field (or the row does
// not exist); `offset` then rests on the carriage return or zero byte that ended the search, so
// converting there yields a blank.
struct CellLocation {
  std::size_t offset = 0;
  bool present = false;
};

// The first byte of field `series` (1-based) of `row` (1-based), found by walking separators
// from the row start. A series below 1 or a row outside 1..row_count() is missing.
CellLocation LocateCell(const DataText& text, std::uint32_t row, int series);

// A converted cell: the value is meaningful for ParseOk and ParseOutOfRange only.
struct CellValue {
  double value = 0.0;
  ParseStatus status = ParseStatus::ParseOk;
};

// ParseEndOfText, ParseEndOfLine and ParseEmptyField: the cell holds nothing but spaces.
bool IsBlankStatus(ParseStatus status);

// ParseNumber applied to the text at `offset` (clamped to the text). A number followed by a
// space ends the cell's number; what follows the spaces is not looked at.
CellValue ConvertCell(const DataText& text, std::size_t offset);

// LocateCell then ConvertCell; a missing cell converts as blank.
CellValue ReadCell(const DataText& text, std::uint32_t row, int series);

// The bytes of a cell as the sheet shows them: from the field start up to the next separator,
// carriage return or end of text, cut after `max_bytes`. Empty for a missing cell. The view
// points into `text` and lives as long as its buffer.
std::string_view CellText(const DataText& text, std::uint32_t row, int series,
                          std::size_t max_bytes = 20);

}  // namespace calvane
