// The Levenberg-Marquardt phase: its residuals on every path, what it logs and shows, the rule
// that keeps its point, the bounds, evaluation errors, pause and abort, and whole runs of both
// methods that give the same bytes however the residuals are computed.

#include "engine/lm_phase.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine/engine_messages.h"
#include "engine/lm_residuals.h"
#include "engine/worker.h"
#include "formula/number_text.h"
#include "tests/engine/engine_test_support.h"

namespace calvane {
namespace {

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

const SumSettings kPaths[3] = {
    {false, 0, 0, 0}, {true, 0, 0, 0}, {true, 1, 1, 1}};  // point by point, blocks, 2 threads

// A noisy line y = 3x - 1 over 40 points.
void AddLine(test::FitSetup& setup) {
  std::mt19937_64 rng(5);
  std::normal_distribution<double> noise(0.0, 0.05);
  for (int i = 0; i < 40; ++i) {
    const double x = 0.25 * i;
    setup.AddPoint(x, 3.0 * x - 1.0 + noise(rng));
  }
}

TEST(LmResiduals, EveryPathGivesTheEvaluatorsResidualsAndTheFirstFailure) {
  struct Case {
    const char* formula;
    double k[2];      // k0, k1 of the set under test
    double clean[2];  // a set that every point can evaluate, given first
    ResidualOutcome outcome;
    std::uint32_t point;  // of the failure
  };
  // x runs from -1 to 1 over 3001 points, interval 2: 1501 sum points, x = -1 + 2i/1500.
  const Case cases[] = {
      {"k0*Exp(-(x-k1)^2)", {2.0, 0.3}, {1.0, 0.0}, ResidualOutcome::kClean, 0},
      {"k0*Sqrt(x-k1)", {1.0, 0.5}, {1.0, -2.0}, ResidualOutcome::kEvaluationError, 0},
      {"k0*Sqrt(k1-x)", {1.0, 0.5}, {1.0, 2.0}, ResidualOutcome::kEvaluationError, 1126},
      // exp(300x) reaches 1e100 from x = 0.7676 on.
      {"k0*Exp(k1*x)", {1.0, 300.0}, {1.0, 1.0}, ResidualOutcome::kOverflow, 1326},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.formula);
    test::FitSetup setup(c.formula);
    for (int i = 0; i <= 3000; ++i) setup.AddPoint(-1.0 + i / 1500.0, 0.25 * i / 3000.0);
    setup.state().conditions.dataInterval = 2;
    CompiledFormula& formula = setup.state().formula;
    // The sets by constant index.
    double values[2];
    double clean[2];
    for (int k = 0; k < 2; ++k) {
      values[formula.paramIndex[k]] = c.k[k];
      clean[formula.paramIndex[k]] = c.clean[k];
    }
    const SumPoints points = MakeSumPoints(setup.state());
    std::vector<double> reference(1501);
    for (std::uint32_t i = 0; i < 1501; ++i) {
      formula.paramValue[0] = values[0];
      formula.paramValue[1] = values[1];
      std::int8_t status = 0;
      const Point& p = points.points[2 * i];
      reference[i] = p.y - EvaluateFormula(formula, p, status, nullptr);
    }
    for (const SumSettings& path : kPaths) {
      LmResiduals residuals(formula, points, path);
      EXPECT_EQ(residuals.size(), 1501u);
      EXPECT_EQ(residuals.two_threads(), path.two_thread_residual_points == 1);
      std::vector<double> clean_out(1501), out(1501);
      const double* sets[2] = {clean, values};
      double* outs[2] = {clean_out.data(), out.data()};
      const ResidualResult result = residuals.Evaluate(2, sets, 2, outs);
      EXPECT_EQ(result.outcome, c.outcome);
      if (c.outcome != ResidualOutcome::kClean) {
        EXPECT_EQ(result.point, c.point);
        // The failing set alone, and before a clean one: the same failure.
        const double* reversed[2] = {values, clean};
        EXPECT_EQ(residuals.Evaluate(2, reversed, 2, outs).point, c.point);
        continue;
      }
      for (std::uint32_t i = 0; i < 1501; ++i) {
        ASSERT_TRUE(SameBits(out[i], reference[i])) << i;
      }
      double sum = 0.0;
      for (double r : reference) sum += r * r;
      EXPECT_TRUE(SameBits(LmResiduals::SumOfSquares(out.data(), 1501), sum));
    }
  }
}

// The Jacobian's columns: (residuals at the probe - residuals at the base) / step, the same bits on
// every path. The blocks reuse the Exp row of the base evaluation for the probe of k0, and only
// for a probe that moves k0 alone away from the point last evaluated.
TEST(LmResiduals, DifferenceColumnsAreTheSameOnEveryPathAndReuseTheBaseRowsForK0) {
  // 20 blocks and a part block, so that both threads take several blocks.
  test::FitSetup setup("k0*Exp(-(x-k1)^2/k2)");
  for (int i = 0; i < 5200; ++i) setup.AddPoint(-4.0 + i / 650.0, std::sin(0.01 * i));
  CompiledFormula& formula = setup.state().formula;
  const SumPoints points = MakeSumPoints(setup.state());
  const std::uint32_t m = 5200;
  const std::uint32_t blocks = 21;
  const int k0 = formula.paramIndex[0];
  double base_values[3];
  double probe_values[3][3];
  const double steps[3] = {1e-7, -2.5e-8, 3e-9};
  const double start[3] = {2.0, 0.2, 1.0};
  for (int k = 0; k < 3; ++k) base_values[formula.paramIndex[k]] = start[k];
  for (int j = 0; j < 3; ++j) {
    for (int v = 0; v < 3; ++v) probe_values[j][v] = base_values[v];
    probe_values[j][j] += steps[j];
  }
  const double* base_set[1] = {base_values};
  const double* sets[3] = {probe_values[0], probe_values[1], probe_values[2]};
  // The reference: point by point, which keeps nothing.
  std::vector<double> base(m), plain(3 * m);
  double* base_out[1] = {base.data()};
  double* plain_out[3] = {plain.data(), plain.data() + m, plain.data() + 2 * m};
  {
    LmResiduals reference(formula, points, kPaths[0]);
    ASSERT_EQ(reference.Evaluate(1, base_set, 3, base_out).outcome, ResidualOutcome::kClean);
    ASSERT_EQ(reference.Evaluate(3, sets, 3, plain_out).outcome, ResidualOutcome::kClean);
    EXPECT_EQ(reference.kept_blocks_read(), 0u);
  }
  for (const SumSettings& path : kPaths) {
    SCOPED_TRACE(path.blocks ? (path.two_thread_points != 0 ? "two threads" : "blocks") : "points");
    LmResiduals residuals(formula, points, path);
    std::vector<double> own_base(m), columns(3 * m);
    double* own_base_out[1] = {own_base.data()};
    double* column_out[3] = {columns.data(), columns.data() + m, columns.data() + 2 * m};
    ASSERT_EQ(residuals.Evaluate(1, base_set, 3, own_base_out).outcome, ResidualOutcome::kClean);
    ASSERT_EQ(residuals.Differences(3, sets, 3, own_base.data(), steps, column_out).outcome,
              ResidualOutcome::kClean);
    for (int j = 0; j < 3; ++j) {
      for (std::uint32_t i = 0; i < m; ++i) {
        const double expected = (plain_out[j][i] - base[i]) / steps[j];
        ASSERT_TRUE(SameBits(column_out[j][i], expected)) << j << " " << i;
      }
    }
    EXPECT_EQ(residuals.kept_blocks_read(), path.blocks ? blocks : 0u);
    // A set that moves k0 and k1 reads nothing kept, and a plain evaluation after the
    // differences gives residuals again.
    double both[3];
    for (int v = 0; v < 3; ++v) both[v] = probe_values[formula.paramIndex[1]][v];
    both[k0] = probe_values[k0][k0];
    const double* both_set[1] = {both};
    ASSERT_EQ(residuals.Evaluate(1, sets, 3, column_out).outcome, ResidualOutcome::kClean);
    ASSERT_EQ(residuals.Evaluate(1, both_set, 3, column_out + 1).outcome, ResidualOutcome::kClean);
    EXPECT_EQ(residuals.kept_blocks_read(), path.blocks ? blocks : 0u);
    EXPECT_TRUE(SameBits(column_out[0][m - 1], plain_out[0][m - 1]));
  }
}

TEST(LmDifferenceStep, AHundredthOfTheAccuracyButNeverBelowHalfTheDigits) {
  const double root_eps = std::sqrt(std::numeric_limits<double>::epsilon());
  EXPECT_DOUBLE_EQ(LmDifferenceStep(1e-6, 0.5), 1e-8);
  EXPECT_DOUBLE_EQ(LmDifferenceStep(1e-6, 0.0), 1e-8);
  EXPECT_DOUBLE_EQ(LmDifferenceStep(1e-20, 1.0), root_eps);
  EXPECT_DOUBLE_EQ(LmDifferenceStep(1e-20, -300.0), root_eps * 300.0);
  EXPECT_DOUBLE_EQ(LmDifferenceStep(0.5, 2.0), 0.005);
}

// The LM-only fit of a noisy line: the least-squares solution, the log's lines in order with
// falling sums, and what the progress window shows.
TEST(LevenbergMarquardtPhase, LineFromAFarStartLandsOnTheLeastSquaresSolution) {
  test::FitSetup setup("k0*x+k1");
  AddLine(setup);
  setup.SetTexts(0, "-5", "-100", "100", "0.0001");
  setup.SetTexts(1, "40", "-100", "100", "0.0001");
  setup.state().conditions.searchMethod = SearchMethod::LmOnly;
  test::PhaseHarness harness(setup);
  ASSERT_EQ(RunWorker(setup.state(), harness.view, harness.log), kWorkerCompleted);

  // The normal equations of the line, solved directly.
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  const PointTable& points = setup.state().points;
  for (std::uint32_t i = 0; i < points.count; ++i) {
    const Point& p = points.records[i];
    sx += p.x;
    sy += p.y;
    sxx += p.x * p.x;
    sxy += p.x * p.y;
  }
  const double n = points.count;
  const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
  const double intercept = (sy - slope * sx) / n;
  // Within a hundredth of the accuracy (1e-4): the phase stops once an iteration moves every
  // constant by less than that.
  EXPECT_NEAR(setup.state().engine.CurrentValue[0], slope, 1e-6);
  EXPECT_NEAR(setup.state().engine.CurrentValue[1], intercept, 1e-6);

  const std::vector<std::string> lines = harness.LogLines();
  auto at = std::find(lines.begin(), lines.end(), std::string(text::kLogLmPhase));
  ASSERT_NE(at, lines.end());
  EXPECT_EQ(std::find(lines.begin(), lines.end(), std::string(text::kLogLeastSquaresPhase)),
            lines.end())
      << "no lattice search";
  ++at;
  ASSERT_EQ(at->rfind("LM法開始時の最小二乗値\t", 0), 0u) << *at;
  double previous = std::stod(at->substr(at->find('\t') + 1));
  int iterations = 0;
  for (++at; at != lines.end() && at->rfind("LM法反復\t", 0) == 0; ++at) {
    ++iterations;
    EXPECT_EQ(*at, "LM法反復\t" + FormatNumber(iterations));
    ++at;
    ASSERT_EQ(at->rfind("最小二乗値\t", 0), 0u) << *at;
    const double sum = std::stod(at->substr(at->find('\t') + 1));
    EXPECT_LT(sum, previous) << "each accepted iteration lowers the sum";
    previous = sum;
  }
  ASSERT_GE(iterations, 1);
  ASSERT_NE(at, lines.end());
  EXPECT_EQ(at->rfind("LM法終了\t", 0), 0u) << *at;
  const std::vector<std::string> tail(at + 1, lines.end());
  ASSERT_EQ(tail.size(), 7u);
  EXPECT_EQ(tail[0], text::kLogLmKept);
  EXPECT_EQ(tail[1], text::kLogIntermediate);
  EXPECT_EQ(tail[2], FormatNumber(setup.state().engine.CurrentValue[0]));
  EXPECT_EQ(tail[4], "最小二乗値\t" + FormatNumber(previous));
  EXPECT_EQ(tail[5], "最小二乗値（再計算）\t" + FormatNumber(previous));
  EXPECT_EQ(tail[6], "--------------------");

  const test::RecordingProgressView& view = harness.view;
  EXPECT_TRUE(view.Has("phase:--- LM法フェーズ ---"));
  EXPECT_FALSE(view.Has("phase:--- 最小二乗計算フェーズ ---"));
  EXPECT_TRUE(view.Has("steptotal:300"));
  EXPECT_TRUE(view.Has("stepvalue:" + FormatNumber(iterations)));
  EXPECT_EQ(view.messages.back(), "最小二乗値：" + FormatNumber(previous));
  EXPECT_TRUE(view.Has("button:ok=1"));
}

// "Lattice+LM" keeps the lattice's point whenever the LM phase cannot lower its sum.
TEST(LevenbergMarquardtPhase, AFinishThatCannotLowerTheSumKeepsTheLatticePoint) {
  test::FitSetup setup("k0+0*x");
  for (int i = 0; i < 5; ++i) setup.AddPoint(i, 2.0);
  setup.SetTexts(0, "2", "0", "10", "0.001");
  setup.state().conditions.searchMethod = SearchMethod::LatticeThenLm;
  test::PhaseHarness harness(setup);
  ASSERT_EQ(RunWorker(setup.state(), harness.view, harness.log), kWorkerCompleted);
  EXPECT_EQ(setup.state().engine.CurrentValue[0], 2.0);
  const std::vector<std::string> lines = harness.LogLines();
  const auto lattice =
      std::find(lines.begin(), lines.end(), std::string(text::kLogLeastSquaresPhase));
  const auto lm = std::find(lines.begin(), lines.end(), std::string(text::kLogLmPhase));
  ASSERT_NE(lattice, lines.end());
  ASSERT_NE(lm, lines.end());
  EXPECT_LT(lattice, lm) << "the finish runs after the lattice search";
  EXPECT_NE(std::find(lm, lines.end(), std::string(text::kLogLmNotKept)), lines.end());
}

TEST(LevenbergMarquardtPhase, BoundsHoldEveryPointAndAConstantOnItsBoundIsReported) {
  test::FitSetup setup("k0*x");
  for (int i = 1; i <= 10; ++i) setup.AddPoint(i, 3.0 * i);
  setup.SetTexts(0, "1", "0", "2", "0.0001");  // the minimum, 3, lies above the bound
  setup.state().conditions.searchMethod = SearchMethod::LmOnly;
  test::PhaseHarness harness(setup);
  ASSERT_EQ(RunWorker(setup.state(), harness.view, harness.log), kWorkerCompleted);
  EXPECT_EQ(setup.state().engine.CurrentValue[0], 2.0);
  EXPECT_EQ(harness.view.messages.back(), text::kMsgLmAtBound);
}

// Sqrt(k0) fitted to 0.1: the first Gauss-Newton step goes to k0 = -0.8, where it cannot be
// evaluated. Exp(k0*x) fitted to exp(80x) from k0 = 1: a residual of 1.6e104 at the start. Each
// ends the phase with its message and keeps the start, the best point found.
TEST(LevenbergMarquardtPhase, EvaluationErrorsAndOverflowEndThePhaseWithAMessageAndKeepTheBest) {
  struct Case {
    const char* formula;
    double (*y)(double x);
    std::string_view message;
  };
  const Case cases[] = {
      {"Sqrt(k0)+0*x", [](double) { return 0.1; }, text::kMsgLmEvaluationError},
      {"Exp(k0*x)", [](double x) { return std::exp(80.0 * x); }, text::kMsgLmOverflow},
  };
  for (const Case& c : cases) {
    for (const SumSettings& path : kPaths) {
      SCOPED_TRACE(c.formula);
      test::FitSetup setup(c.formula);
      for (int i = 0; i < 4; ++i) setup.AddPoint(i, c.y(i));
      setup.SetTexts(0, "1", "-10", "10", "0.0001");
      setup.state().conditions.searchMethod = SearchMethod::LmOnly;
      test::PhaseHarness harness(setup);
      ASSERT_EQ(RunWorker(setup.state(), harness.view, harness.log, path), kWorkerCompleted);
      EXPECT_EQ(setup.state().engine.CurrentValue[0], 1.0);
      EXPECT_EQ(harness.view.messages.back(), c.message);
      const std::vector<std::string> lines = harness.LogLines();
      EXPECT_NE(std::find(lines.begin(), lines.end(), std::string(text::kLogLmNotKept)),
                lines.end());
    }
  }
}

TEST(LevenbergMarquardtPhase, TooFewPointsForTheConstantsLeaveTheStart) {
  test::FitSetup setup("k0*x+k1");
  setup.AddPoint(1.0, 2.0);
  setup.SetTexts(0, "1", "-10", "10", "0.001");
  setup.SetTexts(1, "0", "-10", "10", "0.001");
  setup.state().conditions.searchMethod = SearchMethod::LmOnly;
  test::PhaseHarness harness(setup);
  ASSERT_EQ(RunWorker(setup.state(), harness.view, harness.log), kWorkerCompleted);
  EXPECT_EQ(setup.state().engine.CurrentValue[0], 1.0);
  EXPECT_EQ(harness.view.messages.back(), text::kMsgLmTooFewPoints);
}

// Pause shows the best point so far; an abort while paused ends the run with code 2 and that
// point kept (it is lower than the start).
TEST(LevenbergMarquardtPhase, PauseShowsTheBestPointAndAbortKeepsIt) {
  test::FitSetup setup("k0*x+k1");
  AddLine(setup);
  setup.SetTexts(0, "-5", "-100", "100", "0.0001");
  setup.SetTexts(1, "40", "-100", "100", "0.0001");
  setup.state().conditions.searchMethod = SearchMethod::LmOnly;
  test::PhaseHarness harness(setup);
  AppState& state = setup.state();
  // Without the lattice search and the rough estimate, step 1 is the first accepted iteration.
  harness.view.on_counters = [&](std::uint32_t step, std::uint32_t) {
    if (step == 1 && state.workflow.load() == WorkflowStateValue::kDataLoaded) {
      state.workflow.store(WorkflowStateValue::kPaused);
    }
  };
  std::vector<double> shown;
  harness.view.on_snapshot = [&](const PauseSnapshot& snapshot) {
    shown.assign(snapshot.values, snapshot.values + snapshot.variable_count);
    EXPECT_EQ(snapshot.formula->paramValue[0], shown[0]) << "the graph draws the shown point";
    state.workflow.store(WorkflowStateValue::kAbortRequested);
  };
  EXPECT_EQ(RunWorker(state, harness.view, harness.log), kWorkerStopped);
  ASSERT_EQ(harness.view.snapshots.size(), 1u);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(state.engine.CurrentValue[0], shown[0]);
  EXPECT_EQ(state.engine.CurrentValue[1], shown[1]);
  EXPECT_NE(shown[0], -5.0) << "an accepted iteration moved the point";
}

// Whole runs of both methods: the same log bytes, messages and values on every path of the
// residuals (point by point, blocks, two threads), also when an evaluation error ends the phase.
TEST(LevenbergMarquardtPhase, WholeRunsGiveTheSameBytesOnEveryPath) {
  struct RunCase {
    const char* formula;
    double start[3];
  };
  const RunCase cases[] = {
      {"k0*Exp(-(x-k1)^2/k2)", {2.0, 0.2, 1.0}},
      {"k0*Ln(x-k1)+k2", {1.0, -2.5, 0.5}},
  };
  for (const SearchMethod method : {SearchMethod::LatticeThenLm, SearchMethod::LmOnly}) {
    for (const RunCase& c : cases) {
      SCOPED_TRACE(std::string(c.formula) + " method " + std::to_string(static_cast<int>(method)));
      std::string logs[3];
      std::vector<std::string> messages[3];
      double values[3][3];
      for (int s = 0; s < 3; ++s) {
        test::FitSetup setup(c.formula);
        test::PhaseHarness harness(setup);
        AppState& state = setup.state();
        std::mt19937_64 rng(11);
        std::normal_distribution<double> noise(0.0, 0.02);
        for (int i = 0; i < 1500; ++i) {
          const double x = -2.0 + 4.0 * i / 1500.0;
          setup.AddPoint(x, 1.5 * std::exp(-(x - 0.3) * (x - 0.3)) + noise(rng));
        }
        for (int k = 0; k < 3; ++k) {
          setup.SetTexts(k, FormatNumber(c.start[k]), "-10", "10", "0.0001");
        }
        state.conditions.roughEstimation = 1;
        state.conditions.searchMethod = method;
        EXPECT_EQ(RunWorker(state, harness.view, harness.log, kPaths[s]), kWorkerCompleted);
        harness.log.Close();
        logs[s] = setup.ReadFile("Calculation.ini");
        messages[s] = harness.view.messages;
        for (int v = 0; v < 3; ++v) values[s][v] = state.engine.CurrentValue[v];
      }
      EXPECT_NE(logs[0].find(Utf8ToCp932(text::kLogLmPhase).value_or("?")), std::string::npos);
      for (int s = 1; s < 3; ++s) {
        EXPECT_EQ(logs[s], logs[0]);
        EXPECT_EQ(messages[s], messages[0]);
        for (int v = 0; v < 3; ++v) EXPECT_TRUE(SameBits(values[s][v], values[0][v]));
      }
    }
  }
}

}  // namespace
}  // namespace calvane
