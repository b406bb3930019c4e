#pragma once

#include <QRect>
#include <QWidget>
#include <string>

#include "base/image_file.h"

namespace calvane {

// The bytes of an image of `region` of `widget` (in its coordinates) as drawn, its children
// included: PNG at twice the screen resolution (each pixel of the screen four pixels of the
// image), or SVG of the region's size. Empty when the image cannot be made. Main thread.
std::string RenderWidgetImage(QWidget& widget, const QRect& region, ImageFormat format);

}  // namespace calvane
