#include "base/image_file.h"

#include <array>
#include <cctype>

#include "base/base_messages.h"

namespace calvane {

ImageFormat ImageFormatForPath(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos) return ImageFormat::kPng;
  std::string_view ext = name.substr(dot + 1);
  if (ext.size() != 3) return ImageFormat::kPng;
  for (std::size_t i = 0; i < 3; ++i) {
    if (std::tolower(static_cast<unsigned char>(ext[i])) != "svg"[i]) return ImageFormat::kPng;
  }
  return ImageFormat::kSvg;
}

FileDialogRequest ImageSaveRequest(WindowId owner) {
  static constexpr std::array<FileFilter, 2> kFilters{{
      {text::kImageFilterPng, "*.png"},
      {text::kImageFilterSvg, "*.svg"},
  }};
  FileDialogRequest request;
  request.title = text::kImageSaveTitle;
  request.filters = kFilters;
  request.default_extension = "png";
  request.owner = owner;
  request.extension_follows_filter = true;
  return request;
}

}  // namespace calvane
