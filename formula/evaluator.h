#pragma once

#include <cstdint>
#include <string_view>

#include "base/point_table.h"
#include "formula/compiled_formula.h"

namespace calvane {

class BlockWorkspace;

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

// A sum of squared residuals over the points 0, d, 2d, ... below `count`: the observed value
// (x when observed_is_x, else y) minus the formula's value, squared, added in point order into
// a double starting at 0.
struct SumOfSquaresTask {
  const Point* points = nullptr;
  std::uint32_t count = 0;
  std::uint32_t interval = 1;  // d; 0 counts as 1
  bool observed_is_x = false;
  // Stop as soon as the partial sum is greater than or equal to stop_at.
  bool early_stop = false;
  double stop_at = 0.0;
  // Test each residual before its term is added; one of magnitude overflow_limit or more stops
  // the sum (without that term) with overflow set.
  bool check_overflow = false;
  double overflow_limit = 0.0;
  // For speed only: the paramValue index of the constant that the sums after this one vary while
  // everything else stays (the probes of a lattice scan), or -1. SumWorkers then keeps the rows
  // of the slots that do not depend on it and reuses them while the program and the other
  // constants stay bit for bit the same.
  int varied_constant = -1;
  // With a workspace the points are evaluated a block at a time (block_evaluator.h), with the
  // same values, statuses, messages and cells as point by point.
  BlockWorkspace* workspace = nullptr;
};

struct SumOfSquaresResult {
  double sum = 0.0;
  bool overflow = false;
};

// The sum of `task` in one call. Each point is evaluated exactly as one EvaluateFormula call
// would evaluate it (same values, same status and messages, same cells written), so the result
// is bit for bit that of the loop of EvaluateFormula calls; it only saves the per-call work.
// Same threading rule as EvaluateFormula.
SumOfSquaresResult SumOfSquares(CompiledFormula& formula, const SumOfSquaresTask& task,
                                std::int8_t& status, FormulaMessages* messages);

// The square root used throughout the system: 0 for 0 and for a non-number, the square root of
// a positive value, -1 for a negative value (and "Error:Sqr argument is illegal" on stderr).
double SquareRoot(double value);

// The power operation: binary powering (IntegerPower) for a whole exponent within
// [-2147483647, 2147483647]; otherwise exp(exponent * ln(base)) for a positive base, else 0.
// No domain test: the evaluator reports negative bases with fractional exponents itself.
double Power(double base, double exponent);

}  // namespace calvane
