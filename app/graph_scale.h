#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "app/app_state.h"
#include "base/point_table.h"
#include "formula/compiled_formula.h"

namespace calvane {

// Size of the plot box in pixels: it extends this far right of and above the origin.
constexpr int kPlotWidth = 320;
constexpr int kPlotHeight = 200;
// Number of curve columns: one per pixel of the plot width, both edges included.
constexpr int kCurveColumns = kPlotWidth + 1;
// Rows of the separator under the toolbar.
constexpr int kSeparatorGreyRow = 29;
constexpr int kSeparatorWhiteRow = 30;

// Plot origin (lower-left corner of the box) in client pixels for a client area of
// `width` x `height`: x0 = W/2 - 250, y0 = H/2 + 70 in single precision, truncated toward zero.
struct PlotOrigin {
  int x0 = 0;
  int y0 = 0;
};
PlotOrigin PlotOriginFor(int width, int height);

// A closed range of one axis. WidenRange makes a degenerate range one unit wide: lo = hi - 1.
struct AxisRange {
  double lo = 0.0;
  double hi = 0.0;
};
AxisRange WidenRange(double lo, double hi);

// Which variable each axis shows, chosen by the left-side variable (0 none, 1 x, 2 y).
struct GraphAxes {
  std::string_view horizontal_label;  // text of control 1026
  std::string_view vertical_label;    // text of control 1027
  AxisRange horizontal;
  AxisRange vertical;
  bool horizontal_is_y = false;  // left side x: y runs along the horizontal axis
  bool draw_points = false;      // no points when no left side is chosen
};
GraphAxes ChooseAxes(LeftSide left_side, const DataRanges& ranges);

struct Pixel {
  int x = 0;
  int y = 0;
  friend bool operator==(const Pixel&, const Pixel&) = default;
};

// Everything one paint draws besides the separator, in client pixels.
struct GraphPlan {
  bool draw_plot = false;  // false in workflow state 0: only the separator, labels empty
  PlotOrigin origin;
  GraphAxes axes;
  std::vector<Pixel> points;  // data dots
  std::vector<Pixel> curve;   // curve dots, at most one per column
  bool draw_curve = false;
};

// Converts a pixel coordinate computed in double precision to an int, truncating toward zero.
// False when the value is not a number or lies outside the 32-bit range (open bounds), in which
// case nothing is drawn there.
bool TruncToPixel(double value, int& pixel);

// Converts a double to single precision as the IEEE conversion does (round to nearest, an
// infinity beyond the float range), without the out-of-range conversion C++ leaves undefined.
float ToSingle(double value);

// Computes the plot for one paint. Keeps its own copy of the compiled formula (refreshed from
// `state.formula` on every call, so the constants in paramValue are those of the moment) and
// evaluates the curve on that copy with status -100 and no message sink, so painting neither
// disturbs the shared formula's cells nor shows a message. The horizontal value of each column
// is written into the graph's scratch point of the point table. Main thread only, and only
// while no run is active or the run is paused.
class GraphScale {
 public:
  GraphScale();
  ~GraphScale();
  GraphScale(const GraphScale&) = delete;
  GraphScale& operator=(const GraphScale&) = delete;

  const GraphPlan& Compute(AppState& state, int client_width, int client_height);

  // While a run is going the shared formula belongs to the worker, which writes its paramValue
  // on every probe. HoldForRun (before the worker starts) makes every later Compute draw the
  // curve only from the copy that TakeSnapshot hands over while the worker waits in its pause
  // snapshot, and no curve before the first snapshot of the run (a paint between the pause
  // request and the worker's next check never reads the worker's formula). FollowShared (after
  // the worker has ended) returns to copying state.formula on each paint. Main thread.
  void HoldForRun();
  void TakeSnapshot(const CompiledFormula& reached);
  void FollowShared();
  bool holding() const { return holding_; }

 private:
  std::unique_ptr<CompiledFormula> formula_;
  bool holding_ = false;
  bool have_snapshot_ = false;
  GraphPlan plan_;
};

}  // namespace calvane
