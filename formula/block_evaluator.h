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

// The buffers of block evaluation: one row of kBlockPoints values per slot, the x and y rows and
// the block's model values. Made once by its owner (a run, a benchmark); the slot rows grow to the
// longest program evaluated (RunBlockProgram reserves them), so that a workspace holds what its
// formula needs, and evaluation and the sums never allocate after that. One workspace serves one
// thread at a time.
class BlockWorkspace {
 public:
  BlockWorkspace();
  BlockWorkspace(const BlockWorkspace&) = delete;
  BlockWorkspace& operator=(const BlockWorkspace&) = delete;

  // Slot rows 0..kMaxSlots-1 (within the reserved ones), then the x row, the y row, the values.
  double* Row(std::uint32_t row) {
    return row < kMaxSlots ? slots_.get() + row * kBlockPoints
                           : fixed_.get() + (row - kMaxSlots) * kBlockPoints;
  }
  double* Values() { return Row(kMaxSlots + 2); }
  // A second row for a block's values, so that one block's terms may be added from the values row
  // while the next block is evaluated into this one.
  double* NextValues() { return next_values_.get(); }

  // Makes room for the rows of slots 0..slots-1; false when the memory cannot be had. The slot
  // rows may move (the x, y and values rows stay), so no pointer to one outlives a call.
  bool ReserveSlots(int slots);

 private:
  std::unique_ptr<double[]> fixed_;  // the x, y and values rows
  std::unique_ptr<double[]> next_values_;
  std::unique_ptr<double[]> slots_;  // slot_capacity_ rows
  int slot_capacity_ = 0;
};

// The slot program resolved once for the blocks of a sum: per slot its operation and where each
// operand comes from (an earlier slot's row, the x or y row, or one value for every point: a
// constant, a literal, a missing operand). Made by PrepareBlockProgram from the formula as it
// stands; a copy taken at one sum, compared with the program of a later one, tells which slots
// compute the same rows (SameProgramExcept).
struct BlockProgram {
  static constexpr std::int16_t kScalar = -1;
  static constexpr std::int16_t kXRow = kMaxSlots;
  static constexpr std::int16_t kYRow = kMaxSlots + 1;

  int length = 0;
  bool usable = false;  // false: the blocks must be evaluated point by point
  bool needs_x = false;
  bool needs_y = false;
  // Entries 0..length-1 are set by PrepareBlockProgram.
  std::uint8_t code[kMaxSlots];
  std::int16_t row[2][kMaxSlots];      // [0] left, [1] right operand
  double value[2][kMaxSlots];          // the operand's value when its row is kScalar
  std::int8_t constant[2][kMaxSlots];  // the paramValue index of a scalar, else -1
};

// Resolves the formula's program. `usable` is false when a slot has an unregistered operation or
// reads a slot before it is written (such programs go point by point, as EvaluateBlock says).
void PrepareBlockProgram(const CompiledFormula& formula, BlockProgram& program);

// Copies what `from` resolved (its first `length` entries) into `to`: the same as `to = from`
// for every use above, without copying the unused rest of the arrays.
void CopyBlockProgram(const BlockProgram& from, BlockProgram& to);

// A number that is the same for programs that SameProgramExcept(a, b, -1) finds the same, and
// differs for most that it does not: a quick first test before that comparison.
std::uint64_t BlockProgramKey(const BlockProgram& program);

// Whether `a` and `b` compute every slot from the same operations, rows and values, except
// operands that read the constant `except` (a paramValue index; -1: none), whose values may differ.
bool SameProgramExcept(const BlockProgram& a, const BlockProgram& b, int except);

// The slots of `program` that depend on the constant `constant` (a paramValue index), directly or
// through earlier slots, in `depends`; returns how many slots do not.
int SlotsDependingOn(const BlockProgram& program, int constant, bool* depends);

// Rows of earlier evaluations that a block may read instead of computing them again: the slots
// with skip[s] set are not computed; an operand reading such a slot, and the block's values when
// the last slot is skipped, read kept[kept_index[s]] instead (the block's first value in it).
struct KeptRows {
  static constexpr int kMaxRows = 8;
  const bool* skip = nullptr;
  const std::int8_t* kept_index = nullptr;
  const double* kept[kMaxRows] = {};
};

// Which rows an evaluation keeps so that a later evaluation of the same points, by a program that
// differs from its own only in the value of one constant, skips the slots that do not depend on
// that constant: the slots that do not depend on it but are read by one that does, and the last
// slot when it does not depend on it.
struct KeptRowPlan {
  int rows = 0;  // 0: nothing to keep
  bool skip[kMaxSlots] = {};
  std::int8_t kept_index[kMaxSlots] = {};
  std::int16_t slot[KeptRows::kMaxRows] = {};  // the slot of each kept row
  bool skips_a_call = false;  // a skipped slot calls a library routine (Exp, Sin, x^2.5, ...)
};

// The plan of `program` for `constant` (a paramValue index). False, with plan.rows 0, when no slot
// is independent of it or more than KeptRows::kMaxRows rows would be needed.
bool MakeKeptRowPlan(const BlockProgram& program, int constant, KeptRowPlan& plan);

// Whether a slot of `program` that is computed (not marked in `skip`, which may be null) calls a
// library routine per point: a function, or a power other than by a whole exponent. Without one,
// a block costs a few vector operations per slot.
bool ComputesALibraryCall(const BlockProgram& program, const bool* skip);

// Whether a chain given to RunBlockProgram adds its terms along the arithmetic loops of `program`
// (the slots in `skip`, which may be null, not computed): 0 when it does not, and is left whole
// to FinishBlockTermChain; else how many vectors of eight values each loop computes between two
// runs of eight terms.
std::uint32_t ChainRides(const BlockProgram& program, const bool* skip);

// Copies the kept rows of a block that `program` has just evaluated (the slots' rows in
// `workspace`, the last slot's values in `values`): row k to to[k][0..count).
void KeepBlockRows(const BlockProgram& program, const KeptRowPlan& plan, BlockWorkspace& workspace,
                   const double* values, std::uint32_t count, double* const* to);

// The KeptRows of `plan` reading row k from from[k] (the block's first value).
KeptRows ReadKeptRows(const KeptRowPlan& plan, const double* const* from);

// The terms of one block of a sum, added in point order while a block program evaluates another
// block: the arithmetic loops of a light evaluation (ChainRides) add a run of eight terms after
// every one to four vectors of values, and FinishBlockTermChain adds the terms left. The
// additions form a chain in which each waits for the one before, and the vector operations of the
// evaluation fit in the time the chain leaves the processor, so that the two together take little
// more than the chain alone. Made by StartBlockTermChain, completed by FinishBlockTermChain; the
// same operations in the same order as AddBlockTermsFrom.
struct BlockTermChain {
  const double* observed = nullptr;  // the block's observed values
  const double* values = nullptr;    // the block's model values
  std::uint32_t next = 0;            // the next term to add
  std::uint32_t end = 0;             // one past the last term to add
  double sum = 0.0;
  double stop_at = 0.0;
  bool early_stop = false;
  bool stopped = false;  // the early stop was reached at term next - 1

  // Adds the next term, if one is left.
  [[gnu::always_inline]] void Step() {
    if (next < end) {
      const double residual = observed[next] - values[next];
      sum += residual * residual;
      ++next;
      if (early_stop && sum >= stop_at) [[unlikely]] {
        stopped = true;
        end = next;
      }
    }
  }
};

// EvaluateBlock for a prepared (usable) program, leaving each computed slot's values in its row of
// `workspace`, except the last slot's, which are in `values`. With the block's x and y values in
// contiguous rows `xs` and `ys` (either may be null when the program does not read it) and,
// optionally, rows kept from an evaluation of the same points by a program that computes the
// skipped slots the same way. Same result and same meaning of false as EvaluateBlock.
// With a `chain`, the arithmetic loops on rows of a program that it rides (ChainRides) add its
// terms along, spread evenly over them; the terms left are FinishBlockTermChain's. With
// `in_range`, sets it to whether the evaluation found every value within [-1e302, 1e302] on the
// way, which it tests when the last slot is arithmetic (false: not tested, or a value outside).
bool RunBlockProgram(const BlockProgram& program, const double* xs, const double* ys,
                     std::uint32_t count, BlockWorkspace& workspace, double* values,
                     const KeptRows* kept = nullptr, BlockTermChain* chain = nullptr,
                     bool* in_range = nullptr);

// The vector widths the block loops are compiled for. A run uses the widest the processor has;
// every width gives the same bits, since each element is the same IEEE operation.
enum class BlockLoopWidth : std::int8_t { Baseline, Avx2, Avx512 };
BlockLoopWidth WidestBlockLoopWidth();
// Makes the block loops use `width` (tests, to compare the widths), if the processor has it;
// false and no change otherwise. Call it between sums, never during one.
bool SelectBlockLoopWidth(BlockLoopWidth width);

// The x and y values of points[0], points[interval], ... (`count` of them) into the contiguous
// rows xs and ys that RunBlockProgram reads.
void CopyPointRows(const Point* points, std::uint32_t interval, std::uint32_t count, double* xs,
                   double* ys);

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

// AddBlockTerms with the observed values of the block's points in the contiguous row
// `observed` (null: read from the task's points).
// `in_range`: RunBlockProgram found every value within range (they are not tested again unless
// the task asks for the overflow test).
void AddBlockTermsFrom(CompiledFormula& formula, const SumOfSquaresTask& task, std::uint32_t block,
                       const double* values, const double* observed, bool clean,
                       BlockSumCursor& cursor, std::int8_t& status, FormulaMessages* messages,
                       bool in_range = false);

// Starts `chain` on the terms of block `block` of `task` when AddBlockTermsFrom would add them from
// the values alone: `clean`, every value within range and, with the overflow test, every residual
// below the limit (tested here, in vectors, but for the range when `in_range` says RunBlockProgram
// found it), the observed values in the contiguous row `observed`.
// False otherwise, or when the cursor has stopped: AddBlockTermsFrom must then add the block.
bool StartBlockTermChain(const SumOfSquaresTask& task, std::uint32_t block, const double* values,
                         const double* observed, bool clean, const BlockSumCursor& cursor,
                         BlockTermChain& chain, bool in_range = false);

// Adds the terms that a started chain has not added yet and moves `cursor` past block `block`,
// exactly as AddBlockTermsFrom would have.
void FinishBlockTermChain(const SumOfSquaresTask& task, std::uint32_t block, BlockTermChain& chain,
                          BlockSumCursor& cursor);

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
