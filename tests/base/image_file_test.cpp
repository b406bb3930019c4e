#include "base/image_file.h"

#include <gtest/gtest.h>

#include <string>

namespace calvane {
namespace {

TEST(ImageFile, FormatFollowsTheExtension) {
  struct Row {
    const char* path;
    ImageFormat format;
  };
  for (const Row& row :
       {Row{"a/graph.svg", ImageFormat::kSvg}, Row{"G.SVG", ImageFormat::kSvg},
        Row{"graph.png", ImageFormat::kPng}, Row{"graph", ImageFormat::kPng},
        Row{"dir.svg/graph", ImageFormat::kPng}, Row{"graph.svgz", ImageFormat::kPng}}) {
    EXPECT_EQ(ImageFormatForPath(row.path), row.format) << row.path;
  }
}

TEST(ImageFile, SaveRequestOffersPngThenSvgAndTheFilterGivesTheExtension) {
  const FileDialogRequest request = ImageSaveRequest(WindowId::kFitDetails);
  EXPECT_EQ(request.title, "グラフを画像で保存");
  ASSERT_EQ(request.filters.size(), 2u);
  EXPECT_EQ(request.filters[0].label, "PNG画像(*.png)");
  EXPECT_EQ(FilterExtension(request.filters[0]), "png");
  EXPECT_EQ(FilterExtension(request.filters[1]), "svg");
  EXPECT_TRUE(request.extension_follows_filter);
  EXPECT_EQ(request.owner, WindowId::kFitDetails);
  for (const char* pattern : {"*.*", "*", "*.c*", "a.txt", "*.csv;*.txt"}) {
    EXPECT_EQ(FilterExtension(FileFilter{"", pattern}), "") << pattern;
  }
}

}  // namespace
}  // namespace calvane
