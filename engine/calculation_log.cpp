#include "engine/calculation_log.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <optional>

#include "base/cp932.h"
#include "base/file_io.h"
#include "formula/number_text.h"

namespace calvane {

CalculationLog::~CalculationLog() { Close(); }

bool CalculationLog::Open(const std::string& path) {
  Close();
  failed_ = false;
  // The log is written into a temporary file beside the old one and renamed over it by Close,
  // so a write that fails part-way (a full disk, a file-size limit) leaves the previous log whole.
  std::string temporary = path + ".tmp-XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return false;
  ::fchmod(fd, 0644);
  file_ = ::fdopen(fd, "wb");
  if (file_ == nullptr) {
    ::close(fd);
    ::unlink(temporary.c_str());
    return false;
  }
  path_ = path;
  temporary_path_ = std::move(temporary);
  return true;
}

bool CalculationLog::Close() {
  if (file_ == nullptr) return !failed_;
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  if (!failed_ && !MoveOver(temporary_path_, path_)) failed_ = true;
  if (failed_) ::unlink(temporary_path_.c_str());
  temporary_path_.clear();
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
