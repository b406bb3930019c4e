#pragma once

#include <cstdint>
#include <string_view>

#include "data/point_table.h"
#include "formula/compiled_formula.h"

namespace calvane {

// Where the evaluator's messages go. The domain errors go to the progress window's message
// area; the unregistered operator is a message box (caption "エラー") owned by the main window.
class FormulaMessages {
 public:
  virtual ~FormulaMessages() = default;
  virtual void EvaluationError(std::string_view text) = 0;
  virtual void UnregisteredOperator(std::string_view text) = 0;
};

// Evaluates the formula at one point with the constants in formula.paramValue. `status` is the
// caller's: a failure overwrites it with its code (4, 5, 7, 9, 10, 14, 15, 20, 21, 23, 25) and
// its message is sent only while status is 0. `messages` may be null (messages go nowhere).
// Returns the value of the last slot, also after an error. Writes x, y and slotValue of
// `formula`, so two evaluations of the same record must never overlap.
double EvaluateFormula(CompiledFormula& formula, const Point& point, std::int8_t& status,
                       FormulaMessages* messages);

}  // namespace calvane
