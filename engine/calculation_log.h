#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace calvane {

// The run log, Calculation.ini in the working directory. The driver opens it on the main thread
// before the worker starts and closes it after the worker has ended; in between only the worker
// writes to it. Every line is its text in Shift-JIS followed by CR LF; numbers go through
// FormatNumber. The new log replaces the old one whole when it is closed after every write
// succeeded, so no tail of an earlier, longer log remains; when a write fails, the previous log
// stays as it was and the new one is dropped.
class CalculationLog {
 public:
  CalculationLog() = default;
  ~CalculationLog();
  CalculationLog(const CalculationLog&) = delete;
  CalculationLog& operator=(const CalculationLog&) = delete;

  // Starts a new log for `path` (in a temporary file beside it). Returns false when it cannot
  // be created.
  bool Open(const std::string& path);
  // Flushes, closes and puts the new log in place of the old. Returns false when some write
  // failed; the old log is then left untouched. Harmless when not open.
  bool Close();
  bool is_open() const { return file_ != nullptr; }

  // One line: `utf8_text` converted to Shift-JIS, then CR LF.
  void Line(std::string_view utf8_text);
  // One line holding FormatNumber(value).
  void Number(double value);
  // One line: label, a tab, FormatNumber(value).
  void LabelledNumber(std::string_view utf8_label, double value);

 private:
  void WriteBytes(std::string_view bytes);

  std::FILE* file_ = nullptr;
  bool failed_ = false;
  std::string path_;
  std::string temporary_path_;
};

}  // namespace calvane
