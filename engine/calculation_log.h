#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace calvane {

// The run log, Calculation.ini in the working directory. The driver opens it on the main thread
// before the worker starts and closes it after the worker has ended; in between only the worker
// writes to it. Every line is its text in Shift-JIS followed by CR LF; numbers go through
// FormatNumber. Opening replaces the file whole, so no tail of an earlier, longer log remains.
class CalculationLog {
 public:
  CalculationLog() = default;
  ~CalculationLog();
  CalculationLog(const CalculationLog&) = delete;
  CalculationLog& operator=(const CalculationLog&) = delete;

  // Creates or truncates the file at `path`. Returns false when it cannot be opened.
  bool Open(const std::string& path);
  // Flushes and closes. Returns false when some write failed. Harmless when not open.
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
};

}  // namespace calvane
