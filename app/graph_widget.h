#pragma once

#include <QColor>
#include <QLabel>
#include <QPointer>
#include <QWidget>

#include "app/app_state.h"
#include "app/graph_scale.h"

namespace calvane {

// Colours of the plot.
inline const QColor kSeparatorGrey{160, 160, 160};
inline const QColor kSeparatorWhite{255, 255, 255};
inline const QColor kAxisColour{0, 0, 0};
inline const QColor kPointColour{255, 0, 100};
inline const QColor kCurveColour{100, 0, 255};

// The client area of the main window: the controls are its children, and on every paint it
// draws the separator under the toolbar and the graph computed by GraphScale: axes, the data
// dots (3 pixels) and the fitted curve (2 pixels). It also sets the texts of the two axis
// labels. Main thread.
class GraphWidget : public QWidget {
  Q_OBJECT

 public:
  GraphWidget(AppState& state, QWidget* parent = nullptr);

  // The labels 1026 (horizontal) and 1027 (vertical) whose texts each paint sets.
  void SetAxisLabels(QLabel* horizontal, QLabel* vertical);

  // The part of the widget that an image of the graph shows: the plot box with its dots (which
  // reach a pixel or two beyond it) and the two axis labels, with a small margin.
  QRect ImageRect() const;

  // What each paint computes; the run command holds its formula while a worker runs.
  GraphScale& scale() { return scale_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  AppState& state_;
  GraphScale scale_;
  QPointer<QLabel> horizontal_label_;
  QPointer<QLabel> vertical_label_;
};

}  // namespace calvane
