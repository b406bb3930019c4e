#include "app/graph_widget.h"

#include <QPainter>

#include "base/qt_prompter.h"

namespace calvane {

namespace {

void SetLabel(QLabel* label, std::string_view text) {
  if (label == nullptr) return;
  const QString value = DisplayText(text);
  if (label->text() != value) label->setText(value);
}

// A dot of a pen `width` pixels wide centred on (x, y), as a zero-length line shows it. Dots
// far outside the widget are not drawn at all (they would be clipped anyway).
void Dot(QPainter& painter, const QRect& bounds, int x, int y, int width, const QColor& colour) {
  if (x < bounds.left() - width || x > bounds.right() + width || y < bounds.top() - width ||
      y > bounds.bottom() + width) {
    return;
  }
  const int before = width / 2;  // 3 -> one pixel on each side; 2 -> one pixel up and left
  painter.fillRect(QRect(x - before, y - before, width, width), colour);
}

}  // namespace

GraphWidget::GraphWidget(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
  setAutoFillBackground(true);
}

void GraphWidget::SetAxisLabels(QLabel* horizontal, QLabel* vertical) {
  horizontal_label_ = horizontal;
  vertical_label_ = vertical;
}

QRect GraphWidget::ImageRect() const {
  constexpr int kDotReach = 2;  // a 3-pixel dot on the box edge reaches this far beyond it
  constexpr int kMargin = 6;
  const PlotOrigin origin = PlotOriginFor(width(), height());
  QRect area(origin.x0, origin.y0 - kPlotHeight, kPlotWidth + 1, kPlotHeight + 1);
  area.adjust(-kDotReach, -kDotReach, kDotReach, kDotReach);
  for (const QLabel* label : {horizontal_label_.data(), vertical_label_.data()}) {
    if (label != nullptr) area = area.united(label->geometry());
  }
  return area.adjusted(-kMargin, -kMargin, kMargin, kMargin).intersected(rect());
}

void GraphWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int w = width();
  painter.fillRect(QRect(0, kSeparatorGreyRow, w, 1), kSeparatorGrey);
  painter.fillRect(QRect(0, kSeparatorWhiteRow, w, 1), kSeparatorWhite);

  const GraphPlan& plan = scale_.Compute(state_, w, height());
  SetLabel(horizontal_label_, plan.axes.horizontal_label);
  SetLabel(vertical_label_, plan.axes.vertical_label);
  if (!plan.draw_plot) return;

  const int x0 = plan.origin.x0;
  const int y0 = plan.origin.y0;
  // A line drawn from (x0, y0) leaves out its end pixel.
  painter.fillRect(QRect(x0, y0, kPlotWidth, 1), kAxisColour);
  painter.fillRect(QRect(x0, y0 - kPlotHeight + 1, 1, kPlotHeight), kAxisColour);

  const QRect bounds = rect();
  for (const Pixel& p : plan.points) Dot(painter, bounds, p.x, p.y, 3, kPointColour);
  for (const Pixel& p : plan.curve) Dot(painter, bounds, p.x, p.y, 2, kCurveColour);
}

}  // namespace calvane
