#pragma once

#include <QWidget>

#include "data/data_sheet.h"
#include "data/data_text.h"

namespace calvane {

// The painted part of the data sheet, laid under every control and covering the whole client
// area so that it paints in the sheet's own client coordinates: the cell area with its sixteen
// visible rows (the cells are read from the data text at paint time, never kept), the grid
// lines, the two legend marks and the selection frames. A press anywhere it is not covered by a
// control is reported through `pressed`. Main thread.
class DataGridWidget : public QWidget {
  Q_OBJECT

 public:
  DataGridWidget(const DataText& text, QWidget* parent);

  // The series shown in the left column and the row shown in the top row, indices from 0.
  void SetView(int left_series, int top_row);
  // The four fields as numbers, for the selection frames.
  void SetFields(const SheetFieldNumbers& fields);
  // Repaints the cell area only (scrolling).
  void RepaintCells();

  int left_series() const { return left_series_; }
  int top_row() const { return top_row_; }

 signals:
  void pressed(int px, int py);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  const DataText& text_;
  int left_series_ = 0;
  int top_row_ = 0;
  SheetFieldNumbers fields_;
};

}  // namespace calvane
