#include "engine/rough_estimate.h"

#include <cmath>

#include <gtest/gtest.h>

#include "tests/engine/engine_test_support.h"

namespace calvane {
namespace {

using test::FitSetup;
using test::PhaseHarness;

constexpr const char* kGiveUpMessage =
    "初期値が不適切なため、概略推測ができません。\r"
    "妥当なフィッティング結果が得られない、あるいは計算に時間がかかる場合には、違う値を設定して"
    "再度計算実行してください。";

struct RoughRun {
  explicit RoughRun(std::string_view formula) : setup(formula) {}
  PhaseEnd Run(int n) {
    FitContext ctx = harness.Context();
    return RoughEstimate(ctx, min_square, n, status);
  }
  FitSetup setup;
  PhaseHarness harness{setup};
  double min_square = 1e300;
  std::int8_t status = 0;
};

TEST(RoughEstimate, SingleLinearConstantLogsEveryLineAndAccepts) {
  RoughRun rough("k0*x");
  rough.setup.AddPoint(1.0, 3.0);
  rough.setup.SetVariable(0, 0.0, 1.0, 0.0, 100.0, 1.0);
  ASSERT_EQ(rough.Run(1), PhaseEnd::kContinue);
  EXPECT_EQ(rough.setup.state().engine.CurrentValue[0], 3.0);
  EXPECT_EQ(rough.setup.state().formula.paramValue[0], 3.0);
  EXPECT_EQ(rough.min_square, 0.0);
  EXPECT_EQ(rough.setup.state().engine.CycleCounter.load(), 1u);  // the point count
  EXPECT_TRUE(rough.harness.view.messages.empty());
  const std::vector<std::string> expected = {"概略推測前のMinSquare\t9",
                                             "概略推測開始前行列",
                                             "MatrixB",
                                             "1",
                                             "MatrixA",
                                             "3",
                                             "概略推測終了後行列",
                                             "MatrixB",
                                             "1",
                                             "MatrixA",
                                             "3",
                                             "概略推測解でのSquare\t0",
                                             "途中解",
                                             "3",
                                             "最小二乗値\t0",
                                             "最小二乗値（再計算）\t0"};
  EXPECT_EQ(rough.harness.LogLines(), expected);
}

// For a model linear in its constants forward differences are exact, so the estimate is the
// least-squares solution up to rounding.
TEST(RoughEstimate, StraightLineLandsOnTheLeastSquaresSolution) {
  RoughRun rough("k0*x+k1");
  const double xs[] = {0.0, 1.0, 2.0, 3.0, 4.0};
  const double noise[] = {0.1, -0.2, 0.05, 0.15, -0.1};
  for (int i = 0; i < 5; ++i) rough.setup.AddPoint(xs[i], 1.5 * xs[i] - 2.0 + noise[i]);
  rough.setup.SetVariable(0, 0.0, 0.01, -10, 10, 0.001);
  rough.setup.SetVariable(1, 0.0, 0.01, -10, 10, 0.001);
  ASSERT_EQ(rough.Run(2), PhaseEnd::kContinue);
  // Ordinary least squares on the same points.
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (int i = 0; i < 5; ++i) {
    const double y = rough.setup.state().points.records[static_cast<std::size_t>(i)].y;
    sx += xs[i];
    sy += y;
    sxx += xs[i] * xs[i];
    sxy += xs[i] * y;
  }
  const double slope = (5 * sxy - sx * sy) / (5 * sxx - sx * sx);
  const double intercept = (sy - slope * sx) / 5;
  EXPECT_NEAR(rough.setup.state().engine.CurrentValue[0], slope, 1e-9);
  EXPECT_NEAR(rough.setup.state().engine.CurrentValue[1], intercept, 1e-9);
  EXPECT_EQ(rough.setup.state().engine.CycleCounter.load(), 5u);
}

TEST(RoughEstimate, ConstantWithoutInfluenceGivesUpWithValuesUnchanged) {
  RoughRun rough("k0*x+k1*0");
  rough.setup.AddPoint(1.0, 2.0);
  rough.setup.AddPoint(2.0, 4.0);
  rough.setup.SetVariable(0, 0.5, 0.01, -10, 10, 0.01);
  rough.setup.SetVariable(1, 7.0, 0.01, -10, 10, 0.01);
  ASSERT_EQ(rough.Run(2), PhaseEnd::kContinue);
  ASSERT_EQ(rough.harness.view.messages.size(), 1u);
  EXPECT_EQ(rough.harness.view.messages[0], kGiveUpMessage);
  EXPECT_EQ(rough.setup.state().engine.CurrentValue[0], 0.5);
  EXPECT_EQ(rough.setup.state().engine.CurrentValue[1], 7.0);
  EXPECT_EQ(rough.setup.state().formula.paramValue[0], 0.5);
  EXPECT_EQ(rough.setup.state().formula.paramValue[1], 7.0);
  const std::vector<std::string> lines = rough.harness.LogLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "概略推測不可能");
  EXPECT_EQ(lines[1], "概略推測開始前行列");  // the matrices before the elimination are logged
}

TEST(RoughEstimate, OverflowAtTheStartGivesUpAndKeepsMinSquare) {
  RoughRun rough("k0*x");
  rough.setup.AddPoint(1.0, 5e100);
  rough.setup.SetVariable(0, 1.0, 0.01, 0, 10, 0.01);
  ASSERT_EQ(rough.Run(1), PhaseEnd::kContinue);
  ASSERT_EQ(rough.harness.view.messages.size(), 1u);
  EXPECT_EQ(rough.harness.view.messages[0],
            "初期値が不適切なため、二乗値が非常に大きくなっています。\r概略推測できません。");
  EXPECT_EQ(rough.min_square, 1e300);
  EXPECT_EQ(rough.harness.LogLines(), std::vector<std::string>{"概略推測不可能"});
}

TEST(RoughEstimate, AbortEndsThePhaseWithValuesUnchanged) {
  RoughRun rough("k0*x");
  rough.setup.AddPoint(1.0, 3.0);
  rough.setup.AddPoint(2.0, 6.0);
  rough.setup.SetVariable(0, 1.0, 0.01, 0, 10, 0.01);
  rough.setup.state().workflow.store(WorkflowStateValue::kAbortRequested);
  EXPECT_EQ(rough.Run(1), PhaseEnd::kStopped);
  EXPECT_EQ(rough.setup.state().engine.CurrentValue[0], 1.0);
  EXPECT_EQ(rough.harness.LogLines().size(), 1u);  // only the starting sum
}

// A worse estimate is rejected and only the log shows its sum.
TEST(RoughEstimate, EstimateThatDoesNotLowerTheSumIsRejected) {
  // (k0*x)^2 against y = 4 at x = 1, from k0 = 1.9: the linearisation overshoots little, but
  // from k0 = 0.01 it lands far beyond 2 with a sum larger than at the start.
  RoughRun rough("(k0*x)^2");
  rough.setup.AddPoint(1.0, 4.0);
  rough.setup.SetVariable(0, 0.01, 0.01, 0, 10, 0.01);
  ASSERT_EQ(rough.Run(1), PhaseEnd::kContinue);
  EXPECT_EQ(rough.setup.state().engine.CurrentValue[0], 0.01);
  EXPECT_EQ(rough.setup.state().formula.paramValue[0], 0.01);
  const double start = (4.0 - 0.0001) * (4.0 - 0.0001);
  EXPECT_DOUBLE_EQ(rough.min_square, start);
  EXPECT_TRUE(rough.harness.view.messages.empty());
}

// When the model cannot be evaluated at a derivative probe, the step is taken once more and
// the difference divided by the doubled step; a base value that fails is taken a hundredth of
// the accuracy further on. The matrices before the elimination show which steps were used.
TEST(RoughEstimate, DerivativeProbesFallBackToTheDoubledStep) {
  struct Case {
    const char* formula;
    double f0, f1, h;  // the base value, the derivative probe and their distance
    double f2;         // the matrix probe at the whole accuracy
    const char* message;
  };
  const Case cases[] = {
      // x/(k0-0.01) at k0 = 0: the probe at 0.01 divides by zero, the one at 0.02 does not.
      {"x/(k0-0.01)", 1.0 / (0.0 - 0.01), 1.0 / ((0.0 + 0.01 + 0.01) - 0.01), 2.0 * (1.0 / 100.0),
       1.0 / (1.0 - 0.01), "ゼロで除算しました。計算できません。"},
      // x*Sqrt(k0-0.005) at k0 = 0: the base value fails and is taken at 0.01, the probe at
      // 0.02.
      {"x*Sqrt(k0-0.005)", std::sqrt((0.0 + 0.01) - 0.005), std::sqrt((0.0 + 0.01 + 0.01) - 0.005),
       1.0 / 100.0, std::sqrt(1.0 - 0.005), "Sqrtの対象に負の値が指定されました。計算できません。"},
  };
  for (const Case& c : cases) {
    RoughRun rough(c.formula);
    rough.setup.AddPoint(1.0, 0.5);
    rough.setup.SetVariable(0, 0.0, 1.0, -10, 10, 1.0);
    ASSERT_EQ(rough.Run(1), PhaseEnd::kContinue) << c.formula;
    const double derivative = (c.f1 - c.f0) / c.h;
    const double rhs = 0.0 - (derivative * c.f0 - derivative * 0.5);
    const double matrix = 0.0 + derivative * (c.f2 - c.f0) / 1.0;
    const std::vector<std::string> lines = rough.harness.LogLines();
    ASSERT_GE(lines.size(), 6u) << c.formula;
    EXPECT_EQ(lines[1], "概略推測開始前行列");
    EXPECT_EQ(lines[3], FormatNumber(matrix)) << c.formula;
    EXPECT_EQ(lines[5], FormatNumber(rhs)) << c.formula;
    ASSERT_FALSE(rough.harness.view.messages.empty());
    EXPECT_EQ(rough.harness.view.messages[0], c.message);
  }
}

TEST(SolveGaussJordan, SolvesWithoutPivotSearch) {
  double matrix[kMaxConstants][kMaxConstants] = {};
  double rhs[kMaxConstants] = {};
  matrix[0][0] = 2;
  matrix[0][1] = 1;
  matrix[1][0] = 1;
  matrix[1][1] = 3;
  rhs[0] = 5;
  rhs[1] = 10;
  ASSERT_TRUE(SolveGaussJordan(matrix, rhs, 2));
  EXPECT_DOUBLE_EQ(rhs[0], 1.0);
  EXPECT_DOUBLE_EQ(rhs[1], 3.0);
  EXPECT_DOUBLE_EQ(matrix[0][0], 1.0);
  EXPECT_DOUBLE_EQ(matrix[1][1], 1.0);
  EXPECT_EQ(matrix[0][1], 0.0);
}

TEST(SolveGaussJordan, ZeroPivotIsExchangedWithTheRowBelow) {
  double matrix[kMaxConstants][kMaxConstants] = {};
  double rhs[kMaxConstants] = {};
  // [0 1; 2 0] x = [3; 4]: rows 0 and 1 are exchanged once; x = (2, 3).
  matrix[0][1] = 1;
  matrix[1][0] = 2;
  rhs[0] = 3;
  rhs[1] = 4;
  ASSERT_TRUE(SolveGaussJordan(matrix, rhs, 2));
  EXPECT_DOUBLE_EQ(rhs[0], 2.0);
  EXPECT_DOUBLE_EQ(rhs[1], 3.0);
}

// A zero pivot in a later column is exchanged only with a row below it, never with a row that
// already served as a pivot, so the elimination still yields the solution.
TEST(SolveGaussJordan, LaterZeroPivotSearchesOnlyTheRowsBelow) {
  double matrix[kMaxConstants][kMaxConstants] = {};
  double rhs[kMaxConstants] = {};
  const double a[3][3] = {{1, 1, 0}, {1, 1, 1}, {0, 1, 1}};
  const double x[3] = {1, 2, 3};
  for (int r = 0; r < 3; ++r) {
    for (int j = 0; j < 3; ++j) {
      matrix[r][j] = a[r][j];
      rhs[r] += a[r][j] * x[j];
    }
  }
  ASSERT_TRUE(SolveGaussJordan(matrix, rhs, 3));
  for (int r = 0; r < 3; ++r) EXPECT_DOUBLE_EQ(rhs[r], x[r]) << r;
}

TEST(SolveGaussJordan, ZeroColumnGivesUp) {
  double matrix[kMaxConstants][kMaxConstants] = {};
  double rhs[kMaxConstants] = {1, 1};
  matrix[0][0] = 1;
  matrix[1][0] = 1;
  EXPECT_FALSE(SolveGaussJordan(matrix, rhs, 2));
}

}  // namespace
}  // namespace calvane
