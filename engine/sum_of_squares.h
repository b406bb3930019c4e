#pragma once

#include <cmath>
#include <cstdint>

#include "app/app_state.h"
#include "base/point_table.h"
#include "engine/fit_context.h"
#include "engine/parallel_sums.h"
#include "formula/compiled_formula.h"
#include "formula/evaluator.h"

namespace calvane {

// The points that enter every sum of one run: 0, d, 2d, ... below count, and the field that
// holds the observed value (the left side: x for 1, y otherwise).
struct SumPoints {
  const Point* points = nullptr;
  std::uint32_t count = 0;
  std::uint32_t interval = 1;
  bool observed_is_x = false;
  SumWorkers* workers = nullptr;  // null: one EvaluateFormula call per point
  int varied_constant = -1;       // SumOfSquaresTask::varied_constant: a hint for speed
};

// The sum points of `state` (an interval of 0 counts as 1, so that a sum always ends), summed
// by `workers` (null: point by point).
inline SumPoints MakeSumPoints(const AppState& state, SumWorkers* workers = nullptr) {
  SumPoints p;
  p.workers = workers;
  p.points = state.points.records.data();
  p.count = state.points.count <= kMaxPoints ? state.points.count : kMaxPoints;
  p.interval = state.conditions.dataInterval == 0 ? 1u : state.conditions.dataInterval;
  p.observed_is_x = state.conditions.leftSide == LeftSide::X;
  return p;
}

inline double ObservedValue(const SumPoints& p, const Point& point) {
  return p.observed_is_x ? point.x : point.y;
}

struct SumResult {
  double sum = 0.0;
  bool overflow = false;  // a residual reached 1e100 (only when checked); the sum stopped there
};

// The task of a sum over `p`, for SumWorkers.
inline SumOfSquaresTask SumTaskOf(const SumPoints& p, bool early_stop, double stop_at,
                                  bool check_overflow) {
  SumOfSquaresTask task;
  task.points = p.points;
  task.count = p.count;
  task.interval = p.interval;
  task.observed_is_x = p.observed_is_x;
  task.early_stop = early_stop;
  task.stop_at = stop_at;
  task.check_overflow = check_overflow;
  task.overflow_limit = kOverflowResidual;
  task.varied_constant = p.varied_constant;
  return task;
}

// The sum of squared residuals over the sum points at formula.paramValue, added in point order
// into a double starting at 0. With kEarlyStop the sum stops as soon as the partial sum is
// greater than or equal to `stop_at` (such a sum can no longer win). With kOverflowCheck each
// residual is tested before its term is added; one of magnitude 1e100 or more stops the sum with
// overflow set. `status` is the evaluator's status byte. Through p.workers the points are
// evaluated in blocks (and above a threshold on two threads) with the same results; without, one
// evaluation per point. Nothing allocates.
template <bool kEarlyStop, bool kOverflowCheck>
inline SumResult SumOfSquaresOf(CompiledFormula& formula, const SumPoints& p, double stop_at,
                                std::int8_t& status, FormulaMessages* messages) {
  SumResult result;
  if (p.workers != nullptr) {
    const SumOfSquaresTask task = SumTaskOf(p, kEarlyStop, stop_at, kOverflowCheck);
    const SumOfSquaresResult r = p.workers->Sum(formula, task, status, messages);
    result.sum = r.sum;
    result.overflow = r.overflow;
    return result;
  }
  double sum = 0.0;
  const std::uint32_t count = p.count;
  const std::uint32_t step = p.interval;
  const Point* const points = p.points;
  // The observed field as a member offset chosen once, so the loop reads it without a branch.
  double Point::*const observed = p.observed_is_x ? &Point::x : &Point::y;
  for (std::uint32_t i = 0; i < count; i += step) {
    const Point& point = points[i];
    const double model = EvaluateFormula(formula, point, status, messages);
    const double residual = point.*observed - model;
    if constexpr (kOverflowCheck) {
      if (std::fabs(residual) >= kOverflowResidual) {
        result.sum = sum;
        result.overflow = true;
        return result;
      }
    }
    sum += residual * residual;
    if constexpr (kEarlyStop) {
      if (sum >= stop_at) break;
    }
  }
  result.sum = sum;
  return result;
}

// The full sum (no early stop, no overflow test).
inline double FullSum(CompiledFormula& formula, const SumPoints& p, std::int8_t& status,
                      FormulaMessages* messages) {
  return SumOfSquaresOf<false, false>(formula, p, 0.0, status, messages).sum;
}

// The sum that stops once it reaches `stop_at`.
inline double EarlyStopSum(CompiledFormula& formula, const SumPoints& p, double stop_at,
                           std::int8_t& status, FormulaMessages* messages) {
  return SumOfSquaresOf<true, false>(formula, p, stop_at, status, messages).sum;
}

// The full sum with the overflow test of a phase's start.
inline SumResult CheckedSum(CompiledFormula& formula, const SumPoints& p, std::int8_t& status,
                            FormulaMessages* messages) {
  return SumOfSquaresOf<false, true>(formula, p, 0.0, status, messages);
}

// Announces the sum of `formula` at its present constants as the one after the next: a full sum,
// or with `early_stop` one that will stop at `stop_bound` or below (SumWorkers::Anticipate). The
// workers may compute it meanwhile; without workers nothing happens.
inline void AnticipateSum(const CompiledFormula& formula, const SumPoints& p, bool early_stop,
                          double stop_bound) {
  if (p.workers != nullptr) {
    p.workers->Anticipate(formula, SumTaskOf(p, early_stop, stop_bound, false));
  }
}

// A sum as it takes part in comparisons and becomes MinSquare: one that is not a number counts as
// the value of a sum that cannot be computed, so that it never wins.
inline double ComparableSum(double sum) { return std::isnan(sum) ? kUncomputableSum : sum; }

}  // namespace calvane
