#include "report/residual_plot_widget.h"

#include <QPainter>

#include "base/qt_prompter.h"
#include "report/report_messages.h"
#include "report/residual_plot.h"

namespace calvane {

ResidualPlotWidget::ResidualPlotWidget(std::vector<ResidualPoint> residuals,
                                       std::string abscissa_name, QWidget* parent)
    : QWidget(parent), residuals_(std::move(residuals)), abscissa_name_(std::move(abscissa_name)) {
  setAutoFillBackground(true);
}

void ResidualPlotWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const ResidualPlotPlan plan = PlanResidualPlot(residuals_, width(), height());
  const QRect box(plan.left, plan.top, plan.width, plan.height);
  painter.fillRect(box, Qt::white);
  painter.fillRect(QRect(plan.left, plan.zero_row, plan.width, 2), kResidualZeroColour);
  painter.setClipRect(box);
  for (const ResidualPlotPlan::Dot& dot : plan.dots) {
    painter.fillRect(QRect(dot.x - 1, dot.y - 1, 3, 3), kResidualDotColour);
  }
  painter.setClipping(false);
  painter.setPen(Qt::black);
  painter.drawRect(box.adjusted(-1, -1, 0, 0));

  // The axis names: the abscissa centred below the box, "残差" up the left side.
  painter.drawText(
      QRect(plan.left, plan.top + plan.height + 2, plan.width, kResidualPlotBottomMargin - 2),
      Qt::AlignHCenter | Qt::AlignTop, DisplayText(abscissa_name_));
  painter.save();
  painter.translate(plan.left - kResidualPlotLeftMargin + 4, plan.top + plan.height);
  painter.rotate(-90);
  painter.drawText(QRect(0, 0, plan.height, kResidualPlotLeftMargin - 8), Qt::AlignCenter,
                   DisplayText(text::kResidualAxis));
  painter.restore();
}

}  // namespace calvane
