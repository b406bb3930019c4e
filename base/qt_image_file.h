#pragma once

#include <QRect>
#include <QWidget>
#include <string>

#include "base/image_file.h"

namespace calvane {

// The bytes of an image of `region` of `widget` (in its coordinates) as drawn, its children
// included: PNG at twice the resolution of the widget's screen (on a screen of one device pixel
// per pixel, each pixel four pixels of the image), or SVG of the region's size. Empty when the
// image cannot be made. Main thread.
std::string RenderWidgetImage(QWidget& widget, const QRect& region, ImageFormat format);

}  // namespace calvane
