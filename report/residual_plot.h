#pragma once

#include <vector>

#include "report/fit_statistics.h"

namespace calvane {

// Where the residual plot draws, in pixels of a widget of a given size: a box inside fixed
// margins, the zero line across it and one dot per used point (observed minus model against the
// abscissa). The horizontal range is that of the abscissas, the vertical one symmetric about 0
// and a tenth wider than the largest residual, so the zero line is always in the middle.
struct ResidualPlotPlan {
  int left = 0;  // the box
  int top = 0;
  int width = 0;
  int height = 0;
  int zero_row = 0;
  struct Dot {
    int x = 0;
    int y = 0;
  };
  std::vector<Dot> dots;
};

// Margins of the box: room for the axis names on the left and below.
constexpr int kResidualPlotLeftMargin = 34;
constexpr int kResidualPlotRightMargin = 8;
constexpr int kResidualPlotTopMargin = 8;
constexpr int kResidualPlotBottomMargin = 22;

// The plan for `residuals` in a widget of `width` x `height`. Points whose residual is not a
// number are left out. Pure.
ResidualPlotPlan PlanResidualPlot(const std::vector<ResidualPoint>& residuals, int width,
                                  int height);

}  // namespace calvane
