#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/prompter.h"

namespace calvane {

// What lines 1 to 19 of the results report show: the run's times, the data file and the fitted
// values. Texts are Shift-JIS bytes as they go into the file.
struct ReportValues {
  std::string start_time;  // "YYYY/MM/DD hh:mm:ss"
  std::string end_time;
  std::string data_path;         // the full path of the data file of the run
  double CurrentValue[10] = {};  // fitted values by constant index
  std::uint8_t paramIndex[10] = {255, 255, 255, 255, 255, 255, 255, 255, 255, 255};
  double R2Value = 0.0;
  // The run stopped before convergence (aborted or overflowed): every used constant's value and
  // R^2 carry " *". This follows the run, not the workflow state, so saving the same results a
  // second time marks them again.
  bool stopped_early = false;
};

// The report's text, terminating zero byte included: the 21 lines of times, file, values and
// R^2 (each ending in CR LF), then `condition_file_text` up to its first zero byte, then one zero
// byte. A constant whose paramIndex is not a valid constant index is written as "---".
// Pure; any thread.
std::string BuildResultsReport(const ReportValues& values, std::string_view condition_file_text);

// The value text of one line: FormatNumber of the value, plus " *" when `mark`.
std::string ReportValueText(double value, bool mark);

// Lines 9 to 19 of the report without their line ends: "k0, 2.5" ... "k9, ---", "R^2, 0.998"
// (with " *" after each value of a run that stopped early). calvane-batch prints these.
std::array<std::string, 11> ReportValueLines(const ReportValues& values);

enum class SaveResultsStatus {
  kSaved,              // the report was written
  kCancelled,          // the user kept an existing file of that name; nothing was written
  kConditionsMissing,  // FittingCondition.ini of the working directory cannot be read
  kOpenFailed,         // the report file cannot be created, or the existing one not replaced
  kWriteFailed,        // the file was created but its content could not be written whole: a
                       // new file is removed again, a replaced one keeps its old content
};

// Writes `bytes` to `path` as a new file of the user's, by the rules of the results report: when
// a file of that name exists, asks the overwrite question (caption "確認", OK/Cancel) and only OK
// replaces it, in one piece; a failure to create ("ファイルを開くのに失敗しました。") or to write
// ("ファイルの書き込みに失敗しました。") is shown with caption "エラー" and returned, leaving no
// partial new file. Messages are owned by `owner`. Main thread.
SaveResultsStatus SaveUserFile(std::string_view bytes, const std::string& path, Prompter& prompter,
                               WindowId owner);

// Writes the results report to `path` as a new file. When a file of that name exists, asks
// "その名前のファイルは既に存在します。上書きしますか？" (caption "確認", OK/Cancel, owner main
// window); only OK replaces it, in one piece (a failed replacement leaves the old file whole).
// FittingCondition.ini is read from `working_directory` before anything is created, so a missing
// internal file never leaves an empty or truncated report behind. Failures are shown through
// `prompter` ("内部ファイルが見つかりません。", "ファイルを開くのに失敗しました。",
// "ファイルの書き込みに失敗しました。", caption "エラー") and returned; the program goes on with
// its results unsaved, so the user can save them elsewhere. Main thread.
SaveResultsStatus SaveResultsReport(const ReportValues& values, const std::string& path,
                                    const std::string& working_directory, Prompter& prompter);

}  // namespace calvane
