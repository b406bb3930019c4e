#include "engine/rough_estimate.h"

#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <utility>

#include "engine/engine_messages.h"
#include "formula/block_evaluator.h"

#include "engine/sum_of_squares.h"

namespace calvane {
namespace {

void LogMatrices(CalculationLog& log, std::string_view heading,
                 const double (&matrix)[kMaxConstants][kMaxConstants],
                 const double (&rhs)[kMaxConstants], int n) {
  log.Line(heading);
  log.Line("MatrixB");
  for (int r = 0; r < n; ++r) {
    for (int j = 0; j < n; ++j) log.Number(matrix[r][j]);
  }
  log.Line("MatrixA");
  for (int r = 0; r < n; ++r) log.Number(rhs[r]);
}

// Gives up: message, log line, and paramValue back at CurrentValue so that the least-squares
// phase starts its search from the point it sums at.
PhaseEnd GiveUp(FitContext& ctx, int n) {
  ctx.view.SetMessage(text::kMsgRoughGiveUp);
  ctx.log.Line(text::kLogRoughImpossible);
  for (int v = 0; v < n; ++v) ctx.state.formula.paramValue[v] = ctx.state.engine.CurrentValue[v];
  return PhaseEnd::kContinue;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Whether every value is within [-1e302, 1e302]: a point outside raises the evaluator's status 25.
bool AllWithinRange(const double* values, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!(std::fabs(values[i]) <= 1e302)) return false;
  }
  return true;
}

}  // namespace

// The programs of the base values and of the 2n probes, resolved once for every block of the
// phase. Probe p changes only the constant varied[p], so the slots that do not depend on it
// compute what the base evaluation computed: they are read from the base's rows (KeptRows)
// instead of computed again.
struct RoughPrograms {
  int count = 0;  // 1 + 2n: the base, the small-step probes, the accuracy probes
  BlockProgram program[1 + 2 * kMaxConstants];
  int varied[1 + 2 * kMaxConstants] = {};
  // Per constant: the base rows its probes read (0 rows: compute every slot).
  KeptRowPlan plan[kMaxConstants];
};

RoughScratch::RoughScratch() = default;
RoughScratch::~RoughScratch() = default;

bool RoughScratch::Reserve() {
  if (programs_ != nullptr && workspace_ != nullptr) return true;
  try {
    if (programs_ == nullptr) programs_ = std::make_unique_for_overwrite<RoughPrograms>();
    if (workspace_ == nullptr) workspace_ = std::make_unique<BlockWorkspace>();
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

namespace {

// The programs at paramValue (= CurrentValue) and at each probe's step. False when the program
// cannot be evaluated in blocks.
bool PrepareRoughPrograms(CompiledFormula& formula, const EngineState& engine, int n,
                          RoughPrograms& rp) {
  rp.count = 1 + 2 * n;
  PrepareBlockProgram(formula, rp.program[0]);
  if (!rp.program[0].usable) return false;
  rp.varied[0] = -1;
  for (int p = 1; p < rp.count; ++p) {
    const int c = p <= n ? p - 1 : p - 1 - n;
    const double step = p <= n ? engine.Accuracy[c] / 100.0 : engine.Accuracy[c];
    formula.paramValue[c] += step;
    PrepareBlockProgram(formula, rp.program[p]);
    formula.paramValue[c] = engine.CurrentValue[c];
    rp.varied[p] = c;
    if (!SameProgramExcept(rp.program[p], rp.program[0], c)) return false;
  }
  // Which base rows the probes of each constant read, as SumWorkers decides for a scan.
  for (int c = 0; c < n; ++c) MakeKeptRowPlan(rp.program[0], c, rp.plan[c]);
  return true;
}

}  // namespace

bool SolveGaussJordan(double (&matrix)[kMaxConstants][kMaxConstants], double (&rhs)[kMaxConstants],
                      int n) {
  for (int p = 0; p < n; ++p) {
    if (matrix[p][p] == 0.0) {
      int w = p + 1;
      while (w < n && matrix[w][p] == 0.0) ++w;
      if (w >= n) return false;
      for (int j = 0; j < n; ++j) std::swap(matrix[p][j], matrix[w][j]);
      std::swap(rhs[p], rhs[w]);
    }
    for (int w = 0; w < n; ++w) {
      if (w == p) continue;
      const double factor = matrix[w][p] / matrix[p][p];
      rhs[w] -= rhs[p] * factor;
      for (int j = 0; j < n; ++j) matrix[w][j] -= matrix[p][j] * factor;
    }
    const double pivot = matrix[p][p];
    rhs[p] /= pivot;
    for (int j = 0; j < n; ++j) matrix[p][j] /= pivot;
  }
  return true;
}

PhaseEnd RoughEstimate(FitContext& ctx, double& MinSquare, int n, std::int8_t& EvalStatus) {
  AppState& state = ctx.state;
  EngineState& engine = state.engine;
  CompiledFormula& formula = state.formula;
  FormulaMessages* messages = ctx.messages;
  CalculationLog& log = ctx.log;
  const SumPoints points = MakeSumPoints(state, ctx.sums);
  if (n > kMaxConstants) n = kMaxConstants;

  // 1. Starting sum, with the overflow test.
  const SumResult start = CheckedSum(formula, points, EvalStatus, messages);
  if (start.overflow) {
    ctx.view.SetMessage(text::kMsgRoughStartOverflow);
    log.Line(text::kLogRoughImpossible);
    return PhaseEnd::kContinue;
  }
  if (EvalStatus > 0) {
    MinSquare = kUncomputableSum;
    EvalStatus = -10;
  } else {
    MinSquare = ComparableSum(start.sum);
  }
  log.LabelledNumber(text::kLogSquareBeforeRough, MinSquare);

  // 2. The normal equations from forward differences.
  double matrix[kMaxConstants][kMaxConstants] = {};
  double rhs[kMaxConstants] = {};
  // One point, evaluation by evaluation. False: give up.
  auto accumulate_point = [&](const Point& point, double observed) -> bool {
    for (int r = 0; r < n; ++r) {
      const double small_step = engine.Accuracy[r] / 100.0;
      double f0 = EvaluateFormula(formula, point, EvalStatus, messages);
      if (EvalStatus > 0) {
        EvalStatus = 0;
        formula.paramValue[r] += small_step;
        f0 = EvaluateFormula(formula, point, EvalStatus, messages);
        if (EvalStatus > 0) {
          EvalStatus = 0;
          return false;
        }
      }
      formula.paramValue[r] += small_step;
      double f1 = EvaluateFormula(formula, point, EvalStatus, messages);
      double h = small_step;
      if (EvalStatus > 0) {
        h = 2.0 * small_step;
        EvalStatus = 0;
        formula.paramValue[r] += small_step;
        f1 = EvaluateFormula(formula, point, EvalStatus, messages);
        if (EvalStatus > 0) {
          EvalStatus = 0;
          return false;
        }
      }
      formula.paramValue[r] = engine.CurrentValue[r];
      const double derivative = (f1 - f0) / h;

      rhs[r] -= derivative * f0 - derivative * observed;

      for (int j = 0; j < n; ++j) {
        formula.paramValue[j] += engine.Accuracy[j];
        double f2 = EvaluateFormula(formula, point, EvalStatus, messages);
        double hj = engine.Accuracy[j];
        if (EvalStatus > 0) {
          hj = 2.0 * engine.Accuracy[j];
          EvalStatus = 0;
          formula.paramValue[j] += engine.Accuracy[j];
          f2 = EvaluateFormula(formula, point, EvalStatus, messages);
          if (EvalStatus > 0) return false;
        }
        formula.paramValue[j] = engine.CurrentValue[j];
        matrix[r][j] += derivative * (f2 - f0) / hj;
      }
    }
    return true;
  };
  // Blocks of points: the base values and the 2n probes of every point of a block are evaluated
  // a block at a time, then added in the order of the loop above. The base value and each probe
  // are the same double at every r of one point when nothing fails, so each is evaluated once.
  // A block where anything fails goes through the loop above. Only while paramValue equals
  // CurrentValue, where the loop above starts from.
  BlockWorkspace* workspace =
      ctx.sums != nullptr && ctx.sums->blocks() ? &ctx.sums->workspace() : nullptr;
  for (int v = 0; v < n && workspace != nullptr; ++v) {
    if (!SameBits(formula.paramValue[v], engine.CurrentValue[v])) workspace = nullptr;
  }
  // The probes' programs and a second workspace for them, the run's (or the phase's own); the
  // base evaluation's rows stay in the first workspace for the probes to read.
  RoughScratch own_scratch;  // holds nothing until Reserve
  RoughPrograms* programs = nullptr;
  BlockWorkspace* probe_workspace = nullptr;
  if (workspace != nullptr && n > 0) {
    RoughScratch* const scratch = ctx.rough != nullptr ? ctx.rough : &own_scratch;
    if (!scratch->Reserve()) {
      workspace = nullptr;  // the phase goes point by point
    } else {
      programs = &scratch->programs();
      probe_workspace = &scratch->workspace();
      if (!PrepareRoughPrograms(formula, engine, n, *programs)) {
        workspace = nullptr;  // every block would fail: point by point at once
      }
    }
  }
  // The block's values: the base, then the small-step probe of each variable, then the
  // accuracy probe of each variable.
  double rows[1 + 2 * kMaxConstants][kBlockPoints];
  std::uint32_t behind_point = 0;  // the cells must show the last probe at this point
  bool state_behind = false;
  // Brings the cells to the state the last evaluation of the loop above leaves at a point.
  auto catch_up = [&]() {
    if (!state_behind) return;
    formula.paramValue[n - 1] += engine.Accuracy[n - 1];
    EvaluateFormula(formula, points.points[behind_point], EvalStatus, messages);
    formula.paramValue[n - 1] = engine.CurrentValue[n - 1];
    state_behind = false;
  };
  const std::uint32_t total = points.count == 0 ? 0 : (points.count - 1) / points.interval + 1;
  for (std::uint32_t first = 0; first < total; first += kBlockPoints) {
    const std::uint32_t count = total - first < kBlockPoints ? total - first : kBlockPoints;
    const Point* const block_points = points.points + std::size_t{first} * points.interval;
    bool clean = workspace != nullptr && n > 0;
    if (clean) {
      const BlockProgram& base = programs->program[0];
      double* const xs =
          base.needs_x ? workspace->Row(static_cast<std::uint32_t>(BlockProgram::kXRow)) : nullptr;
      double* const ys =
          base.needs_y ? workspace->Row(static_cast<std::uint32_t>(BlockProgram::kYRow)) : nullptr;
      for (std::uint32_t i = 0; i < count && xs != nullptr; ++i) {
        xs[i] = block_points[std::size_t{i} * points.interval].x;
      }
      for (std::uint32_t i = 0; i < count && ys != nullptr; ++i) {
        ys[i] = block_points[std::size_t{i} * points.interval].y;
      }
      clean = RunBlockProgram(base, xs, ys, count, *workspace, rows[0]) &&
              AllWithinRange(rows[0], count);
      for (int p = 1; p < programs->count && clean; ++p) {
        const int c = programs->varied[p];
        const KeptRowPlan& plan = programs->plan[c];
        KeptRows kept;
        const KeptRows* use_kept = nullptr;
        if (plan.rows > 0) {
          const double* from[KeptRows::kMaxRows] = {};
          for (int k = 0; k < plan.rows; ++k) {
            // The base's last slot is in rows[0], the other slots in their rows.
            const std::int16_t slot = plan.slot[k];
            from[k] = slot == base.length - 1 ? rows[0]
                                              : workspace->Row(static_cast<std::uint32_t>(slot));
          }
          kept = ReadKeptRows(plan, from);
          use_kept = &kept;
        }
        clean = RunBlockProgram(programs->program[p], xs, ys, count, *probe_workspace, rows[p],
                                use_kept) &&
                AllWithinRange(rows[p], count);
      }
    }
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint32_t q = (first + i) * points.interval;
      const Point& point = points.points[q];
      const double observed = ObservedValue(points, point);
      if (clean) {
        const double f0 = rows[0][i];
        for (int r = 0; r < n; ++r) {
          const double derivative = (rows[1 + r][i] - f0) / (engine.Accuracy[r] / 100.0);
          rhs[r] -= derivative * f0 - derivative * observed;
          for (int j = 0; j < n; ++j) {
            matrix[r][j] += derivative * (rows[1 + n + j][i] - f0) / engine.Accuracy[j];
          }
        }
        behind_point = q;
        state_behind = true;
      } else {
        catch_up();
        if (!accumulate_point(point, observed)) return GiveUp(ctx, n);
      }
      if (state.workflow.load(std::memory_order_acquire) == WorkflowStateValue::kAbortRequested) {
        catch_up();
        return PhaseEnd::kStopped;
      }
      engine.CycleCounter.store(q, std::memory_order_relaxed);
    }
  }
  catch_up();
  engine.CycleCounter.store(points.count, std::memory_order_relaxed);

  // 3. The matrices before the elimination.
  LogMatrices(log, text::kLogMatricesBefore, matrix, rhs, n);

  // 4. Gauss-Jordan elimination.
  if (!SolveGaussJordan(matrix, rhs, n)) return GiveUp(ctx, n);

  // 5. The matrices after it: the identity and the solution.
  LogMatrices(log, text::kLogMatricesAfter, matrix, rhs, n);

  // 7. The sum of squares at the estimate.
  for (int v = 0; v < n; ++v) formula.paramValue[v] = engine.CurrentValue[v] + rhs[v];
  double sum = FullSum(formula, points, EvalStatus, messages);
  if (EvalStatus > 0) {
    sum = kUncomputableSum;
    EvalStatus = -10;
  }
  log.LabelledNumber(text::kLogSquareAtRough, sum);

  // 8. Accept only an improvement.
  sum = ComparableSum(sum);
  if (sum < MinSquare) {
    MinSquare = sum;
    for (int v = 0; v < n; ++v) engine.CurrentValue[v] += rhs[v];
  }
  for (int v = 0; v < n; ++v) formula.paramValue[v] = engine.CurrentValue[v];

  // 9. The intermediate solution and the sums.
  log.Line(text::kLogIntermediate);
  for (int k = 0; k < kMaxConstants; ++k) {
    const std::uint8_t v = formula.paramIndex[k];
    if (v < kMaxConstants) log.Number(engine.CurrentValue[v]);
  }
  log.LabelledNumber(text::kLogMinSquare, MinSquare);
  std::int8_t recompute_status = EvalStatus;
  const double recomputed = FullSum(formula, points, recompute_status, messages);
  log.LabelledNumber(text::kLogMinSquareRecomputed, recomputed);
  return PhaseEnd::kContinue;
}

}  // namespace calvane
