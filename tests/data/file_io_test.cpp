#include "data/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace calvane {
namespace {

std::string MakeTempDir() {
  std::string dir = ::testing::TempDir() + "calvane-file-io-XXXXXX";
  EXPECT_NE(::mkdtemp(dir.data()), nullptr);
  return dir;
}

TEST(FileIo, WholeFileReplacesLongerContentAndKeepsZeroBytes) {
  std::string dir = MakeTempDir();
  std::string path = JoinPath(dir, "a.ini");
  ASSERT_TRUE(WriteWholeFile(path, "a much longer first content\r\n"));
  std::string shorter("ab\0c", 4);
  ASSERT_TRUE(WriteWholeFile(path, shorter));
  EXPECT_EQ(ReadWholeFile(path), shorter);
}

TEST(FileIo, CreateNewFileRefusesAnExistingName) {
  std::string dir = MakeTempDir();
  std::string path = JoinPath(dir, "r.frs");
  EXPECT_TRUE(CreateNewFile(path, "first"));
  EXPECT_FALSE(CreateNewFile(path, "second"));
  EXPECT_EQ(ReadWholeFile(path), "first");
}

TEST(FileIo, FailuresAreReportedNotHidden) {
  EXPECT_FALSE(ReadWholeFile("/nonexistent-folder/x").has_value());
  EXPECT_FALSE(WriteWholeFile("/nonexistent-folder/x", "y"));
  std::string dir = MakeTempDir();
  EXPECT_FALSE(ReadWholeFile(dir).has_value()) << "a folder is not a file";
  EXPECT_EQ(JoinPath("/a/", "b"), "/a/b");
  EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
}

}  // namespace
}  // namespace calvane
