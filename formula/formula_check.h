#pragma once

#include <cstdint>
#include <string_view>

#include "formula/compiled_formula.h"

namespace calvane {

// Result codes of CheckFormula.
enum class FormulaCheckCode : int {
  FormulaValid = 0,
  FormulaInvalidText = 1,
  FormulaNoConstantOrVariable = 2,
  FormulaUnbalancedParentheses = 3,
  FormulaBadLiteral = 4,
  FormulaUsesLeftSide = 5,
  FormulaLiteralOutOfRange = 7,
  FormulaTooLong = 8,
  FormulaEmpty = 10,
};

// Checks the formula text (Shift-JIS bytes as read from the formula box; at most 500 are read)
// against the left side and, in the same pass, compiles it into `formula`.
// The program is rebuilt from scratch whatever the verdict (a failed check leaves a partial
// program); paramValue is left alone. The pass works in a 502-byte buffer of its own, so
// formula.formulaText (the text accepted by the last OK command) is the same afterwards.
// Returns the result code. Interface thread; never while an evaluation of `formula` runs.
FormulaCheckCode CheckFormula(CompiledFormula& formula, std::string_view text, LeftSide left_side);

// The formula status label for a result code (UTF-8): "" for 0, "【エラー】式が不正です" for 1..8,
// "【エラー】式が未入力です" for 10.
std::string_view FormulaStatusLabel(FormulaCheckCode code);

// The text of the message box shown when the formula box loses the focus (caption "エラー"), or
// an empty view for the codes that show no box (0 and 10).
std::string_view FormulaCheckMessage(FormulaCheckCode code);

}  // namespace calvane
