#include "engine/lm_phase.h"

#include <cminpack.h>

#include <cmath>
#include <limits>
#include <vector>

#include "engine/engine_messages.h"
#include "engine/lm_residuals.h"
#include "engine/paused_run.h"
#include "engine/sum_of_squares.h"
#include "formula/number_text.h"

namespace calvane {
namespace {

// The tolerances of lmder: it stops once a step changes the sum, or the scaled constants, by a
// relative amount this small; near the machine precision, so that the constants reach every
// digit the data hold. The gradient test is off.
constexpr double kFunctionTolerance = 1e-15;
constexpr double kStepTolerance = 1e-15;
constexpr double kGradientTolerance = 0.0;
// The initial step bound of lmder, as a multiple of the scaled start (its own default).
constexpr double kStepFactor = 100.0;

// What the lmder callback keeps between its calls.
struct LmRun {
  FitContext* ctx = nullptr;
  int n = 0;
  LmResiduals* residuals = nullptr;
  const double* lower = nullptr;
  const double* upper = nullptr;
  const double* accuracy = nullptr;
  std::uint32_t iteration_limit = 0;

  double best[kMaxConstants] = {};
  double best_sum = kUncomputableSum;
  bool have_best = false;
  double last_logged_sum = kUncomputableSum;
  double last_iterate[kMaxConstants] = {};
  std::uint32_t iterations = 0;
  std::uint32_t evaluations = 0;
  bool started = false;  // the first iterate (the start) has been seen
  // lmder's first call asks for the residuals at the start, which the phase has computed
  // already (into the array lmder is handed): they are not computed twice.
  bool start_residuals_ready = false;
  LmEnd stop = LmEnd::kConverged;
  bool stopped = false;
  ResidualResult failure;
};

double Clamp(double value, double lower, double upper) {
  if (value < lower) return lower;
  if (value > upper) return upper;
  return value;
}

void Inside(const LmRun& run, const double* x, double* values) {
  for (int v = 0; v < run.n; ++v) values[v] = Clamp(x[v], run.lower[v], run.upper[v]);
}

void RefreshCounters(LmRun& run) {
  EngineState& engine = run.ctx->state.engine;
  engine.StepCounter.store(run.iterations, std::memory_order_relaxed);
  engine.CycleCounter.store(run.evaluations, std::memory_order_relaxed);
  run.ctx->view.RefreshCounters(run.iterations, run.evaluations);
}

// The pause and abort check; while paused the best point found is the snapshot. Returns false
// on abort.
bool PauseAndAbortCheck(LmRun& run) {
  return WaitWhilePaused(*run.ctx, [&run] {
    EngineState& engine = run.ctx->state.engine;
    engine.StepCounter.store(run.iterations, std::memory_order_relaxed);
    engine.CycleCounter.store(run.evaluations, std::memory_order_relaxed);
    double reached[kMaxConstants];
    for (int v = 0; v < kMaxConstants; ++v) {
      reached[v] = v < run.n && run.have_best ? run.best[v] : engine.CurrentValue[v];
    }
    ShowReachedPoint(*run.ctx, reached, run.n);
  });
}

int Stop(LmRun& run, LmEnd end) {
  run.stop = end;
  run.stopped = true;
  return -1;
}

// Residuals at the bounded point of `x` into fvec; remembers the best point. Returns false (and
// records the failure) when they cannot be computed.
bool Residuals(LmRun& run, const double* x, double* fvec) {
  double values[kMaxConstants] = {};
  Inside(run, x, values);
  const double* sets[1] = {values};
  double* outs[1] = {fvec};
  const ResidualResult result = run.residuals->Evaluate(1, sets, run.n, outs);
  ++run.evaluations;
  if (result.outcome != ResidualOutcome::kClean) {
    run.failure = result;
    return false;
  }
  const double sum = ComparableSum(LmResiduals::SumOfSquares(fvec, run.residuals->size()));
  if (sum < run.best_sum || !run.have_best) {
    run.best_sum = sum;
    run.have_best = true;
    for (int v = 0; v < run.n; ++v) run.best[v] = values[v];
  }
  return true;
}

// The forward-difference Jacobian at the bounded point of `x`, whose residuals are fvec.
bool Jacobian(LmRun& run, const double* x, const double* fvec, double* fjac, int ldfjac) {
  const int n = run.n;
  double base[kMaxConstants] = {};
  Inside(run, x, base);
  double probes[kMaxConstants][kMaxConstants] = {};
  double steps[kMaxConstants] = {};
  const double* sets[kMaxConstants] = {};
  double* outs[kMaxConstants] = {};
  for (int j = 0; j < n; ++j) {
    for (int v = 0; v < n; ++v) probes[j][v] = base[v];
    const double h = LmDifferenceStep(run.accuracy[j], base[j]);
    double probe = base[j] + h;
    if (probe > run.upper[j]) probe = base[j] - h;  // toward the inside
    probes[j][j] = probe;
    steps[j] = probe - base[j];  // the distance actually taken
    sets[j] = probes[j];
    outs[j] = fjac + static_cast<std::size_t>(j) * static_cast<std::size_t>(ldfjac);
  }
  const ResidualResult result = run.residuals->Differences(n, sets, n, fvec, steps, outs);
  if (result.outcome != ResidualOutcome::kClean) {
    run.failure = result;
    return false;
  }
  return true;
}

// An accepted iterate (lmder's Jacobian request or its printing call, whichever comes first):
// its sum goes to the log, the message area and the counters. The phase ends here once an iteration
// has moved every constant by less than a hundredth of its accuracy: the constants are then
// resolved far beyond what the user asked, and the iterations that lmder's own tests would still
// make only polish the last digits.
int Iterate(LmRun& run, const double* x, const double* fvec) {
  const double sum = ComparableSum(LmResiduals::SumOfSquares(fvec, run.residuals->size()));
  double point[kMaxConstants] = {};
  Inside(run, x, point);
  if (!run.started) {
    run.started = true;
    run.last_logged_sum = sum;
    for (int v = 0; v < run.n; ++v) run.last_iterate[v] = point[v];
    return 0;
  }
  if (!(sum < run.last_logged_sum)) return 0;  // the same point again (the closing call)
  ++run.iterations;
  run.last_logged_sum = sum;
  bool resolved = true;
  for (int v = 0; v < run.n; ++v) {
    if (!(std::fabs(point[v] - run.last_iterate[v]) <= run.accuracy[v] / 100.0)) resolved = false;
    run.last_iterate[v] = point[v];
  }
  CalculationLog& log = run.ctx->log;
  log.LabelledNumber(text::kLogLmIteration, static_cast<double>(run.iterations));
  log.LabelledNumber(text::kLogMinSquare, sum);
  run.ctx->view.SetMessage(std::string(text::kMsgLmSum) + FormatNumber(sum));
  RefreshCounters(run);
  if (resolved) return Stop(run, LmEnd::kConverged);
  if (run.iterations >= run.iteration_limit) return Stop(run, LmEnd::kIterationLimit);
  return 0;
}

int Callback(void* p, int m, int n, const double* x, double* fvec, double* fjac, int ldfjac,
             int iflag) {
  (void)m;
  (void)n;
  LmRun& run = *static_cast<LmRun*>(p);
  if (iflag == 0) return Iterate(run, x, fvec);
  if (!PauseAndAbortCheck(run)) return Stop(run, LmEnd::kAborted);
  if (iflag == 1) {
    if (run.start_residuals_ready) {
      run.start_residuals_ready = false;
      ++run.evaluations;
      return 0;
    }
    if (!Residuals(run, x, fvec)) {
      return Stop(run, run.failure.outcome == ResidualOutcome::kOverflow ? LmEnd::kOverflow
                                                                         : LmEnd::kEvaluationError);
    }
    if (run.evaluations % 8 == 0) RefreshCounters(run);
    return 0;
  }
  // lmder asks for the Jacobian at each accepted iterate before it reports the iterate: the
  // iterate is taken in here, so that a phase that ends there computes no Jacobian it will not
  // use (the report that follows finds it taken in already).
  if (Iterate(run, x, fvec) < 0) return -1;
  // The Jacobian is asked for at lmder's own iterate (the array the phase handed it), whose
  // residuals were computed at its point within the bounds: moving the iterate there changes
  // nothing lmder keeps, and its next steps start from inside the box instead of from a point
  // that the bounds hide.
  double* iterate = const_cast<double*>(x);
  Inside(run, iterate, iterate);
  if (!Jacobian(run, x, fvec, fjac, ldfjac)) {
    return Stop(run, run.failure.outcome == ResidualOutcome::kOverflow ? LmEnd::kOverflow
                                                                       : LmEnd::kEvaluationError);
  }
  return 0;
}

void LogValues(FitContext& ctx) {
  const CompiledFormula& formula = ctx.state.formula;
  for (int k = 0; k < kMaxConstants; ++k) {
    const std::uint8_t v = formula.paramIndex[k];
    if (v < kMaxConstants) ctx.log.Number(ctx.state.engine.CurrentValue[v]);
  }
}

}  // namespace

std::uint32_t LmIterationLimit(int n) { return 100u * static_cast<std::uint32_t>(n + 1); }

double LmDifferenceStep(double accuracy, double value) {
  const double relative = std::sqrt(std::numeric_limits<double>::epsilon()) * std::fabs(value);
  const double step = accuracy / 100.0;
  return step > relative ? step : relative;
}

PhaseEnd LevenbergMarquardtPhase(FitContext& ctx, double& MinSquare, int n, std::int8_t& EvalStatus,
                                 SumSettings settings, LmSummary* summary) {
  AppState& state = ctx.state;
  EngineState& engine = state.engine;
  CompiledFormula& formula = state.formula;
  if (n > kMaxConstants) n = kMaxConstants;
  if (n < 0) n = 0;

  ctx.log.Line(text::kLogLmPhase);
  engine.StepCounter.store(0, std::memory_order_relaxed);
  engine.CycleCounter.store(0, std::memory_order_relaxed);
  ctx.view.EnableButton(ProgressButton::kPause, true);
  ctx.view.SetStatusText(text::kCalculating);
  ctx.view.SetPhaseText(text::kPhaseLm);
  const std::uint32_t limit = LmIterationLimit(n);
  ctx.view.SetStepTotal(FormatNumber(static_cast<double>(limit)));
  ctx.view.SetCycleTotal("");
  ctx.view.SetCycleSlash("");
  ctx.view.RefreshCounters(0, 0);

  const SumPoints points = MakeSumPoints(state, ctx.sums);
  LmResiduals residuals(formula, points, settings);
  const std::uint32_t m = residuals.size();

  LmRun run;
  run.ctx = &ctx;
  run.n = n;
  run.residuals = &residuals;
  // The box of the phase: the bounds, widened to take in the point it starts from (a lattice
  // search or a rough estimate may have left a constant outside its bounds), so that the phase
  // starts exactly there and never takes a constant further out.
  double lower[kMaxConstants] = {};
  double upper[kMaxConstants] = {};
  for (int v = 0; v < n; ++v) {
    lower[v] = std::fmin(engine.VarRegionL[v], engine.CurrentValue[v]);
    upper[v] = std::fmax(engine.VarRegionU[v], engine.CurrentValue[v]);
  }
  run.lower = lower;
  run.upper = upper;
  run.accuracy = engine.Accuracy;
  run.iteration_limit = limit;

  // The phase starts at CurrentValue itself (the box takes it in); the sum there is the one
  // its result must beat.
  std::vector<double> fvec(m == 0 ? 1 : m);
  double reference = kUncomputableSum;
  double x[kMaxConstants] = {};
  Inside(run, engine.CurrentValue, x);
  int info = 0;
  if (n == 0 || m < static_cast<std::uint32_t>(n)) {
    const double* sets[1] = {engine.CurrentValue};
    double* outs[1] = {fvec.data()};
    if (residuals.Evaluate(1, sets, n, outs).outcome == ResidualOutcome::kClean) {
      reference = ComparableSum(LmResiduals::SumOfSquares(fvec.data(), m));
    }
    // A formula without constants has nothing to fit; too few points say so.
    if (n > 0) run.stop = LmEnd::kTooFewPoints;
    run.stopped = true;
  } else if (!Residuals(run, x, fvec.data())) {
    run.stop = run.failure.outcome == ResidualOutcome::kOverflow ? LmEnd::kOverflow
                                                                 : LmEnd::kEvaluationError;
    run.stopped = true;
  } else {
    reference = run.best_sum;
    ctx.log.LabelledNumber(text::kLogLmStartSum, run.best_sum);
    ctx.view.SetMessage(std::string(text::kMsgLmSum) + FormatNumber(run.best_sum));
    run.evaluations = 0;
    run.start_residuals_ready = true;
    const int mi = static_cast<int>(m);
    std::vector<double> fjac(std::size_t{m} * static_cast<std::size_t>(n));
    std::vector<double> wa4(m);
    double diag[kMaxConstants] = {};
    double qtf[kMaxConstants] = {};
    double wa1[kMaxConstants] = {};
    double wa2[kMaxConstants] = {};
    double wa3[kMaxConstants] = {};
    int ipvt[kMaxConstants] = {};
    int nfev = 0;
    int njev = 0;
    const int maxfev = 2 * static_cast<int>(limit);
    info = lmder(Callback, &run, mi, n, x, fvec.data(), fjac.data(), mi, kFunctionTolerance,
                 kStepTolerance, kGradientTolerance, maxfev, diag, /*mode=*/1, kStepFactor,
                 /*nprint=*/1, &nfev, &njev, ipvt, qtf, wa1, wa2, wa3, wa4.data());
    if (!run.stopped) {
      // lmder returns the last accepted point with its residuals.
      Iterate(run, x, fvec.data());
      if (info == 5) run.stop = LmEnd::kIterationLimit;
    }
  }
  RefreshCounters(run);

  // The end: why, and whether the best point is kept.
  switch (run.stop) {
    case LmEnd::kOverflow:
      ctx.view.SetMessage(text::kMsgLmOverflow);
      break;
    case LmEnd::kEvaluationError:
      ctx.view.SetMessage(text::kMsgLmEvaluationError);
      break;
    case LmEnd::kIterationLimit:
      ctx.view.SetMessage(text::kMsgLmIterationLimit);
      break;
    case LmEnd::kTooFewPoints:
      ctx.view.SetMessage(text::kMsgLmTooFewPoints);
      break;
    case LmEnd::kConverged:
    case LmEnd::kAborted:
      break;
  }
  if (run.stop == LmEnd::kOverflow || run.stop == LmEnd::kEvaluationError) {
    EvalStatus = -10;  // accounted for: no evaluator message or bound warning from here on
  }
  ctx.log.LabelledNumber(text::kLogLmEnd, static_cast<double>(info));
  const bool kept = run.have_best && run.best_sum < reference;
  if (kept) {
    for (int v = 0; v < n; ++v) engine.CurrentValue[v] = run.best[v];
    MinSquare = run.best_sum;
  } else if (reference < MinSquare) {
    MinSquare = reference;
  }
  for (int v = 0; v < n; ++v) formula.paramValue[v] = engine.CurrentValue[v];
  ctx.log.Line(kept ? text::kLogLmKept : text::kLogLmNotKept);
  if (summary != nullptr) {
    summary->end = run.stop;
    summary->iterations = run.iterations;
    summary->evaluations = run.evaluations;
    summary->kept = kept;
  }
  if (run.stop == LmEnd::kAborted) return PhaseEnd::kStopped;

  bool on_bound = false;
  for (int v = 0; v < n && kept; ++v) {
    if (engine.CurrentValue[v] <= lower[v] || engine.CurrentValue[v] >= upper[v]) on_bound = true;
  }
  if (on_bound && EvalStatus == 0) {
    ctx.view.SetMessage(text::kMsgLmAtBound);
    EvalStatus = -1;
  }

  ctx.log.Line(text::kLogIntermediate);
  LogValues(ctx);
  ctx.log.LabelledNumber(text::kLogMinSquare, MinSquare);
  std::int8_t status = EvalStatus;
  const double recomputed = FullSum(formula, points, status, nullptr);
  ctx.log.LabelledNumber(text::kLogMinSquareRecomputed, recomputed);
  ctx.log.Line(text::kLogSeparator);
  return PhaseEnd::kContinue;
}

}  // namespace calvane
