#include "report/results_report.h"
#include "base/base_messages.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "base/file_io.h"
#include "engine/engine_messages.h"
#include "formula/number_text.h"

namespace calvane {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kUnusedValue = "---";

void AppendLine(std::string& report, std::string_view text) {
  report.append(text);
  report.append(kLineEnd);
}

enum class CreateResult { kCreated, kExists, kOpenFailed, kWriteFailed };

// Creates `path` as a new file holding `bytes`. Tells an existing name apart from other
// failures, which the shared helper does not; a file whose write failed is removed again so no
// partial report stays behind.
CreateResult CreateReportFile(const std::string& path, std::string_view bytes) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return errno == EEXIST ? CreateResult::kExists : CreateResult::kOpenFailed;
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  bool ok = true;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  ok = (::close(fd) == 0) && ok;
  if (!ok) {
    ::unlink(path.c_str());
    return CreateResult::kWriteFailed;
  }
  return CreateResult::kCreated;
}

}  // namespace

std::string ReportValueText(double value, bool mark) {
  std::string text = FormatNumber(value);
  if (mark) text.append(text::kProvisionalMark);
  return text;
}

std::array<std::string, 11> ReportValueLines(const ReportValues& values) {
  std::array<std::string, 11> lines;
  for (int k = 0; k < 10; ++k) {
    std::string& line = lines[static_cast<std::size_t>(k)];
    line = "k";
    line.push_back(static_cast<char>('0' + k));
    line.append(", ");
    std::uint8_t index = values.paramIndex[k];
    // Only 0..9 name a constant slot; anything else (255 above all) is an unused constant,
    // which never carries the mark.
    if (index < 10) {
      line.append(ReportValueText(values.CurrentValue[index], values.stopped_early));
    } else {
      line.append(kUnusedValue);
    }
  }
  lines[10] = "R^2, " + ReportValueText(values.R2Value, values.stopped_early);
  return lines;
}

std::string BuildResultsReport(const ReportValues& values, std::string_view condition_file_text) {
  std::string report;
  report.reserve(600 + values.data_path.size() + condition_file_text.size());
  AppendLine(report, "*** Fitting Results ***");
  AppendLine(report, "[Calculation Start Time]");
  AppendLine(report, values.start_time);
  AppendLine(report, "[Calculation End Time]");
  AppendLine(report, values.end_time);
  AppendLine(report, "[Data File Name]");
  AppendLine(report, values.data_path);
  AppendLine(report, "[Fitting Value]");
  for (const std::string& line : ReportValueLines(values)) AppendLine(report, line);
  AppendLine(report, "");
  AppendLine(report, "*** Fitting Conditions ***");
  std::size_t zero = condition_file_text.find('\0');
  report.append(condition_file_text.substr(0, zero));
  report.push_back('\0');
  return report;
}

SaveResultsStatus SaveUserFile(std::string_view bytes, const std::string& path, Prompter& prompter,
                               WindowId owner) {
  switch (CreateReportFile(path, bytes)) {
    case CreateResult::kCreated:
      return SaveResultsStatus::kSaved;
    case CreateResult::kOpenFailed:
      prompter.Show(text::kMsgFileOpenFailed, text::kCaptionError, owner);
      return SaveResultsStatus::kOpenFailed;
    case CreateResult::kWriteFailed:
      prompter.Show(text::kMsgFileWriteFailed, text::kCaptionError, owner);
      return SaveResultsStatus::kWriteFailed;
    case CreateResult::kExists:
      break;
  }
  if (prompter.Ask(text::kMsgOverwriteQuestion, text::kCaptionConfirm, Buttons::kOkCancel, owner) !=
      Answer::kOk) {
    return SaveResultsStatus::kCancelled;
  }
  // Replaced in one piece: a failure leaves the old report as it was.
  switch (ReplaceFileWithOutcome(path, bytes)) {
    case FileWriteOutcome::kWritten:
      return SaveResultsStatus::kSaved;
    case FileWriteOutcome::kExists:
    case FileWriteOutcome::kCannotCreate:
      prompter.Show(text::kMsgFileOpenFailed, text::kCaptionError, owner);
      return SaveResultsStatus::kOpenFailed;
    case FileWriteOutcome::kWriteFailed:
      break;
  }
  prompter.Show(text::kMsgFileWriteFailed, text::kCaptionError, owner);
  return SaveResultsStatus::kWriteFailed;
}

SaveResultsStatus SaveResultsReport(const ReportValues& values, const std::string& path,
                                    const std::string& working_directory, Prompter& prompter) {
  std::optional<std::string> conditions =
      ReadWholeFile(JoinPath(working_directory, "FittingCondition.ini"));
  if (!conditions) {
    prompter.Show(text::kMsgInternalFileMissing, text::kCaptionError, WindowId::kConditions);
    return SaveResultsStatus::kConditionsMissing;
  }
  return SaveUserFile(BuildResultsReport(values, *conditions), path, prompter, WindowId::kMain);
}

}  // namespace calvane
