#include "engine/calculation_log.h"

#include <optional>

#include "base/cp932.h"
#include "formula/number_text.h"

namespace calvane {

CalculationLog::~CalculationLog() { Close(); }

bool CalculationLog::Open(const std::string& path) {
  Close();
  failed_ = false;
  // "wb" truncates: the new log replaces the old one whole.
  file_ = std::fopen(path.c_str(), "wb");
  return file_ != nullptr;
}

bool CalculationLog::Close() {
  if (file_ == nullptr) return !failed_;
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  return !failed_;
}

void CalculationLog::WriteBytes(std::string_view bytes) {
  if (file_ == nullptr || bytes.empty()) return;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) failed_ = true;
}

void CalculationLog::Line(std::string_view utf8_text) {
  if (file_ == nullptr) return;
  std::optional<std::string> bytes = Utf8ToCp932(utf8_text);
  if (!bytes) {
    failed_ = true;
    return;
  }
  bytes->append("\r\n");
  WriteBytes(*bytes);
}

void CalculationLog::Number(double value) {
  if (file_ == nullptr) return;
  std::string line = FormatNumber(value);
  line.append("\r\n");
  WriteBytes(line);
}

void CalculationLog::LabelledNumber(std::string_view utf8_label, double value) {
  if (file_ == nullptr) return;
  std::optional<std::string> bytes = Utf8ToCp932(utf8_label);
  if (!bytes) {
    failed_ = true;
    return;
  }
  bytes->push_back('\t');
  bytes->append(FormatNumber(value));
  bytes->append("\r\n");
  WriteBytes(*bytes);
}

}  // namespace calvane
