#include "data/data_grid_widget.h"

#include <QMouseEvent>
#include <QPainter>

namespace calvane {
namespace {

const QColor kCellBackground(240, 240, 240);
const QColor kGridLine(180, 180, 180);
const QColor kXFrame(0, 0, 255);
const QColor kYFrame(255, 0, 0);
constexpr int kCornerSquare = 5;

// A frame outline from (left, top) to (right, bottom) inclusive.
void DrawOutline(QPainter& painter, const QColor& color, int left, int top, int right, int bottom) {
  painter.setPen(QPen(color, 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(left, top, right - left, bottom - top);
}

void DrawCorner(QPainter& painter, const QColor& color, int x, int y, int size) {
  painter.fillRect(x, y, size, size, color);
}

// The legend mark beside a field label: a bracket-shaped frame with small filled corners.
void DrawLegend(QPainter& painter, const QColor& color, int left, int top, int right, int bottom) {
  DrawOutline(painter, color, left, top, right, bottom);
  constexpr int kSmall = 3;
  DrawCorner(painter, color, left, top, kSmall);
  DrawCorner(painter, color, right - kSmall + 1, top, kSmall);
  DrawCorner(painter, color, left, bottom - kSmall + 1, kSmall);
  DrawCorner(painter, color, right - kSmall + 1, bottom - kSmall + 1, kSmall);
}

void DrawFrame(QPainter& painter, const QColor& color, const SelectionFrame& frame) {
  DrawOutline(painter, color, frame.left, frame.top, frame.right, frame.bottom);
  if (frame.top_corners) {
    DrawCorner(painter, color, frame.left, frame.top, kCornerSquare);
    DrawCorner(painter, color, frame.right - kCornerSquare + 1, frame.top, kCornerSquare);
  }
  if (frame.bottom_corners) {
    DrawCorner(painter, color, frame.left, frame.bottom - kCornerSquare + 1, kCornerSquare);
    DrawCorner(painter, color, frame.right - kCornerSquare + 1, frame.bottom - kCornerSquare + 1,
               kCornerSquare);
  }
}

}  // namespace

DataGridWidget::DataGridWidget(const DataText& text, QWidget* parent)
    : QWidget(parent), text_(text) {
  setObjectName(QStringLiteral("grid"));
}

void DataGridWidget::SetView(int left_series, int top_row) {
  left_series_ = left_series;
  top_row_ = top_row;
}

void DataGridWidget::SetFields(const SheetFieldNumbers& fields) { fields_ = fields; }

void DataGridWidget::RepaintCells() {
  update(SheetGrid::kLeft - 1, SheetGrid::kTop - 1, SheetGrid::kRight - SheetGrid::kLeft + 2,
         SheetGrid::kBottom - SheetGrid::kTop + 2);
}

void DataGridWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int width = SheetGrid::kRight - SheetGrid::kLeft;
  const int height = SheetGrid::kBottom - SheetGrid::kTop;
  painter.fillRect(SheetGrid::kLeft, SheetGrid::kTop - 1, width, height, kCellBackground);

  // The cells of the rows that exist, read from the text now.
  painter.setPen(Qt::black);
  const QFontMetrics metrics = painter.fontMetrics();
  const std::uint32_t rows = text_.row_count();
  for (int g = 0; g < SheetGrid::kRows; ++g) {
    const std::uint32_t row = static_cast<std::uint32_t>(top_row_ + g) + 1;
    if (row > rows) break;
    const std::array<std::string_view, 4> cells = GridRowTexts(text_, row, left_series_);
    for (int j = 0; j < SheetGrid::kColumns; ++j) {
      const std::string_view bytes = cells[static_cast<std::size_t>(j)];
      if (bytes.empty()) continue;
      const QRect box(SheetGrid::kLeft + SheetGrid::kColumnWidth * j,
                      SheetGrid::kTop + SheetGrid::kRowHeight * g, 98, 18);
      const QString shown = metrics.elidedText(QString::fromStdString(CellDisplayText(bytes)),
                                               Qt::ElideRight, box.width());
      painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    }
  }

  painter.setPen(QPen(kGridLine, 1));
  for (int j = 0; j <= SheetGrid::kColumns; ++j) {
    const int x = SheetGrid::kLeft + SheetGrid::kColumnWidth * j;
    painter.drawLine(x, SheetGrid::kTop - 1, x, SheetGrid::kBottom - 1);
  }
  for (int i = 0; i <= SheetGrid::kRows; ++i) {
    const int y = SheetGrid::kTop - 1 + SheetGrid::kRowHeight * i;
    painter.drawLine(SheetGrid::kLeft, y, SheetGrid::kRight, y);
  }

  DrawLegend(painter, kXFrame, 95, 51, 115, 65);
  DrawLegend(painter, kYFrame, 95, 101, 115, 115);

  if (auto frame = FrameFor(fields_.x_series, fields_, left_series_, top_row_)) {
    DrawFrame(painter, kXFrame, *frame);
  }
  if (auto frame = FrameFor(fields_.y_series, fields_, left_series_, top_row_)) {
    DrawFrame(painter, kYFrame, *frame);
  }
}

void DataGridWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    const QPoint at = event->position().toPoint();
    emit pressed(at.x(), at.y());
  }
  QWidget::mousePressEvent(event);
}

}  // namespace calvane
