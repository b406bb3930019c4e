#pragma once

#include <string>
#include <string_view>

#include "app/app_state.h"
#include "base/prompter.h"
#include "conditions/condition_accept.h"
#include "conditions/condition_record.h"
#include "formula/formula_check.h"

namespace calvane {

inline constexpr std::string_view kFittingConditionFileName = "FittingCondition.ini";

// The section that names the search method, after the data interval line, and its two values.
// Only a method other than the lattice search is written.
inline constexpr std::string_view kSearchMethodSection = "[Search Method]";
inline constexpr std::string_view kSearchMethodLatticeThenLm = "Lattice+LM";
inline constexpr std::string_view kSearchMethodLmOnly = "LM";

// The text of the method under kSearchMethodSection: empty for the lattice search (no section).
std::string_view SearchMethodName(SearchMethod method);
// The method a text names; anything but the two names above is the lattice search.
SearchMethod SearchMethodFromName(std::string_view name);

// Where the left side, the formula, the forty constant texts and the angle unit of a condition
// file come from: the fitting-conditions dialog's current values, or the condition record (with
// the accepted formula text of state.formula). roughEstimation and dataInterval always come
// from the record.
enum class ConditionSource { FromDialog, FromRecord };

// The condition file's bytes: twenty CR LF lines ("[Formula]", "y=", formula, constants header,
// ten "initial,lower,upper,accuracy" lines, "[Angle Unit]", Degree/Radian, "[No Wild Guess]",
// "Valid" (rough estimation off) / "Invalid" (on), "[Valid Data Interval]", the interval by
// FormatNumber without a line end), then one zero byte. The default record gives 182 bytes.
// A search method other than the lattice search adds, after the interval, CR LF,
// "[Search Method]", CR LF and "Lattice+LM" or "LM" (no line end) before the zero byte; a
// reader that stops after the interval's number reads such a file as before.
// FromDialog reads at most 999 bytes of the formula field and 19 of each constant field;
// `dialog` is ignored for FromRecord. Pure; any thread (the worker uses FromRecord).
std::string BuildConditionFile(ConditionSource source, const AppState& state,
                               const ConditionDialogValues& dialog = ConditionDialogValues{});

// Builds the bytes and writes them to `path`, replacing the file whole. On failure shows
// "ファイルの書き込みに失敗しました。" with caption "エラー" owned by `owner` and returns false;
// the program goes on. Main thread.
bool WriteConditionFile(const std::string& path, ConditionSource source, const AppState& state,
                        const ConditionDialogValues& dialog, Prompter& prompter,
                        WindowId owner = WindowId::kConditions);

// The dialog's save command once a name is chosen: creates `path` as a new file; when the name
// exists asks "その名前のファイルは既に存在します。上書きしますか？" (caption "確認", OK/Cancel)
// and only OK replaces it. Cancel: false, nothing written. A file that cannot be created shows
// "ファイルを開くのに失敗しました。" with caption "エラー" and returns false. Source FromDialog.
// Main thread.
bool SaveConditionFile(const std::string& path, const AppState& state,
                       const ConditionDialogValues& dialog, Prompter& prompter,
                       WindowId owner = WindowId::kConditions);

// Parses a condition file's bytes (the zero byte that ends a written file may be included or
// not) into the dialog values and the record, following the layout: after the first "]" the
// left side ("(" empty item, "x", "y"; other bytes keep the selection); after the next "=" the
// formula line (cut to 500 bytes); after the next "]" ten rows of four fields split at "," and
// CR; then "D"/"R" for the angle button, "I"/"V" for roughEstimation (1/0) and the data
// interval by ParseNumber, truncated and clamped into 1..100 (no number reads as 0, so 1); then
// after a further "]" the search method's line (none, or another text: the lattice search).
// Section names are not checked; malformed content gives whatever those rules yield and is
// never read past its end. roughEstimation, dataInterval and searchMethod land in
// state.conditions at once;
// the rest only in `dialog`. Then CheckFormula runs on the loaded formula with the loaded left
// side, without messages: it rebuilds state.formula (its formulaText stays the accepted text)
// and sets dialog.formula_status. Returns the formula check's result code. Main thread.
FormulaCheckCode LoadConditionFile(std::string_view file_bytes, ConditionDialogValues& dialog,
                                   AppState& state);

// The dialog's open command once a file is chosen: reads `path` whole and loads it. A file that
// cannot be opened shows "ファイルを開くのに失敗しました。", one that cannot be read
// "ファイルの読み込みに失敗しました。" (caption "エラー", owner `owner`); both return false and
// change nothing. Main thread.
bool ReadConditionFile(const std::string& path, ConditionDialogValues& dialog, AppState& state,
                       Prompter& prompter, WindowId owner = WindowId::kConditions);

}  // namespace calvane
