#include "base/qt_image_file.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

namespace calvane {

namespace {

// A PNG has twice the resolution of the screen the widget is on.
constexpr qreal kPngScale = 2.0;

void Render(QWidget& widget, const QRect& region, QPainter& painter) {
  widget.render(&painter, QPoint(0, 0), QRegion(region),
                QWidget::DrawWindowBackground | QWidget::DrawChildren);
}

}  // namespace

std::string RenderWidgetImage(QWidget& widget, const QRect& region, ImageFormat format) {
  if (region.isEmpty()) return {};
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (format == ImageFormat::kSvg) {
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(region.size());
    generator.setViewBox(QRect(QPoint(0, 0), region.size()));
    generator.setTitle(widget.windowTitle());
    QPainter painter;
    if (!painter.begin(&generator)) return {};
    Render(widget, region, painter);
    painter.end();
  } else {
    const qreal scale = kPngScale * widget.devicePixelRatioF();
    QImage image(region.size() * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(widget.palette().window().color());
    QPainter painter(&image);
    Render(widget, region, painter);
    painter.end();
    if (!image.save(&buffer, "PNG")) return {};
  }
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace calvane
