#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/helper_thread.h"
#include "engine/parallel_sums.h"
#include "engine/sum_of_squares.h"
#include "formula/block_evaluator.h"
#include "formula/compiled_formula.h"

namespace calvane {

// How an evaluation of the residuals went.
enum class ResidualOutcome : std::uint8_t {
  kClean,            // every residual computed
  kEvaluationError,  // the model raised an evaluation status at some point
  kOverflow,         // some residual reached 1e100 in magnitude
};

struct ResidualResult {
  ResidualOutcome outcome = ResidualOutcome::kClean;
  std::uint32_t point = 0;  // the first sum point (position in the sum) that failed
};

// The residuals (observed - model) of the sum points of a run at given values of the constants,
// for the Levenberg-Marquardt phase. Each residual is the double that EvaluateFormula gives at
// that point, whichever path computes it: point by point (settings.blocks false), in blocks, or
// in blocks on two threads (from settings.two_thread_residual_points sum points on; each takes one
// half of the points of every evaluation). Evaluations never touch the run's formula: each
// thread works on its own copy, made once, so nothing here shows a message or changes a status.
// Thread: made, used and destroyed on one thread (the worker); the helper thread lives as long
// as the object.
class LmResiduals {
 public:
  LmResiduals(const CompiledFormula& formula, const SumPoints& points, SumSettings settings);
  ~LmResiduals();
  LmResiduals(const LmResiduals&) = delete;
  LmResiduals& operator=(const LmResiduals&) = delete;

  // The number of sum points (residuals per evaluation).
  std::uint32_t size() const { return size_; }
  bool two_threads() const { return helper_ != nullptr; }

  // For each of `count` sets of constant values (values[c][0..n)), the residuals into
  // out[c][0..size()). The result is the first failure of the lowest set that failed; the
  // residuals of a failed set are meaningless.
  ResidualResult Evaluate(int count, const double* const* values, int n, double* const* out);

  // Evaluate, with each residual vector turned into a forward-difference column:
  // out[c][i] = (residual_c[i] - base[i]) / steps[c], where `base` holds the residuals at the
  // point the sets were moved from and steps[c] the distance set c moved.
  ResidualResult Differences(int count, const double* const* values, int n, const double* base,
                             const double* steps, double* const* out);

  // Blocks computed so far from rows kept from an earlier evaluation (tests, benchmarks).
  std::uint64_t kept_blocks_read() const {
    return own_.reuse.blocks_read + (helper_half_ ? helper_half_->reuse.blocks_read : 0);
  }

  // The sum of squared residuals in point order, as FullSum adds them.
  static double SumOfSquares(const double* residuals, std::uint32_t size);

 private:
  // Rows kept from the last evaluation of a single set of values, for later sets that move one
  // constant away from it (a Jacobian's probes): the slots that do not depend on that constant
  // are not computed again. Kept only for constants whose skipped slots call a function (for
  // k0*Exp(...), the probes of k0 call no Exp).
  struct Reuse {
    bool planned = false;
    KeptRowPlan plans[kMaxConstants];                      // rows 0: nothing kept for that constant
    double* rows[kMaxConstants][KeptRows::kMaxRows] = {};  // each constant's rows, whole length
    std::vector<double> data;
    BlockProgram program;  // of the evaluation the rows come from
    double values[kMaxConstants] = {};
    bool valid = false;  // every block of that evaluation was clean and its rows kept
    std::uint64_t blocks_read = 0;
  };

  struct Half {
    CompiledFormula formula;
    std::unique_ptr<BlockWorkspace> workspace;
    std::uint32_t first = 0;  // sum points first..end of every evaluation
    std::uint32_t end = 0;
    std::vector<ResidualResult> results;  // per set of the current job
    Reuse reuse;
  };

  void EvaluateHalf(Half& half);
  static void PlanReuse(Half& half, const BlockProgram& program, int n);
  // The constant that set `values` moves away from the kept evaluation, when it moves exactly
  // one whose rows are kept and the program is otherwise the same; else -1.
  static int ReusableFor(const Half& half, const double* values, int n,
                         const BlockProgram& program);

  SumPoints points_;
  SumSettings settings_;
  std::uint32_t size_ = 0;
  // x, y and the observed value of every sum point, in contiguous rows made once.
  std::vector<double> xs_;
  std::vector<double> ys_;
  const double* observed_ = nullptr;
  Half own_;
  std::unique_ptr<Half> helper_half_;

  // The current job, written while the helper waits.
  int job_count_ = 0;
  int job_n_ = 0;
  const double* const* job_values_ = nullptr;
  double* const* job_out_ = nullptr;
  const double* job_base_ = nullptr;  // non-null: the job makes difference columns
  const double* job_steps_ = nullptr;

  std::unique_ptr<HelperThread> helper_;  // evaluates helper_half_
};

}  // namespace calvane
