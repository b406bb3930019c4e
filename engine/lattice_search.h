#pragma once

#include <cstdint>

#include "engine/fit_context.h"

namespace calvane {

// One least-squares step: a derivative-free search on the lattice whose spacing is each
// variable's Accuracy_, from ctx.state.engine.CurrentValue. Coarse cycles probe the scan offsets
// -10, -1, +1, +10 (full sums) with a move of twice the winning offset and, from StepCounter 2
// on, a jump predicted from the four sums; after a coarse cycle without a win the last winning
// move is pulled back by its probe offset and fine cycles probe -1, +1 (sums that stop once they
// reach MinSquare) until a fine cycle wins nothing. The reached point is then committed to
// CurrentValue, the bound warning is shown once per run, and the step's lines are logged.
// `MinSquare` is set from the step's starting sum; `EvalStatus` is the run's status byte.
// Returns kStopped (the worker ends with code 2) when a residual at the start reaches 1e100
// (message, CurrentValue unchanged) or on abort (the reached point committed). While the
// workflow state is -1 it shows the pause snapshot and waits between two variables.
// Thread: the worker thread.
PhaseEnd LeastSquaresStep(FitContext& ctx, double& MinSquare, int n, std::int8_t& EvalStatus);

// The jump target of a coarse scan from its four probe sums (at -10, -1, +1, +10):
// trunc(-10 * (S3 - S2) / ((S3 - S2) - (S1 - S0)) + 5). Returns false when the prediction is not
// finite or lies outside the signed 32-bit range; such a jump is not tried.
bool PredictJump(const double (&probe_sums)[4], std::int32_t& jump);

}  // namespace calvane
