#include "engine/fit_results.h"

#include <cmath>

#include <gtest/gtest.h>

#include "tests/engine/engine_test_support.h"

namespace calvane {
namespace {

using test::FitSetup;

TEST(FitResults, UnusedConstantsHaveEmptyFields) {
  FitSetup setup("k0*x+k2");
  setup.AddPoint(0.0, 1.0);
  setup.AddPoint(1.0, 3.0);
  setup.state().engine.CurrentValue[0] = 2.0;  // k0
  setup.state().engine.CurrentValue[1] = 1.0;  // k2
  const FitResults results = ComputeFitResults(setup.state(), false);
  EXPECT_EQ(results.constant_texts[0], "2");
  EXPECT_EQ(results.constant_texts[1], "");
  EXPECT_EQ(results.constant_texts[2], "1");
  for (int k = 3; k < 10; ++k) EXPECT_EQ(results.constant_texts[static_cast<std::size_t>(k)], "");
  EXPECT_TRUE(results.r2_computed);
  EXPECT_DOUBLE_EQ(results.R2Value, 1.0);
  EXPECT_EQ(results.r2_text, FormatNumber(results.R2Value));
}

// R^2 is the squared correlation of observed and model values: a linear transform of the model
// values does not change it.
TEST(FitResults, RSquaredIsTheSquaredCorrelation) {
  FitSetup setup("k0*x+k1", LeftSide::Y);
  const double ys[] = {1.0, 2.5, 2.9, 4.2, 5.1, 5.8};
  for (int i = 0; i < 6; ++i) setup.AddPoint(i, ys[i]);
  double mx = 2.5, my = 0;
  for (double y : ys) my += y / 6;
  double sxy = 0, sxx = 0, syy = 0;
  for (int i = 0; i < 6; ++i) {
    sxy += (i - mx) * (ys[i] - my);
    sxx += (i - mx) * (i - mx);
    syy += (ys[i] - my) * (ys[i] - my);
  }
  const double expected = sxy * sxy / (sxx * syy);
  struct Case {
    double k0, k1;
  };
  for (const Case c : {Case{1.0, 0.0}, Case{0.9, 1.0}, Case{-3.0, 100.0}}) {
    setup.state().engine.CurrentValue[0] = c.k0;
    setup.state().engine.CurrentValue[1] = c.k1;
    const FitResults results = ComputeFitResults(setup.state(), false);
    EXPECT_NEAR(results.R2Value, expected, 1e-12) << c.k0;
  }
}

TEST(FitResults, ProvisionalMarkFollowsTheWorkflowState) {
  FitSetup setup("k0*x");
  setup.AddPoint(1.0, 2.0);
  setup.AddPoint(2.0, 4.1);
  setup.state().engine.CurrentValue[0] = 2.0;
  struct Case {
    WorkflowStateValue workflow;
    bool marked;
  };
  for (const Case c :
       {Case{WorkflowStateValue::kStoppedResults, true}, Case{WorkflowStateValue::kPaused, true},
        Case{WorkflowStateValue::kCompletedResults, false},
        Case{WorkflowStateValue::kResultsSaved, false},
        Case{WorkflowStateValue::kDataLoaded, false}}) {
    setup.state().workflow.store(c.workflow);
    const FitResults results = RefreshResults(setup.state());
    const std::string mark = c.marked ? " *" : "";
    EXPECT_EQ(results.constant_texts[0], "2" + mark) << static_cast<int>(c.workflow);
    EXPECT_EQ(results.r2_text, FormatNumber(results.R2Value) + mark);
    EXPECT_EQ(setup.state().engine.R2Value, results.R2Value);
    EXPECT_EQ(IsProvisionalState(c.workflow), c.marked);
  }
}

TEST(FitResults, DataIntervalThinsThePoints) {
  FitSetup setup("k0*x");
  // Points 0, 2 and 4 lie on y = 2x; points 1 and 3 are far off.
  const double ys[] = {2.0, -50.0, 6.0, 70.0, 10.0};
  for (int i = 0; i < 5; ++i) setup.AddPoint(i + 1.0, ys[i]);
  setup.state().conditions.dataInterval = 2;
  setup.state().engine.CurrentValue[0] = 2.0;
  EXPECT_DOUBLE_EQ(ComputeFitResults(setup.state(), false).R2Value, 1.0);
  setup.state().conditions.dataInterval = 1;
  EXPECT_LT(ComputeFitResults(setup.state(), false).R2Value, 0.5);
}

TEST(FitResults, RSquaredThatCannotBeComputedIsZeroWithItsText) {
  struct Case {
    const char* formula;
    double k0;
    double ys[3];
  };
  const Case cases[] = {
      {"Ln(k0*x)", 1.0, {1, 2, 4}},  // the model cannot be evaluated at x = 0
      {"k0+x*0", 2.0, {1, 2, 4}},    // the model does not vary
      {"k0*x", 1.0, {3, 3, 3}},      // the observed values do not vary
  };
  for (const Case& c : cases) {
    FitSetup setup(c.formula);
    for (int i = 0; i < 3; ++i) setup.AddPoint(i, c.ys[i]);
    setup.state().engine.CurrentValue[0] = c.k0;
    setup.state().engine.R2Value = 0.5;
    setup.state().workflow.store(WorkflowStateValue::kStoppedResults);
    const FitResults results = RefreshResults(setup.state());
    EXPECT_FALSE(results.r2_computed) << c.formula;
    EXPECT_EQ(results.R2Value, 0.0);
    EXPECT_EQ(setup.state().engine.R2Value, 0.0);
    EXPECT_EQ(results.r2_text, "計算できません");
    EXPECT_EQ(results.constant_texts[0], FormatNumber(c.k0) + " *");
  }
}

TEST(FitResults, NoPointsCannotBeComputed) {
  FitSetup setup("k0*x");
  setup.state().engine.CurrentValue[0] = 1.0;
  const FitResults results = ComputeFitResults(setup.state(), false);
  EXPECT_FALSE(results.r2_computed);
  EXPECT_EQ(results.constant_texts[0], "1");
}

// The results evaluate a copy of the formula: the record the worker evaluates keeps its cells.
TEST(FitResults, EvaluatesItsOwnCopyOfTheFormula) {
  FitSetup setup("k0*x");
  setup.AddPoint(1.0, 2.0);
  setup.AddPoint(2.0, 4.5);
  CompiledFormula& formula = setup.state().formula;
  formula.paramValue[0] = 123.0;
  formula.x = -7.0;
  formula.slotValue[0] = -9.0;
  setup.state().engine.CurrentValue[0] = 2.0;
  const FitResults results = ComputeFitResults(setup.state(), false);
  EXPECT_TRUE(results.r2_computed);
  EXPECT_EQ(formula.paramValue[0], 123.0);
  EXPECT_EQ(formula.x, -7.0);
  EXPECT_EQ(formula.slotValue[0], -9.0);
}

TEST(FitResults, ObservedFieldFollowsTheLeftSide) {
  FitSetup setup("k0*y", LeftSide::X);
  setup.AddPoint(2.0, 1.0);
  setup.AddPoint(4.0, 2.0);
  setup.AddPoint(5.0, 3.0);
  setup.state().engine.CurrentValue[0] = 2.0;
  const FitResults with_x = ComputeFitResults(setup.state(), false);
  // Observed x = 2, 4, 5 against the model 2, 4, 6.
  const double mx = 11.0 / 3, mf = 4.0;
  const double sxy = (2 - mx) * (2 - mf) + (4 - mx) * (4 - mf) + (5 - mx) * (6 - mf);
  const double sxx = (2 - mx) * (2 - mx) + (4 - mx) * (4 - mx) + (5 - mx) * (5 - mx);
  const double sff = 4.0 + 0.0 + 4.0;
  EXPECT_NEAR(with_x.R2Value, sxy * sxy / (sxx * sff), 1e-12);
}

}  // namespace
}  // namespace calvane
