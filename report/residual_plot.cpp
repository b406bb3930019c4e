#include "report/residual_plot.h"

#include <algorithm>
#include <cmath>

namespace calvane {
namespace {

// A pixel coordinate from a double, truncated toward zero, clamped well inside the int range
// (dots far outside the widget are clipped anyway).
int ToPixel(double value) {
  constexpr double kLimit = 1e6;
  return static_cast<int>(std::clamp(value, -kLimit, kLimit));
}

}  // namespace

ResidualPlotPlan PlanResidualPlot(const std::vector<ResidualPoint>& residuals, int width,
                                  int height) {
  ResidualPlotPlan plan;
  plan.left = kResidualPlotLeftMargin;
  plan.top = kResidualPlotTopMargin;
  plan.width = std::max(1, width - kResidualPlotLeftMargin - kResidualPlotRightMargin);
  plan.height = std::max(1, height - kResidualPlotTopMargin - kResidualPlotBottomMargin);
  plan.zero_row = plan.top + plan.height / 2;

  bool any = false;
  double lo = 0.0, hi = 0.0, largest = 0.0;
  for (const ResidualPoint& r : residuals) {
    if (!std::isfinite(r.residual) || !std::isfinite(r.abscissa)) continue;
    lo = any ? std::min(lo, r.abscissa) : r.abscissa;
    hi = any ? std::max(hi, r.abscissa) : r.abscissa;
    largest = std::max(largest, std::fabs(r.residual));
    any = true;
  }
  if (!any) return plan;
  if (!(hi > lo)) {  // one abscissa: the dots in the middle
    lo -= 1.0;
    hi += 1.0;
  }
  const double half = largest > 0.0 ? largest * 1.1 : 1.0;
  const double x_scale = (plan.width - 1) / (hi - lo);
  const double y_scale = (plan.height / 2) / half;
  for (const ResidualPoint& r : residuals) {
    if (!std::isfinite(r.residual) || !std::isfinite(r.abscissa)) continue;
    plan.dots.push_back({ToPixel(plan.left + (r.abscissa - lo) * x_scale),
                         ToPixel(plan.zero_row - r.residual * y_scale)});
  }
  return plan;
}

}  // namespace calvane
