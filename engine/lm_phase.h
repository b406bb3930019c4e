#pragma once

#include <cstdint>

#include "engine/fit_context.h"
#include "engine/parallel_sums.h"

namespace calvane {

// How the Levenberg-Marquardt phase ended.
enum class LmEnd : std::uint8_t {
  kConverged,       // the tolerances were met
  kIterationLimit,  // LmIterationLimit(n) iterations, or the evaluation budget, ran out
  kEvaluationError,
  kOverflow,
  kTooFewPoints,  // fewer sum points than constants: nothing to do
  kAborted,
};

struct LmSummary {
  LmEnd end = LmEnd::kConverged;
  std::uint32_t iterations = 0;   // accepted iterations
  std::uint32_t evaluations = 0;  // residual vectors computed (Jacobian columns not counted)
  bool kept = false;              // the phase's best point replaced CurrentValue
};

// The most iterations the phase makes with n constants.
std::uint32_t LmIterationLimit(int n);

// The step of the forward difference of constant v at `value`: a hundredth of its accuracy, but
// at least sqrt(machine epsilon) * |value|, so that the difference keeps half the digits.
double LmDifferenceStep(double accuracy, double value);

// The Levenberg-Marquardt phase (MINPACK's lmder through cminpack), from CurrentValue: every
// point it evaluates is first moved into the bounds VarRegionL..VarRegionU (constant by
// constant; bounds widened to take in CurrentValue where it lies outside them), the Jacobian is a
// forward difference with LmDifferenceStep (backward where the forward step would leave the
// bounds), and the residuals are computed by LmResiduals with `settings`. The best point evaluated
// replaces CurrentValue (and MinSquare becomes its sum) only when its sum is lower than the sum at
// CurrentValue; otherwise nothing changes. Shows
// "--- LM法フェーズ ---", the iteration in the step line, the evaluations in the cycle line and
// the sum of squares in the message area; logs the start sum, each accepted iteration's sum and
// the end. Pause (snapshot of the best point) and abort work as in the lattice search; abort
// keeps the best point under the same rule and returns kStopped. An evaluation error or an
// overflow ends the phase with a message (EvalStatus becomes -10); a kept point on a bound
// shows the bound message once per run (EvalStatus 0 -> -1).
// Thread: the worker thread.
PhaseEnd LevenbergMarquardtPhase(FitContext& ctx, double& MinSquare, int n, std::int8_t& EvalStatus,
                                 SumSettings settings, LmSummary* summary = nullptr);

}  // namespace calvane
