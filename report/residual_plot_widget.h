#pragma once

#include <QColor>
#include <QWidget>
#include <string>
#include <vector>

#include "report/fit_statistics.h"

namespace calvane {

inline const QColor kResidualDotColour{255, 0, 100};
inline const QColor kResidualZeroColour{100, 0, 255};

// The residual plot of the details window: a white box with a black frame, the zero line
// (2 pixels) and a dot of 3 pixels for each used point, placed by PlanResidualPlot, with the
// names of the axes ("残差" up the left side, the abscissa's name below). Main thread.
class ResidualPlotWidget : public QWidget {
  Q_OBJECT

 public:
  ResidualPlotWidget(std::vector<ResidualPoint> residuals, std::string abscissa_name,
                     QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<ResidualPoint> residuals_;
  std::string abscissa_name_;
};

}  // namespace calvane
