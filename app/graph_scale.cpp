#include "app/graph_scale.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include "app/command_state.h"
#include "app/messages.h"
#include "conditions/condition_record.h"
#include "formula/evaluator.h"

namespace calvane {

PlotOrigin PlotOriginFor(int width, int height) {
  // Single-precision arithmetic; client sizes are far below the float's exact-integer limit,
  // so the truncation below is always in range.
  const float x0 = static_cast<float>(width) / 2.0f - 250.0f;
  const float y0 = static_cast<float>(height) / 2.0f + 70.0f;
  return {static_cast<int>(x0), static_cast<int>(y0)};
}

AxisRange WidenRange(double lo, double hi) {
  if (lo == hi) lo = hi - 1.0;
  return {lo, hi};
}

GraphAxes ChooseAxes(LeftSide left_side, const DataRanges& ranges) {
  GraphAxes axes;
  if (left_side == LeftSide::X) {
    axes.horizontal_label = text::kAxisYSeries;
    axes.vertical_label = text::kAxisX;
    axes.horizontal = WidenRange(ranges.min_y, ranges.max_y);
    axes.vertical = WidenRange(ranges.min_x, ranges.max_x);
    axes.horizontal_is_y = true;
    axes.draw_points = true;
  } else if (left_side == LeftSide::Y) {
    axes.horizontal_label = text::kAxisXSeries;
    axes.vertical_label = text::kAxisY;
    axes.horizontal = WidenRange(ranges.min_x, ranges.max_x);
    axes.vertical = WidenRange(ranges.min_y, ranges.max_y);
    axes.draw_points = true;
  } else {
    axes.horizontal = WidenRange(0.0, 0.0);
    axes.vertical = WidenRange(0.0, 0.0);
  }
  return axes;
}

bool TruncToPixel(double value, int& pixel) {
  if (!(value > -2147483648.0 && value < 2147483647.0)) return false;
  pixel = static_cast<int>(value);
  return true;
}

float ToSingle(double value) {
  // Halfway between FLT_MAX and the next power of two: from here on the rounding gives infinity.
  constexpr double kOverflow = static_cast<double>(FLT_MAX) + 0x1p103;
  if (std::isnan(value)) return std::numeric_limits<float>::quiet_NaN();
  if (value >= kOverflow) return std::numeric_limits<float>::infinity();
  if (value <= -kOverflow) return -std::numeric_limits<float>::infinity();
  if (value > FLT_MAX) return FLT_MAX;
  if (value < -FLT_MAX) return -FLT_MAX;
  return static_cast<float>(value);
}

GraphScale::GraphScale() : formula_(std::make_unique<CompiledFormula>()) {}
GraphScale::~GraphScale() = default;

void GraphScale::HoldForRun() {
  holding_ = true;
  have_snapshot_ = false;
}

void GraphScale::TakeSnapshot(const CompiledFormula& reached) {
  formula_->CopyFrom(reached);
  have_snapshot_ = true;
}

void GraphScale::FollowShared() {
  holding_ = false;
  have_snapshot_ = false;
}

const GraphPlan& GraphScale::Compute(AppState& state, int client_width, int client_height) {
  GraphPlan& plan = plan_;
  plan.points.clear();
  plan.curve.clear();
  const WorkflowStateValue workflow = state.workflow.load();
  plan.draw_plot = workflow != WorkflowStateValue::kNoData;
  plan.draw_curve = false;
  plan.axes = GraphAxes{};
  plan.origin = PlotOriginFor(client_width, client_height);
  if (!plan.draw_plot) return plan;

  plan.axes = ChooseAxes(state.conditions.leftSide, state.ranges);
  const GraphAxes& axes = plan.axes;
  const int x0 = plan.origin.x0;
  const int y0 = plan.origin.y0;
  const double hlo = axes.horizontal.lo;
  const double hhi = axes.horizontal.hi;
  const double vlo = axes.vertical.lo;
  const double vhi = axes.vertical.hi;
  const double h_scale = static_cast<double>(kPlotWidth) / (hhi - hlo);
  const double v_scale = -static_cast<double>(kPlotHeight) / (vhi - vlo);

  if (axes.draw_points) {
    const std::uint32_t n = state.points.count <= kMaxPoints ? state.points.count : kMaxPoints;
    // An interval outside 1..100 never reaches the record; 0 would never advance.
    const std::uint32_t d = state.conditions.dataInterval == 0 ? 1 : state.conditions.dataInterval;
    plan.points.reserve(n / d + 1);
    for (std::uint32_t i = 0; i < n; i += d) {
      const Point& p = state.points.records[i];
      const double h = axes.horizontal_is_y ? p.y : p.x;
      const double v = axes.horizontal_is_y ? p.x : p.y;
      Pixel pixel;
      // Coordinates that are not numbers (a range too narrow to scale) are left out.
      if (TruncToPixel(x0 + (h - hlo) * h_scale, pixel.x) &&
          TruncToPixel(y0 + (v - vlo) * v_scale, pixel.y)) {
        plan.points.push_back(pixel);
      }
    }
  }

  if (CurveVisible(workflow) && (!holding_ || have_snapshot_)) {
    plan.draw_curve = true;
    if (!holding_) formula_->CopyFrom(state.formula);
    Point& scratch = state.points.records[kGraphScratchPoint];
    const double column_step = (hhi - hlo) / static_cast<double>(kPlotWidth);
    plan.curve.reserve(kCurveColumns);
    for (int j = 0; j < kCurveColumns; ++j) {
      const double h = hlo + j * column_step;
      if (axes.horizontal_is_y) {
        scratch.y = h;
      } else {
        scratch.x = h;
      }
      std::int8_t status = -100;
      const double value = EvaluateFormula(*formula_, scratch, status, nullptr);
      if (status != -100) continue;
      const float single = ToSingle(value);
      const double y = y0 + (static_cast<double>(single) - vlo) * v_scale;
      Pixel pixel{x0 + j, 0};
      if (TruncToPixel(y, pixel.y)) plan.curve.push_back(pixel);
    }
  }
  return plan;
}

}  // namespace calvane
