#include "engine/lattice_search.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "tests/engine/engine_test_support.h"

namespace calvane {
namespace {

using test::FitSetup;
using test::PhaseHarness;

// One point (1, target) and the model k0*x: the sum of squares is (target - k0)^2, a parabola
// in the lattice offset when k0 starts at 0 on a lattice of spacing 1.
struct OneVariableStep {
  explicit OneVariableStep(double target, std::uint32_t step_counter = 1,
                           std::string_view formula = "k0*x")
      : setup(formula) {
    setup.AddPoint(1.0, target);
    setup.SetVariable(0, 0.0, 1.0);
    setup.state().engine.StepCounter = step_counter;
    setup.state().engine.CycleCounter = 0;
  }
  PhaseEnd Run(int n = 1) {
    FitContext ctx = harness.Context();
    return LeastSquaresStep(ctx, min_square, n, status);
  }
  FitSetup setup;
  PhaseHarness harness{setup};
  double min_square = 1e300;
  std::int8_t status = 0;
};

TEST(LeastSquaresStep, ParabolaThreeSpacingsUpExpandsUndoesAndEndsAfterFourCycles) {
  OneVariableStep step(3.0);
  // A pause before the first check shows the point the first cycle reached; resuming at once
  // leaves the search unchanged.
  std::vector<double> reached;
  step.setup.state().workflow.store(WorkflowStateValue::kPaused);
  step.harness.view.on_snapshot = [&](const PauseSnapshot& snapshot) {
    reached.push_back(snapshot.values[0]);
    step.setup.state().workflow.store(WorkflowStateValue::kDataLoaded);
  };

  EXPECT_EQ(step.Run(), PhaseEnd::kContinue);
  // Offsets 2 (first cycle, +1 doubled), 4 (second), undo by 1 to 3 (third), a fine cycle.
  ASSERT_EQ(reached.size(), 1u);
  EXPECT_EQ(reached[0], 2.0);
  EXPECT_EQ(step.setup.state().engine.CurrentValue[0], 3.0);
  EXPECT_EQ(step.setup.state().formula.paramValue[0], 3.0);
  EXPECT_EQ(step.min_square, 0.0);
  EXPECT_EQ(step.setup.state().engine.CycleCounter.load(), 4u);
  EXPECT_EQ(step.status, 0);
  // Pausing restored CurrentValue before the search went on.
  EXPECT_EQ(step.setup.state().engine.CurrentValue[0], 3.0);
}

TEST(LeastSquaresStep, LogsStepLinesWithRecomputedSum) {
  OneVariableStep step(3.0);
  step.setup.state().engine.StepCounter = 1;
  ASSERT_EQ(step.Run(), PhaseEnd::kContinue);
  const std::vector<std::string> expected = {
      "ステップ\t1",         "途中解", "3", "最小二乗値\t0", "最小二乗値（再計算）\t0",
      "--------------------"};
  EXPECT_EQ(step.harness.LogLines(), expected);
}

// A minimum 100 spacings away: from the second step on the jump predicted from the four coarse
// sums lands at 90 at once, so far fewer cycles are needed than by expansion alone.
TEST(LeastSquaresStep, JumpIsTriedFromTheSecondStepOnly) {
  OneVariableStep first_step(100.0, 1);
  ASSERT_EQ(first_step.Run(), PhaseEnd::kContinue);
  EXPECT_EQ(first_step.setup.state().engine.CurrentValue[0], 100.0);
  EXPECT_EQ(first_step.setup.state().engine.CycleCounter.load(), 9u);

  OneVariableStep second_step(100.0, 2);
  std::vector<double> reached;
  second_step.setup.state().workflow.store(WorkflowStateValue::kPaused);
  second_step.harness.view.on_snapshot = [&](const PauseSnapshot& snapshot) {
    reached.push_back(snapshot.values[0]);
    second_step.setup.state().workflow.store(WorkflowStateValue::kDataLoaded);
  };
  ASSERT_EQ(second_step.Run(), PhaseEnd::kContinue);
  ASSERT_EQ(reached.size(), 1u);
  EXPECT_EQ(reached[0], 90.0);  // the jump of the first cycle
  EXPECT_EQ(second_step.setup.state().engine.CurrentValue[0], 100.0);
  EXPECT_EQ(second_step.min_square, 0.0);
  EXPECT_EQ(second_step.setup.state().engine.CycleCounter.load(), 4u);
}

TEST(PredictJump, SecantZeroOfTheOuterPairs) {
  struct Case {
    double sums[4];
    bool tried;
    std::int32_t jump;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {{12100, 10201, 9801, 8100}, true, 90},   // minimum 100 spacings up
      {{8100, 9801, 10201, 12100}, true, -90},  // minimum 100 spacings down
      {{400, 121, 81, 0}, true, 9},             // within reach of the scan
      {{4, 3, 2, 1}, false, 0},                 // equal slopes: division by zero
      {{0, 0, 0, 0}, false, 0},                 // 0/0
      {{0, 0.999999999999, 0, 1}, false, 0},    // beyond the 32-bit range
      {{nan, 1, 2, 3}, false, 0},               // a sum that is not a number
      {{1, 2, inf, 3}, false, 0},
  };
  for (const Case& c : cases) {
    std::int32_t jump = 12345;
    EXPECT_EQ(PredictJump(c.sums, jump), c.tried) << c.sums[0] << " " << c.sums[3];
    if (c.tried) {
      EXPECT_EQ(jump, c.jump);
    }
  }
}

TEST(LeastSquaresStep, VariableWithoutInfluenceWinsNoProbe) {
  FitSetup setup("k0*x+k1*0");
  setup.AddPoint(1.0, 2.0);
  setup.AddPoint(2.0, 4.0);
  setup.SetVariable(0, 2.0, 1.0);  // already at the minimum
  setup.SetVariable(1, 5.0, 1.0);
  setup.state().engine.StepCounter = 2;
  PhaseHarness harness(setup);
  FitContext ctx = harness.Context();
  double min_square = 1e300;
  std::int8_t status = 0;
  ASSERT_EQ(LeastSquaresStep(ctx, min_square, 2, status), PhaseEnd::kContinue);
  EXPECT_EQ(setup.state().engine.CurrentValue[0], 2.0);
  EXPECT_EQ(setup.state().engine.CurrentValue[1], 5.0);
  EXPECT_EQ(min_square, 0.0);
  EXPECT_EQ(setup.state().engine.CycleCounter.load(), 2u);  // one coarse, one fine cycle
}

TEST(LeastSquaresStep, DataIntervalThinsThePointsOfEverySum) {
  FitSetup setup("k0*x");
  // Points 0, 3, 6 and 9 lie on y = 2x; every other point is far off.
  for (int i = 0; i < 10; ++i) {
    const double x = i + 1.0;
    setup.AddPoint(x, i % 3 == 0 ? 2.0 * x : 1e6);
  }
  setup.state().conditions.dataInterval = 3;
  setup.SetVariable(0, 0.0, 1.0);
  setup.state().engine.StepCounter = 1;
  PhaseHarness harness(setup);
  FitContext ctx = harness.Context();
  double min_square = 1e300;
  std::int8_t status = 0;
  ASSERT_EQ(LeastSquaresStep(ctx, min_square, 1, status), PhaseEnd::kContinue);
  EXPECT_EQ(setup.state().engine.CurrentValue[0], 2.0);
  EXPECT_EQ(min_square, 0.0);
}

TEST(LeastSquaresStep, OverflowAtTheStartStopsWithMessageAndKeepsValues) {
  OneVariableStep step(2e100);
  step.setup.SetVariable(0, 7.0, 1.0);
  EXPECT_EQ(step.Run(), PhaseEnd::kStopped);
  EXPECT_EQ(step.setup.state().engine.CurrentValue[0], 7.0);
  ASSERT_EQ(step.harness.view.messages.size(), 1u);
  EXPECT_EQ(step.harness.view.messages[0],
            "計算中の二乗値が非常に大きくなっています。\rこれ以上計算を継続できません。");
  EXPECT_TRUE(step.harness.LogLines().empty());
}

TEST(LeastSquaresStep, BoundWarningIsShownOnceAndMarksTheStatus) {
  OneVariableStep step(3.0);
  step.setup.SetVariable(0, 0.0, 1.0, /*lower=*/-1.0, /*upper=*/2.0);
  ASSERT_EQ(step.Run(), PhaseEnd::kContinue);
  EXPECT_EQ(step.setup.state().engine.CurrentValue[0], 3.0);  // not moved back into bounds
  ASSERT_EQ(step.harness.view.messages.size(), 1u);
  EXPECT_EQ(step.harness.view.messages[0],
            "文字定数の値が設定された上限/下限を超えました。\r"
            "妥当なフィッティング結果が得られない場合は、初期値や上限/下限を再設定後に再度実行し直"
            "して下さい。");
  EXPECT_EQ(step.status, -1);

  step.setup.state().engine.StepCounter = 2;
  ASSERT_EQ(step.Run(), PhaseEnd::kContinue);
  EXPECT_EQ(step.harness.view.messages.size(), 1u);
}

TEST(LeastSquaresStep, NoBoundWarningAfterAnEvaluationError) {
  OneVariableStep step(3.0);
  step.setup.SetVariable(0, 0.0, 1.0, -1.0, 2.0);
  step.status = -10;
  ASSERT_EQ(step.Run(), PhaseEnd::kContinue);
  EXPECT_TRUE(step.harness.view.messages.empty());
  EXPECT_EQ(step.status, -10);
}

// Evaluation errors make a probe's sum 1e300: it never wins, the status becomes -10 and only
// the first error shows its message.
TEST(LeastSquaresStep, UnevaluableProbesNeverWin) {
  // Ln(k0) fails for k0 <= 0: the probes below 1 fail, the minimum of (2 - Ln(k0)*x)^2 ... is at
  // k0 = e^2, about 7.39.
  FitSetup setup("Ln(k0)*x");
  setup.AddPoint(1.0, 2.0);
  setup.SetVariable(0, 1.0, 1.0);
  setup.state().engine.StepCounter = 1;
  PhaseHarness harness(setup);
  FitContext ctx = harness.Context();
  double min_square = 1e300;
  std::int8_t status = 0;
  ASSERT_EQ(LeastSquaresStep(ctx, min_square, 1, status), PhaseEnd::kContinue);
  EXPECT_EQ(setup.state().engine.CurrentValue[0], 7.0);
  EXPECT_EQ(status, -10);
  ASSERT_EQ(harness.view.messages.size(), 1u);
  EXPECT_EQ(harness.view.messages[0], "Lnの対象に0以下の値が指定されました。計算できません。");
  const double expected = (2.0 - std::log(7.0)) * (2.0 - std::log(7.0));
  EXPECT_EQ(min_square, expected);
}

// With the status already set the evaluator no longer tests the final value, so a sum can come
// out as not-a-number. Such a sum counts as 1e300: as the starting sum it does not keep every
// later probe from winning.
TEST(LeastSquaresStep, SumThatIsNotANumberCountsAsUncomputable) {
  // At k0 = 1000, Exp(k0*x) is an infinity and inf - inf is not a number; at k0 = 500 the
  // two exponentials cancel exactly and the model is 0, the observed value.
  OneVariableStep step(0.0, 1, "x*k0*0+Exp(k0*x)-Exp(k0*x)");
  step.setup.SetVariable(0, 1000.0, 500.0);
  step.status = -10;
  ASSERT_EQ(step.Run(), PhaseEnd::kContinue);
  EXPECT_EQ(step.min_square, 0.0);
  EXPECT_LT(step.setup.state().engine.CurrentValue[0], 1000.0);
}

TEST(LeastSquaresStep, AbortWhilePausedCommitsTheReachedPoint) {
  OneVariableStep step(3.0);
  step.setup.state().workflow.store(WorkflowStateValue::kPaused);
  step.harness.view.on_snapshot = [&](const PauseSnapshot&) {
    step.setup.state().workflow.store(WorkflowStateValue::kAbortRequested);
  };
  EXPECT_EQ(step.Run(), PhaseEnd::kStopped);
  EXPECT_EQ(step.setup.state().engine.CurrentValue[0], 2.0);
  ASSERT_EQ(step.harness.view.snapshots.size(), 1u);
  EXPECT_EQ(step.harness.view.snapshots[0].values[0], 2.0);
  EXPECT_TRUE(step.harness.LogLines().empty());
}

TEST(LeastSquaresStep, AbortWithoutPauseEndsWithoutSnapshot) {
  OneVariableStep step(3.0);
  step.setup.state().workflow.store(WorkflowStateValue::kAbortRequested);
  EXPECT_EQ(step.Run(), PhaseEnd::kStopped);
  EXPECT_EQ(step.setup.state().engine.CurrentValue[0], 2.0);
  EXPECT_TRUE(step.harness.view.snapshots.empty());
}

TEST(LeastSquaresStep, PauseSnapshotShowsReachedValuesAndRestoresCurrentValue) {
  FitSetup setup("k0*x+k1");
  setup.AddPoint(0.0, 1.0);
  setup.AddPoint(1.0, 3.0);
  setup.SetVariable(0, 0.0, 1.0);
  setup.SetVariable(1, 0.0, 1.0);
  setup.state().engine.StepCounter = 1;
  PhaseHarness harness(setup);
  setup.state().workflow.store(WorkflowStateValue::kPaused);
  double current_during_snapshot[2] = {};
  double param_during_snapshot[2] = {};
  harness.view.on_snapshot = [&](const PauseSnapshot& snapshot) {
    for (int v = 0; v < 2; ++v) {
      current_during_snapshot[v] = setup.state().engine.CurrentValue[v];
      param_during_snapshot[v] = snapshot.formula->paramValue[v];
    }
    setup.state().workflow.store(WorkflowStateValue::kDataLoaded);
  };
  FitContext ctx = harness.Context();
  double min_square = 1e300;
  std::int8_t status = 0;
  ASSERT_EQ(LeastSquaresStep(ctx, min_square, 2, status), PhaseEnd::kContinue);
  ASSERT_EQ(harness.view.snapshots.size(), 1u);
  const auto& shown = harness.view.snapshots[0];
  ASSERT_EQ(shown.values.size(), 2u);
  // The first check follows the scan of k0 only: k1 is still at its start.
  EXPECT_EQ(shown.values[1], 0.0);
  EXPECT_NE(shown.values[0], 0.0);
  EXPECT_EQ(current_during_snapshot[0], shown.values[0]);
  EXPECT_EQ(param_during_snapshot[0], shown.values[0]);
  EXPECT_EQ(shown.step, 1u);
  EXPECT_EQ(shown.cycle, 1u);
  EXPECT_TRUE(harness.view.Has("counters:1/1"));
  // The search went on to the exact solution k0 = 2, k1 = 1.
  EXPECT_EQ(setup.state().engine.CurrentValue[0], 2.0);
  EXPECT_EQ(setup.state().engine.CurrentValue[1], 1.0);
}

}  // namespace
}  // namespace calvane
