#pragma once

#include <span>
#include <string_view>

#include "base/file_chooser.h"
#include "base/prompter.h"

namespace calvane {

// The two forms a graph is saved in: a raster image at twice the screen resolution, or a
// vector image.
enum class ImageFormat { kPng, kSvg };

// The form of an image file by its name: SVG for the extension ".svg" in any case, else PNG.
ImageFormat ImageFormatForPath(std::string_view path);

// The save dialog of a graph image: title "グラフを画像で保存", the filters PNG (first) and SVG,
// and a name typed without an extension gets the one of the filter chosen.
FileDialogRequest ImageSaveRequest(WindowId owner);

}  // namespace calvane
