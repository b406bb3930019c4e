#include "base/file_io.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_dir.h"

namespace calvane {
namespace {

TEST(FileIo, WholeFileReplacesLongerContentAndKeepsZeroBytes) {
  test::TempDir temp;
  const std::string& dir = temp.path();
  std::string path = JoinPath(dir, "a.ini");
  ASSERT_TRUE(WriteWholeFile(path, "a much longer first content\r\n"));
  std::string shorter("ab\0c", 4);
  ASSERT_TRUE(WriteWholeFile(path, shorter));
  EXPECT_EQ(ReadWholeFile(path), shorter);
}

TEST(FileIo, CreateNewFileRefusesAnExistingName) {
  test::TempDir temp;
  const std::string& dir = temp.path();
  std::string path = JoinPath(dir, "r.frs");
  EXPECT_TRUE(CreateNewFile(path, "first"));
  EXPECT_FALSE(CreateNewFile(path, "second"));
  EXPECT_EQ(ReadWholeFile(path), "first");
}

TEST(FileIo, FailuresAreReportedNotHidden) {
  EXPECT_FALSE(ReadWholeFile("/nonexistent-folder/x").has_value());
  EXPECT_FALSE(WriteWholeFile("/nonexistent-folder/x", "y"));
  test::TempDir temp;
  const std::string& dir = temp.path();
  EXPECT_FALSE(ReadWholeFile(dir).has_value()) << "a folder is not a file";
  EXPECT_EQ(JoinPath("/a/", "b"), "/a/b");
  EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
}

}  // namespace
}  // namespace calvane
