#include "engine/lattice_search.h"

#include <cmath>
#include <limits>
#include <span>

#include "engine/engine_messages.h"
#include "engine/paused_run.h"
#include "engine/sum_of_squares.h"

namespace calvane {
namespace {

// The lattice point of variable v at `lattice_offset` spacings from CurrentValue[v].
inline double LatticeValue(const EngineState& engine, int v, std::int64_t lattice_offset) {
  return engine.CurrentValue[v] + static_cast<double>(lattice_offset) * engine.Accuracy_[v];
}

// The scan offsets of a coarse cycle and of a fine one, in the order they are probed.
constexpr int kCoarseScan[] = {-10, -1, 1, 10};
constexpr int kFineScan[] = {-1, 1};

// The probe sum slot of scan offset k: trunc(k * 0.15 + 2) (-10 -> 0, -1 -> 1, +1 -> 2, +10 -> 3).
inline int ProbeSlot(int k) { return static_cast<int>(k * 0.15 + 2.0); }

// Adds `move` to `offset` unless the 64-bit offset would overflow (a search would need billions
// of cycles to get there); returns false then and leaves `offset` as it was.
inline bool AddMove(std::int64_t& offset, std::int64_t move) {
  std::int64_t sum = 0;
  if (__builtin_add_overflow(offset, move, &sum)) return false;
  offset = sum;
  return true;
}

// Commits the reached point: CurrentValue[v] = CurrentValue[v] + offset[v] * Accuracy_[v].
void Commit(AppState& state, std::int64_t (&offset)[kMaxConstants], int n) {
  EngineState& engine = state.engine;
  for (int v = 0; v < n; ++v) {
    engine.CurrentValue[v] = LatticeValue(engine, v, offset[v]);
    state.formula.paramValue[v] = engine.CurrentValue[v];
    offset[v] = 0;
  }
}

// The pause and abort check between two variables. Returns false on abort, after committing
// the reached point.
bool PauseAndAbortCheck(FitContext& ctx, std::int64_t (&offset)[kMaxConstants], int n) {
  const bool go_on = WaitWhilePaused(ctx, [&ctx, &offset, n] {
    const EngineState& engine = ctx.state.engine;
    double reached[kMaxConstants];
    for (int v = 0; v < kMaxConstants; ++v) {
      reached[v] = v < n ? LatticeValue(engine, v, offset[v]) : engine.CurrentValue[v];
    }
    ShowReachedPoint(ctx, reached, n);
  });
  if (!go_on) Commit(ctx.state, offset, n);
  return go_on;
}

}  // namespace

bool PredictJump(const double (&probe_sums)[4], std::int32_t& jump) {
  const double outer = probe_sums[3] - probe_sums[2];
  const double inner = probe_sums[1] - probe_sums[0];
  const double prediction = -10.0 * outer / (outer - inner) + 5.0;
  if (!std::isfinite(prediction)) return false;
  const double truncated = std::trunc(prediction);
  if (truncated < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
      truncated > static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
    return false;
  }
  jump = static_cast<std::int32_t>(truncated);
  return true;
}

PhaseEnd LeastSquaresStep(FitContext& ctx, double& MinSquare, int n, std::int8_t& EvalStatus) {
  AppState& state = ctx.state;
  EngineState& engine = state.engine;
  CompiledFormula& formula = state.formula;
  FormulaMessages* messages = ctx.messages;
  const SumPoints points = MakeSumPoints(state, ctx.sums);
  if (n > kMaxConstants) n = kMaxConstants;

  std::int64_t offset[kMaxConstants] = {};

  // Starting sum at the present paramValue, with the overflow test.
  const SumResult start = CheckedSum(formula, points, EvalStatus, messages);
  if (start.overflow) {
    ctx.view.SetMessage(text::kMsgSquareOverflow);
    return PhaseEnd::kStopped;
  }
  if (EvalStatus > 0) {
    MinSquare = kUncomputableSum;
    EvalStatus = -10;
  } else {
    MinSquare = ComparableSum(start.sum);
  }

  bool coarse = true;
  int last_variable = -1;
  std::int32_t last_offset = 0;
  double probe_sums[4] = {0.0, 0.0, 0.0, 0.0};
  const bool jumps_allowed = engine.StepCounter.load(std::memory_order_relaxed) >= 2;

  for (;;) {
    engine.CycleCounter.fetch_add(1, std::memory_order_relaxed);
    bool improved = false;
    for (int r = 0; r < n; ++r) {
      std::int64_t move = 0;
      // The probes of r change only r: the sums may keep what does not depend on it.
      SumPoints probes = points;
      probes.varied_constant = r;
      const std::span<const int> scan =
          coarse ? std::span<const int>(kCoarseScan) : std::span<const int>(kFineScan);
      for (std::size_t i = 0; i < scan.size(); ++i) {
        const int k = scan[i];
        if (i % 2 == 0 && i + 1 < scan.size()) {
          // The probes come in pairs: the second may be summed beside the first. Its early stop
          // will be at MinSquare as the first leaves it, no higher than now.
          formula.paramValue[r] = LatticeValue(engine, r, offset[r] + scan[i + 1]);
          AnticipateSum(formula, probes, !coarse, MinSquare);
        }
        formula.paramValue[r] = LatticeValue(engine, r, offset[r] + k);
        double sum = coarse ? FullSum(formula, probes, EvalStatus, messages)
                            : EarlyStopSum(formula, probes, MinSquare, EvalStatus, messages);
        probe_sums[ProbeSlot(k)] = sum;
        if (EvalStatus > 0) {
          sum = kUncomputableSum;
          EvalStatus = -10;
        }
        sum = ComparableSum(sum);
        if (sum < MinSquare) {
          MinSquare = sum;
          improved = true;
          move = coarse ? k * 2 : k;
          last_variable = r;
          last_offset = k;
        }
      }

      std::int32_t jump = 0;
      if (coarse && jumps_allowed && PredictJump(probe_sums, jump) && (jump <= -20 || jump >= 20)) {
        formula.paramValue[r] = LatticeValue(engine, r, offset[r] + jump);
        double sum = EarlyStopSum(formula, probes, MinSquare, EvalStatus, messages);
        if (EvalStatus > 0) {
          sum = kUncomputableSum;
          EvalStatus = -10;
        }
        sum = ComparableSum(sum);
        if (sum < MinSquare) {
          MinSquare = sum;
          improved = true;
          move = jump;
          last_offset = 0;
          last_variable = -1;
        }
      }

      AddMove(offset[r], move);
      formula.paramValue[r] = LatticeValue(engine, r, offset[r]);

      if (!PauseAndAbortCheck(ctx, offset, n)) return PhaseEnd::kStopped;
    }

    if (improved) continue;
    if (!coarse) break;
    if (last_variable >= 0) {
      AddMove(offset[last_variable], -static_cast<std::int64_t>(last_offset));
      formula.paramValue[last_variable] =
          LatticeValue(engine, last_variable, offset[last_variable]);
    }
    coarse = false;
  }

  Commit(state, offset, n);

  bool out_of_bounds = false;
  for (int v = 0; v < n; ++v) {
    if (engine.CurrentValue[v] < engine.VarRegionL[v] ||
        engine.CurrentValue[v] > engine.VarRegionU[v]) {
      out_of_bounds = true;
    }
  }
  if (out_of_bounds && EvalStatus == 0) {
    ctx.view.SetMessage(text::kMsgBoundWarning);
    EvalStatus = -1;
  }

  CalculationLog& log = ctx.log;
  log.LabelledNumber(text::kStepLabel, static_cast<double>(engine.StepCounter.load()));
  log.Line(text::kLogIntermediate);
  for (int k = 0; k < kMaxConstants; ++k) {
    const std::uint8_t v = formula.paramIndex[k];
    if (v < kMaxConstants) log.Number(engine.CurrentValue[v]);
  }
  log.LabelledNumber(text::kLogMinSquare, MinSquare);
  const double recomputed = FullSum(formula, points, EvalStatus, messages);
  log.LabelledNumber(text::kLogMinSquareRecomputed, recomputed);
  log.Line("--------------------");
  return PhaseEnd::kContinue;
}

}  // namespace calvane
