#include "data/data_text.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <optional>
#include <utility>

#include "base/file_io.h"
#include "data/data_messages.h"
#include "formula/number_text.h"

namespace calvane {
namespace {

inline bool IsSeparator(char c) { return c == '\t' || c == ',' || c == ';'; }

}  // namespace

DataText::DataText() : DataText(std::string()) {}

DataText::DataText(std::string file_bytes) { Assign(std::move(file_bytes)); }

void DataText::Assign(std::string file_bytes) {
  bytes_ = std::move(file_bytes);
  bytes_.push_back('\0');
  const void* zero = std::memchr(bytes_.data(), 0, bytes_.size());
  text_end_ = static_cast<std::size_t>(static_cast<const char*>(zero) - bytes_.data());
  row_starts_.assign(1, 0);
  series_count_ = 0;
  rows_truncated_ = false;
  series_truncated_ = false;
}

void DataText::Release() {
  std::string().swap(bytes_);
  std::vector<std::uint64_t>().swap(row_starts_);
  Assign(std::string());
}

std::size_t DataText::RowStart(std::uint32_t row) const {
  if (row < 1 || row > row_starts_.size()) return text_end_;
  return static_cast<std::size_t>(row_starts_[row - 1]);
}

bool ReadDataFile(const std::string& path, DataText& text, Prompter& prompter, WindowId owner) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    prompter.Show(text::kMsgDataFileOpenFailed, text::kCaptionError, owner);
    return false;
  }
  ::close(fd);
  std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes) {
    prompter.Show(text::kMsgDataFileReadFailed, text::kCaptionError, owner);
    return false;
  }
  text.Assign(std::move(*bytes));
  return true;
}

namespace {

// Byte classes of the row scan.
enum : unsigned char { kOther = 0, kSeparator = 1, kCarriageReturn = 2, kEnd = 3 };

constexpr std::array<unsigned char, 256> MakeByteClasses() {
  std::array<unsigned char, 256> classes{};
  classes['\t'] = kSeparator;
  classes[','] = kSeparator;
  classes[';'] = kSeparator;
  classes['\r'] = kCarriageReturn;
  classes[0] = kEnd;
  return classes;
}

constexpr std::array<unsigned char, 256> kByteClasses = MakeByteClasses();

}  // namespace

void IndexRows(DataText& text, Prompter& prompter, WindowId owner) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text.bytes_.data());
  // Every byte read below lies at or before the terminator: the scan stops at the first zero,
  // and the second byte after a CR is looked at only when the first is not zero.
  std::vector<std::uint64_t>& starts = text.row_starts_;
  starts.clear();
  starts.push_back(0);
  int fields = 1;
  int widest = 0;
  bool rows_truncated = false;
  std::size_t i = 0;
  for (;;) {
    unsigned char kind = kByteClasses[p[i]];
    while (kind == kOther) kind = kByteClasses[p[++i]];
    if (kind == kSeparator) {
      // Saturates just above the limit, so a huge row cannot overflow the counter.
      if (fields <= kMaxSeries) ++fields;
      ++i;
    } else if (kind == kCarriageReturn) {
      if (fields > widest) widest = fields;
      fields = 1;
      if (p[i + 1] == 0 || p[i + 2] == 0) break;
      if (starts.size() == kMaxRows) {
        rows_truncated = true;
        break;
      }
      i += 2;
      starts.push_back(i);
    } else {  // the zero byte that ends the text
      if (fields > widest) widest = fields;
      break;
    }
  }
  text.rows_truncated_ = rows_truncated;
  text.series_truncated_ = widest > kMaxSeries;
  text.series_count_ = widest > kMaxSeries ? kMaxSeries : widest;
  if (rows_truncated) prompter.Show(text::kMsgTooManyRows, text::kCaptionError, owner);
  if (text.series_truncated_) prompter.Show(text::kMsgTooManySeries, text::kCaptionError, owner);
}

CellLocation LocateCell(const DataText& text, std::uint32_t row, int series) {
  CellLocation location;
  if (row < 1 || row > text.row_count() || series < 1) {
    location.offset = text.text_end();
    return location;
  }
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text.bytes());
  std::size_t i = text.RowStart(row);
  int separators = 0;
  while (separators < series - 1) {
    unsigned char kind = kByteClasses[p[i]];
    while (kind == kOther) kind = kByteClasses[p[++i]];
    if (kind != kSeparator) {  // the row ends (CR) or the text ends (zero) first
      location.offset = i;
      return location;
    }
    ++separators;
    ++i;
  }
  location.offset = i;
  location.present = true;
  return location;
}

bool IsBlankStatus(ParseStatus status) {
  return status == ParseStatus::ParseEndOfText || status == ParseStatus::ParseEndOfLine ||
         status == ParseStatus::ParseEmptyField;
}

CellValue ConvertCell(const DataText& text, std::size_t offset) {
  if (offset > text.text_end()) offset = text.text_end();
  CellValue cell;
  std::size_t position = offset;
  cell.value = ParseNumber(text.bytes(), position, cell.status);
  return cell;
}

CellValue ReadCell(const DataText& text, std::uint32_t row, int series) {
  return ConvertCell(text, LocateCell(text, row, series).offset);
}

std::string_view CellText(const DataText& text, std::uint32_t row, int series,
                          std::size_t max_bytes) {
  const CellLocation location = LocateCell(text, row, series);
  if (!location.present) return {};
  const char* p = text.bytes();
  std::size_t end = location.offset;
  while (end - location.offset < max_bytes) {
    const char c = p[end];
    if (c == '\0' || c == '\r' || IsSeparator(c)) break;
    ++end;
  }
  return std::string_view(p + location.offset, end - location.offset);
}

}  // namespace calvane
