#include "engine/lm_residuals.h"

#include <cmath>
#include <cstring>
#include <exception>

#include "formula/eval_functions.h"
#include "formula/evaluator.h"

namespace calvane {
namespace {

// The residuals observed - model of `count` model values, in place. False when a model value is
// out of the block evaluator's range or not a number (the block must go point by point); `large`
// is set when a residual reaches the overflow limit. Written without branches, so that it
// vectorises.
bool BlockResiduals(double* __restrict values, const double* __restrict observed,
                    std::uint32_t count, bool& large) {
  int out_of_range = 0;
  int too_large = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const double model = values[i];
    const double residual = observed[i] - model;
    values[i] = residual;
    out_of_range |= static_cast<int>(eval::OutsideRange(model));
    too_large |= static_cast<int>(!(std::fabs(residual) < kOverflowResidual));
  }
  large = too_large != 0;
  return out_of_range == 0;
}

// Forward-difference column entries (residual - base) / step, in place.
void DifferenceColumn(double* __restrict values, const double* __restrict base, double step,
                      std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) values[i] = (values[i] - base[i]) / step;
}

}  // namespace

LmResiduals::LmResiduals(const CompiledFormula& formula, const SumPoints& points,
                         SumSettings settings)
    : points_(points), settings_(settings) {
  const std::uint32_t interval = points_.interval == 0 ? 1u : points_.interval;
  points_.interval = interval;
  size_ = points_.count == 0 ? 0 : (points_.count - 1) / interval + 1;
  xs_.resize(size_);
  ys_.resize(size_);
  CopyPointRows(points_.points, interval, size_, xs_.data(), ys_.data());
  observed_ = points_.observed_is_x ? xs_.data() : ys_.data();
  own_.formula.CopyFrom(formula);
  if (settings_.blocks) own_.workspace = std::make_unique<BlockWorkspace>();
  own_.first = 0;
  own_.end = size_;
  if (!settings_.blocks || settings_.two_thread_residual_points == 0 ||
      size_ < settings_.two_thread_residual_points) {
    return;
  }
  // Two halves, split at a block boundary.
  const std::uint32_t split = BlockCount(size_ / 2) * kBlockPoints;
  if (split == 0 || split >= size_) return;
  try {
    helper_half_ = std::make_unique<Half>();
    helper_half_->formula.CopyFrom(formula);
    helper_half_->workspace = std::make_unique<BlockWorkspace>();
    helper_half_->first = split;
    helper_half_->end = size_;
    own_.end = split;
    helper_ = std::make_unique<HelperThread>(
        [this](std::uint64_t, std::uint64_t) { EvaluateHalf(*helper_half_); });
  } catch (const std::exception&) {
    // No second thread to be had: everything on this one.
    helper_half_.reset();
    own_.end = size_;
  }
}

// The helper ends before the half it evaluates.
LmResiduals::~LmResiduals() { helper_.reset(); }

double LmResiduals::SumOfSquares(const double* residuals, std::uint32_t size) {
  double sum = 0.0;
  for (std::uint32_t i = 0; i < size; ++i) sum += residuals[i] * residuals[i];
  return sum;
}

void LmResiduals::PlanReuse(Half& half, const BlockProgram& program, int n) {
  Reuse& reuse = half.reuse;
  reuse.planned = true;
  int total = 0;
  for (int v = 0; v < n && v < kMaxConstants; ++v) {
    KeptRowPlan& plan = reuse.plans[v];
    if (!MakeKeptRowPlan(program, v, plan) || !plan.skips_a_call ||
        total + plan.rows > KeptRows::kMaxRows) {
      plan.rows = 0;
      continue;
    }
    total += plan.rows;
  }
  const std::size_t length = half.end - half.first;
  reuse.data.assign(length * static_cast<std::size_t>(total), 0.0);
  std::size_t next = 0;
  for (int v = 0; v < n && v < kMaxConstants; ++v) {
    for (int k = 0; k < reuse.plans[v].rows; ++k) {
      reuse.rows[v][k] = reuse.data.data() + length * next++;
    }
  }
}

int LmResiduals::ReusableFor(const Half& half, const double* values, int n,
                             const BlockProgram& program) {
  const Reuse& reuse = half.reuse;
  int moved = -1;
  for (int v = 0; v < n && v < kMaxConstants; ++v) {
    if (std::memcmp(&values[v], &reuse.values[v], sizeof(double)) == 0) continue;
    if (moved >= 0) return -1;
    moved = v;
  }
  if (moved < 0 || reuse.plans[moved].rows == 0) return -1;
  return SameProgramExcept(program, reuse.program, moved) ? moved : -1;
}

void LmResiduals::EvaluateHalf(Half& half) {
  half.results.assign(static_cast<std::size_t>(job_count_), ResidualResult{});
  const std::uint32_t interval = points_.interval;
  const double* const observed = observed_;
  // A lone set of values (lmder's residuals at a point) keeps its rows for the Jacobian probes
  // that may follow from that point.
  const bool record = half.workspace && job_base_ == nullptr && job_count_ == 1;
  Reuse& reuse = half.reuse;
  BlockProgram program;
  for (int c = 0; c < job_count_; ++c) {
    for (int v = 0; v < job_n_ && v < kMaxConstants; ++v) {
      half.formula.paramValue[v] = job_values_[c][v];
    }
    double* const out = job_out_[c];
    ResidualResult& result = half.results[static_cast<std::size_t>(c)];
    bool failed = false;
    // One point by the single-point evaluator; false when it fails.
    auto single = [&](std::uint32_t i) {
      const Point& point = points_.points[std::size_t{i} * interval];
      std::int8_t status = 0;
      const double model = EvaluateFormula(half.formula, point, status, nullptr);
      if (status > 0) {
        result = {ResidualOutcome::kEvaluationError, i};
        return false;
      }
      out[i] = observed[i] - model;
      return true;
    };
    // The program is resolved once per set of values; a program the blocks cannot run goes point
    // by point.
    bool blocks = false;
    if (half.workspace) {
      PrepareBlockProgram(half.formula, program);
      blocks = program.usable;
    }
    int reused = -1;  // the constant whose kept rows this set reads
    bool keep = false;
    if (blocks && record) {
      if (!reuse.planned) PlanReuse(half, program, job_n_);
      reuse.valid = false;
      keep = !reuse.data.empty();
    } else if (blocks && reuse.valid) {
      reused = ReusableFor(half, job_values_[c], job_n_, program);
    }
    bool all_kept = keep;
    for (std::uint32_t first = half.first; first < half.end && !failed; first += kBlockPoints) {
      const std::uint32_t count = half.end - first < kBlockPoints ? half.end - first : kBlockPoints;
      const std::uint32_t offset = first - half.first;
      const double* const xs = program.needs_x ? xs_.data() + first : nullptr;
      const double* const ys = program.needs_y ? ys_.data() + first : nullptr;
      bool clean = false;
      if (reused >= 0) {
        const KeptRowPlan& plan = reuse.plans[reused];
        const double* from[KeptRows::kMaxRows] = {};
        for (int k = 0; k < plan.rows; ++k) from[k] = reuse.rows[reused][k] + offset;
        const KeptRows kept = ReadKeptRows(plan, from);
        clean = RunBlockProgram(program, xs, ys, count, *half.workspace, out + first, &kept);
        ++reuse.blocks_read;
      } else if (blocks) {
        clean = RunBlockProgram(program, xs, ys, count, *half.workspace, out + first);
        if (keep && clean) {
          // Before the values become residuals: the last slot's values may be among those kept.
          for (int v = 0; v < job_n_ && v < kMaxConstants; ++v) {
            double* to[KeptRows::kMaxRows] = {};
            for (int k = 0; k < reuse.plans[v].rows; ++k) to[k] = reuse.rows[v][k] + offset;
            KeepBlockRows(program, reuse.plans[v], *half.workspace, out + first, count, to);
          }
        }
      }
      // The residuals, and whether every model value was in range (else the block goes point by
      // point) and every residual below the overflow limit.
      bool large = false;
      if (clean) clean = BlockResiduals(out + first, observed + first, count, large);
      if (!clean) {
        all_kept = false;
        for (std::uint32_t i = first; i < first + count && !failed; ++i) failed = !single(i);
      }
      if (!clean || large) {
        for (std::uint32_t i = first; i < first + count && !failed; ++i) {
          if (std::fabs(out[i]) >= kOverflowResidual) {
            result = {ResidualOutcome::kOverflow, i};
            failed = true;
          }
        }
      }
      if (!failed && job_base_ != nullptr) {
        DifferenceColumn(out + first, job_base_ + first, job_steps_[c], count);
      }
    }
    if (keep && all_kept && !failed) {
      CopyBlockProgram(program, reuse.program);
      for (int v = 0; v < job_n_ && v < kMaxConstants; ++v) reuse.values[v] = job_values_[c][v];
      reuse.valid = true;
    }
  }
}

ResidualResult LmResiduals::Differences(int count, const double* const* values, int n,
                                        const double* base, const double* steps,
                                        double* const* out) {
  job_base_ = base;
  job_steps_ = steps;
  const ResidualResult result = Evaluate(count, values, n, out);
  job_base_ = nullptr;
  job_steps_ = nullptr;
  return result;
}

ResidualResult LmResiduals::Evaluate(int count, const double* const* values, int n,
                                     double* const* out) {
  job_count_ = count;
  job_n_ = n;
  job_values_ = values;
  job_out_ = out;
  if (helper_ != nullptr) {
    helper_->Post();
    EvaluateHalf(own_);
    helper_->Wait();
  } else {
    EvaluateHalf(own_);
  }
  // The first failure in point order: the own half holds the lower points.
  for (int c = 0; c < count; ++c) {
    const ResidualResult& mine = own_.results[static_cast<std::size_t>(c)];
    if (mine.outcome != ResidualOutcome::kClean) return mine;
    if (helper_ != nullptr) {
      const ResidualResult& theirs = helper_half_->results[static_cast<std::size_t>(c)];
      if (theirs.outcome != ResidualOutcome::kClean) return theirs;
    }
  }
  return {};
}

}  // namespace calvane
