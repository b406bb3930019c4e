#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "app/app_state.h"
#include "base/prompter.h"
#include "conditions/condition_messages.h"
#include "conditions/condition_record.h"
#include "formula/formula_messages.h"

namespace calvane {

// What the fitting-conditions dialog holds, as plain values, so that the logic behind it runs
// without a window. Texts taken from fields are Shift-JIS bytes; the status label is UTF-8.
struct ConditionDialogValues {
  // constants[row][column]: row 0..9 is k0..k9, column 0 InitialValue, 1 VarRegionL,
  // 2 VarRegionU, 3 Accuracy. Field id = 1049 + 4*row + column. Empty strings without a
  // braced initializer: clang 14 (the fuzz build's compiler) crashes on `{}` here.
  std::array<std::array<std::string, 4>, 10> constants;
  int left_side_index =
      LeftSideIndex(LeftSide::Y);  // selected item of the left-side box: 0 empty, 1 x, 2 y; -1 none
  std::string formula;             // the formula field
  bool degree = true;              // the Degree button is selected (else Radian)
  std::string formula_status{text::kStatusNotEntered};  // the formula status label
};

// The dialog's content when it opens over `state`: left side, status label from the formula
// state (0 "【エラー】式が未入力です", 1 "【エラー】式が不正です", 2 empty), angle button, the
// forty constant texts and the accepted formula text.
ConditionDialogValues DialogValuesFromRecord(const AppState& state);

// The first `max_bytes` bytes of a Shift-JIS text, one byte fewer when the cut would split a
// double-byte character; a zero byte ends the text earlier.
std::string CutShiftJis(std::string_view text, std::size_t max_bytes);

// Verdict on the form of one constant text, reading its first 22 bytes exactly as they are
// stored (a double-byte character whose lead byte is the 22nd byte is cut inside it, and the
// lone lead byte makes the text invalid): ParseNumber from the start must reach the end of what
// was read (trailing spaces allowed). Empty or only spaces is fine.
enum class FieldCheck { kAccepted, kInvalid, kOutOfRange };
FieldCheck CheckConstantText(std::string_view text);
// "不正な入力値です。" / "値が大きすぎ、あるいは小さすぎます。"; empty for kAccepted.
std::string_view FieldCheckMessage(FieldCheck check);

// The per-field check when constant field (row 1..10, column 1..4) loses the focus. With a
// message, shows it with caption "エラー" owned by `owner` and returns false; the dialog then
// beeps, gives the focus back to the field and selects its text. Row or column outside the
// ranges: true, nothing shown. Main thread.
bool ValidateConstantField(const ConditionDialogValues& values, int row, int column,
                           Prompter& prompter, WindowId owner = WindowId::kConditions);

struct AcceptResult {
  bool accepted = false;
  // The field in error when refused: row 1..10 (k0..k9), column 1..4.
  int row = 0;
  int column = 0;
  std::string_view message;  // the message shown, empty when accepted
  bool formula_file_written = false;
};

// The OK command of the fitting-conditions dialog. Walks k0..k9; for each row first the form of
// its four fields left to right (the per-field check's verdict; a text longer than 19 bytes
// passes only when its first 19 bytes, which are stored, read as the same number as the text
// the per-field check read, else "不正な入力値です。"), then:
//   accuracy present and not > 0: "計算精度は正でなければなりません。" (accuracy field);
//   both bounds present and lower not < upper:
//     "下限は上限より小さくくなければなりません。" (lower-bound field);
//   initial value present and below a present lower or above a present upper bound:
//     "初期値は下限と上限の間でなければなりません。" (initial-value field).
// The first failure is shown (caption "エラー", owner `owner`) and nothing is stored.
// Accepted: stores the left side (an index outside 0..2 stores 0), the formula field cut to 499
// bytes into state.formula.formulaText, the formula state from the status label text
// ("【エラー】式が未入力です" 0, "【エラー】式が不正です" 1, empty 2, any other text unchanged),
// the forty constant texts cut to 19 bytes, the angle unit (Degree 0, else 1), and writes
// Formula.ini into state.working_directory from state.formula (a failed write is not reported).
// The main window's run command and status line are the caller's (the shared flow of the
// conditions command applies them), and so is ending the dialog. Main thread.
AcceptResult AcceptConditions(const ConditionDialogValues& values, AppState& state,
                              Prompter& prompter, WindowId owner = WindowId::kConditions);

}  // namespace calvane
