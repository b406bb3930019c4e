#pragma once

#include <cstdint>
#include <memory>

#include "base/point_table.h"
#include "formula/compiled_formula.h"
#include "formula/evaluator.h"

namespace calvane {

// Points per block of the block evaluator: each operation of the program runs over this many
// points at a time, so that the arithmetic operations vectorise while the rows stay in the
// first-level cache.
constexpr std::uint32_t kBlockPoints = 256;

// The fixed buffers of block evaluation: one row of kBlockPoints values per slot, the x and y
// rows and the block's model values. Made once by its owner (a run, a benchmark); evaluation
// and the sums never allocate. One workspace serves one thread at a time.
class BlockWorkspace {
 public:
  BlockWorkspace();
  BlockWorkspace(const BlockWorkspace&) = delete;
  BlockWorkspace& operator=(const BlockWorkspace&) = delete;

  double* Row(std::uint32_t row) { return rows_.get() + row * kBlockPoints; }
  double* Values() { return Row(kMaxSlots + 2); }

 private:
  std::unique_ptr<double[]> rows_;  // kMaxSlots slot rows, x, y, values
};

// Evaluates the formula at `count` (1..kBlockPoints) points: points[0], points[interval], ...,
// into values[0..count). Returns false when a point of the block raises a domain error or the
// program has an unregistered operation (or reads a slot before writing it): the block must then
// be evaluated point by point, and its values are meaningless. Otherwise each value that lies
// within [-1e302, 1e302] is bit for bit what EvaluateFormula returns, without a status or
// message, and such a point leaves every slot cell exactly as EvaluateFormula would; a value
// outside that range (or not a number) is a point that raises status 25, which the consumer of
// the values tests (AddBlockTerms does).
// Reads the formula's program, literals and paramValue and writes nothing in it, so evaluations
// on different workspaces may run on different threads while nobody changes the formula.
bool EvaluateBlock(const CompiledFormula& formula, const Point* points, std::uint32_t interval,
                   std::uint32_t count, BlockWorkspace& workspace, double* values);

// The running state of one sum of squares fed block by block, in point order.
struct BlockSumCursor {
  double sum = 0.0;
  bool stopped = false;  // early stop or overflow: no further terms
  bool overflow = false;
  // The formula's cells hold the state of an earlier point than the last one added; the point
  // whose state they must show (a clean point, so one evaluation brings them there).
  bool state_behind = false;
  std::uint32_t last_point = 0;
};

// Adds the terms of block `block` of `task` (its points task.interval apart, starting at point
// block * kBlockPoints * interval) to `cursor`: from the precomputed `values` when `clean` (as
// EvaluateBlock returned) and every value is within range, else by evaluating its points one by
// one with EvaluateFormula (status and messages exactly as the
// single-point loop gives them). Obeys the task's early stop and overflow test. On the summing
// thread only.
void AddBlockTerms(CompiledFormula& formula, const SumOfSquaresTask& task, std::uint32_t block,
                   const double* values, bool clean, BlockSumCursor& cursor, std::int8_t& status,
                   FormulaMessages* messages);

// Brings the formula's cells (x, y, slotValue) to the state of the last point added, as the
// single-point loop leaves them. Call once after the last AddBlockTerms.
void FinishBlockSum(CompiledFormula& formula, const SumOfSquaresTask& task, BlockSumCursor& cursor,
                    std::int8_t& status, FormulaMessages* messages);

// The number of points of `task` that enter the sum, and the number of blocks they make.
std::uint32_t SumPointCount(const SumOfSquaresTask& task);
inline std::uint32_t BlockCount(std::uint32_t sum_points) {
  return (sum_points + kBlockPoints - 1) / kBlockPoints;
}

}  // namespace calvane
