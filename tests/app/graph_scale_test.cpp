#include "app/graph_scale.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "base/workflow_state.h"
#include "conditions/condition_record.h"
#include "formula/formula_check.h"

namespace calvane {
namespace {

// An application state with `n` points (x = i, y = 2i + 1) and the formula k0*x+k1 compiled
// with k0 = 2, k1 = 1, in workflow state `workflow`.
std::unique_ptr<AppState> LineState(std::uint32_t n, WorkflowStateValue workflow,
                                    const char* formula = "k0*x+k1") {
  auto state = MakeAppState(".");
  for (std::uint32_t i = 0; i < n; ++i) state->points.records[i] = {double(i), 2.0 * i + 1.0, 0};
  state->points.count = n;
  state->ranges = {0.0, double(n - 1), 1.0, 2.0 * (n - 1) + 1.0};
  state->conditions.leftSide = LeftSide::Y;
  EXPECT_EQ(CheckFormula(state->formula, formula, LeftSide::Y), FormulaCheckCode::FormulaValid)
      << formula;
  state->formula.paramValue[0] = 2.0;
  state->formula.paramValue[1] = 1.0;
  state->workflow = workflow;
  return state;
}

TEST(GraphScaleTest, OriginFollowsTheClientSizeInSinglePrecision) {
  struct Row {
    int w, h;
    PlotOrigin expected;
  };
  const std::vector<Row> rows = {
      {566, 459, {33, 299}}, {567, 460, {33, 300}},   {101, 51, {-199, 95}},
      {0, 0, {-250, 70}},    {1000, 800, {250, 470}},
  };
  for (const Row& r : rows) {
    const PlotOrigin o = PlotOriginFor(r.w, r.h);
    EXPECT_EQ(o.x0, r.expected.x0) << r.w;
    EXPECT_EQ(o.y0, r.expected.y0) << r.h;
  }
}

TEST(GraphScaleTest, AxesFollowTheLeftSideAndDegenerateRangesWiden) {
  const DataRanges ranges{2.0, 2.0, -3.0, 5.0};  // all x equal
  const GraphAxes y_of_x = ChooseAxes(LeftSide::Y, ranges);
  EXPECT_EQ(y_of_x.horizontal_label, "x (x系列)");
  EXPECT_EQ(y_of_x.vertical_label, "y");
  EXPECT_EQ(y_of_x.horizontal.lo, 1.0);
  EXPECT_EQ(y_of_x.horizontal.hi, 2.0);
  EXPECT_EQ(y_of_x.vertical.lo, -3.0);
  EXPECT_EQ(y_of_x.vertical.hi, 5.0);
  EXPECT_TRUE(y_of_x.draw_points);
  EXPECT_FALSE(y_of_x.horizontal_is_y);

  const GraphAxes x_of_y = ChooseAxes(LeftSide::X, ranges);
  EXPECT_EQ(x_of_y.horizontal_label, "y (y系列)");
  EXPECT_EQ(x_of_y.vertical_label, "x");
  EXPECT_EQ(x_of_y.horizontal.lo, -3.0);
  EXPECT_EQ(x_of_y.vertical.lo, 1.0);
  EXPECT_EQ(x_of_y.vertical.hi, 2.0);
  EXPECT_TRUE(x_of_y.horizontal_is_y);

  const GraphAxes none = ChooseAxes(LeftSide::NotSelected, ranges);
  EXPECT_TRUE(none.horizontal_label.empty());
  EXPECT_TRUE(none.vertical_label.empty());
  EXPECT_FALSE(none.draw_points);
  EXPECT_EQ(none.horizontal.lo, -1.0);
  EXPECT_EQ(none.horizontal.hi, 0.0);
  EXPECT_EQ(none.vertical.lo, -1.0);
  EXPECT_EQ(none.vertical.hi, 0.0);
}

TEST(GraphScaleTest, NoDataDrawsNothingButTheSeparator) {
  auto state = LineState(10, WorkflowStateValue::kNoData);
  GraphScale scale;
  const GraphPlan& plan = scale.Compute(*state, 566, 459);
  EXPECT_FALSE(plan.draw_plot);
  EXPECT_FALSE(plan.draw_curve);
  EXPECT_TRUE(plan.points.empty());
  EXPECT_TRUE(plan.curve.empty());
  EXPECT_TRUE(plan.axes.horizontal_label.empty());
  EXPECT_TRUE(plan.axes.vertical_label.empty());
}

TEST(GraphScaleTest, PointsAreScaledIntoTheBoxEveryDthPoint) {
  for (const std::uint8_t d : {std::uint8_t{1}, std::uint8_t{3}, std::uint8_t{100}}) {
    SCOPED_TRACE(int{d});
    auto state = LineState(11, WorkflowStateValue::kDataLoaded);  // x 0..10, y 1..21
    state->conditions.dataInterval = d;
    GraphScale scale;
    const GraphPlan& plan = scale.Compute(*state, 566, 459);
    std::vector<Pixel> expected;
    for (int i = 0; i < 11; i += d) {
      // 320 / 10 = 32 pixels per unit of x; -200 / 20 = -10 per unit of y.
      expected.push_back({33 + 32 * i, 299 - 10 * (2 * i)});
    }
    EXPECT_EQ(plan.points, expected);
    EXPECT_FALSE(plan.draw_curve);  // state 1: a run going on or no results yet
  }
}

TEST(GraphScaleTest, EqualXValuesLieOnTheRightEdge) {
  auto state = LineState(3, WorkflowStateValue::kDataLoaded);
  for (std::uint32_t i = 0; i < 3; ++i) state->points.records[i].x = 4.0;
  state->ranges.min_x = state->ranges.max_x = 4.0;
  GraphScale scale;
  const GraphPlan& plan = scale.Compute(*state, 566, 459);
  ASSERT_EQ(plan.points.size(), 3u);
  for (const Pixel& p : plan.points) EXPECT_EQ(p.x, 33 + 320);
}

TEST(GraphScaleTest, LeftSideNotSelectedDrawsAxesWithoutPoints) {
  auto state = LineState(5, WorkflowStateValue::kCompletedResults);
  state->conditions.leftSide = LeftSide::NotSelected;
  GraphScale scale;
  const GraphPlan& plan = scale.Compute(*state, 566, 459);
  EXPECT_TRUE(plan.draw_plot);
  EXPECT_TRUE(plan.points.empty());
}

TEST(GraphScaleTest, CurveHasOneDotPerColumnFromTheCurrentConstants) {
  auto state = LineState(11, WorkflowStateValue::kCompletedResults);
  GraphScale scale;
  const GraphPlan& plan = scale.Compute(*state, 566, 459);
  ASSERT_TRUE(plan.draw_curve);
  ASSERT_EQ(plan.curve.size(), 321u);
  for (int j = 0; j <= 320; ++j) {
    const double h = 0.0 + j * (10.0 / 320.0);
    const double value = static_cast<float>(2.0 * h + 1.0);
    const double y = 299 + (value - 1.0) * (-200.0 / 20.0);
    EXPECT_EQ(plan.curve[static_cast<std::size_t>(j)], (Pixel{33 + j, static_cast<int>(y)})) << j;
  }
  // The last column's horizontal value went through the graph's scratch point.
  EXPECT_EQ(state->points.records[kGraphScratchPoint].x, 10.0);
}

TEST(GraphScaleTest, CurveFollowsWorkflowState) {
  struct Row {
    WorkflowStateValue workflow;
    bool curve;
  };
  for (const Row r :
       {Row{WorkflowStateValue::kDataLoaded, false}, Row{WorkflowStateValue::kStoppedResults, true},
        Row{WorkflowStateValue::kCompletedResults, true},
        Row{WorkflowStateValue::kResultsSaved, true}, Row{WorkflowStateValue::kPaused, true},
        Row{WorkflowStateValue::kAbortRequested, true}}) {
    auto state = LineState(11, r.workflow);
    GraphScale scale;
    const GraphPlan& plan = scale.Compute(*state, 566, 459);
    EXPECT_EQ(plan.draw_curve, r.curve) << static_cast<int>(r.workflow);
    EXPECT_EQ(plan.curve.empty(), !r.curve) << static_cast<int>(r.workflow);
  }
}

TEST(GraphScaleTest, PausedRunShowsTheReachedConstants) {
  auto state = LineState(11, WorkflowStateValue::kPaused);
  state->formula.paramValue[0] = 1.0;  // the worker moved k0 from 2 to 1
  GraphScale scale;
  const GraphPlan& plan = scale.Compute(*state, 566, 459);
  ASSERT_EQ(plan.curve.size(), 321u);
  // At the right edge (x = 10) the curve is 1*10+1 = 11: (11 - 1) * -10 = -100.
  EXPECT_EQ(plan.curve.back(), (Pixel{353, 199}));
}

// While a run holds the formula, a paint never reads the shared one (the worker's): no curve
// until the pause snapshot hands over a copy, then that copy whatever the worker writes since.
TEST(GraphScaleTest, HeldFormulaDrawsOnlyTheSnapshotsCopy) {
  auto state = LineState(11, WorkflowStateValue::kPaused);
  GraphScale scale;
  scale.HoldForRun();
  EXPECT_FALSE(scale.Compute(*state, 566, 459).draw_curve);
  EXPECT_TRUE(scale.Compute(*state, 566, 459).curve.empty());

  state->formula.paramValue[0] = 1.0;  // the reached point
  scale.TakeSnapshot(state->formula);
  state->formula.paramValue[0] = 5.0;  // the worker probes on after resuming
  state->workflow.store(WorkflowStateValue::kAbortRequested);
  const GraphPlan& held = scale.Compute(*state, 566, 459);
  ASSERT_EQ(held.curve.size(), 321u);
  EXPECT_EQ(held.curve.back(), (Pixel{353, 199}));

  // A new run forgets the last run's snapshot.
  scale.HoldForRun();
  EXPECT_FALSE(scale.Compute(*state, 566, 459).draw_curve);

  scale.FollowShared();
  state->formula.paramValue[0] = 1.0;
  state->workflow.store(WorkflowStateValue::kStoppedResults);
  EXPECT_EQ(scale.Compute(*state, 566, 459).curve.back(), (Pixel{353, 199}));
}

TEST(GraphScaleTest, FailingColumnsLeaveAGapAndTheSharedFormulaIsUntouched) {
  auto state = LineState(11, WorkflowStateValue::kCompletedResults, "Sqrt(x)*k0");
  state->ranges.min_x = -10.0;  // columns below x = 0 fail with a negative square root
  state->ranges.max_x = 10.0;
  state->formula.x = 123.0;
  state->formula.slotValue[0] = 456.0;
  GraphScale scale;
  const GraphPlan& plan = scale.Compute(*state, 566, 459);
  ASSERT_EQ(plan.curve.size(), 161u);  // columns 160 (x = 0) to 320
  EXPECT_EQ(plan.curve.front().x, 33 + 160);
  EXPECT_EQ(plan.curve.back().x, 33 + 320);
  EXPECT_EQ(state->formula.x, 123.0);
  EXPECT_EQ(state->formula.slotValue[0], 456.0);
}

TEST(GraphScaleTest, ValuesBeyondThePixelRangeAreLeftOut) {
  auto state = LineState(11, WorkflowStateValue::kCompletedResults, "k0*Exp(x)");
  state->ranges.min_x = 0.0;
  state->ranges.max_x = 800.0;  // exp(800) is infinite; exp(~90) already exceeds the float
  state->formula.paramValue[0] = 1.0;
  GraphScale scale;
  const GraphPlan& plan = scale.Compute(*state, 566, 459);
  ASSERT_FALSE(plan.curve.empty());
  EXPECT_LT(plan.curve.size(), 321u);
  for (const Pixel& p : plan.curve) {
    EXPECT_GT(p.y, std::numeric_limits<int>::min());
    EXPECT_LT(p.y, std::numeric_limits<int>::max());
  }
}

TEST(GraphScaleTest, RangeTooNarrowToScaleLeavesPointsOutInsteadOfOverflowing) {
  auto state = LineState(3, WorkflowStateValue::kCompletedResults);
  for (std::uint32_t i = 0; i < 3; ++i) state->points.records[i].x = 1e300;
  state->ranges.min_x = state->ranges.max_x = 1e300;  // hi - 1 == hi: the range stays empty
  GraphScale scale;
  const GraphPlan& plan = scale.Compute(*state, 566, 459);
  EXPECT_TRUE(plan.points.empty());
  EXPECT_TRUE(plan.curve.empty());
}

TEST(GraphScaleTest, PixelAndSingleConversionsStayDefined) {
  int pixel = 7;
  EXPECT_TRUE(TruncToPixel(-2.9, pixel));
  EXPECT_EQ(pixel, -2);
  EXPECT_TRUE(TruncToPixel(2147483646.9, pixel));
  EXPECT_EQ(pixel, 2147483646);
  for (const double bad : {2147483647.0, -2147483648.0, std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    pixel = 7;
    EXPECT_FALSE(TruncToPixel(bad, pixel)) << bad;
    EXPECT_EQ(pixel, 7);
  }
  EXPECT_EQ(ToSingle(1.5), 1.5f);
  EXPECT_EQ(ToSingle(1e300), std::numeric_limits<float>::infinity());
  EXPECT_EQ(ToSingle(-1e300), -std::numeric_limits<float>::infinity());
  EXPECT_EQ(ToSingle(static_cast<double>(FLT_MAX) * (1 + 1e-10)), FLT_MAX);
  EXPECT_TRUE(std::isnan(ToSingle(std::nan(""))));
}

}  // namespace
}  // namespace calvane
