#include "base/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

mode_t Permissions(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

TEST(FileIo, ReplacingAFileKeepsItsPermissions) {
  test::TempDir temp;
  for (const mode_t mode : {mode_t{0600}, mode_t{0640}, mode_t{0755}}) {
    SCOPED_TRACE(mode);
    const std::string path = temp.File("kept.frs");
    ASSERT_TRUE(WriteWholeFile(path, "first"));
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    ASSERT_TRUE(WriteWholeFile(path, "second"));
    EXPECT_EQ(ReadWholeFile(path), "second");
    EXPECT_EQ(Permissions(path), mode);
  }
}

TEST(FileIo, WritingThroughASymbolicLinkReplacesItsTarget) {
  test::TempDir temp;
  ASSERT_EQ(::mkdir(temp.File("real").c_str(), 0700), 0);
  const std::string target = temp.File("real/conditions.ccn");
  ASSERT_TRUE(WriteWholeFile(target, "old content"));
  ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
  // A link to the target, and a relative link to that link from another folder.
  const std::string link = temp.File("link.ccn");
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  ASSERT_EQ(::mkdir(temp.File("other").c_str(), 0700), 0);
  const std::string chained = temp.File("other/chained.ccn");
  ASSERT_EQ(::symlink("../link.ccn", chained.c_str()), 0);

  ASSERT_TRUE(WriteWholeFile(link, "through the link"));
  EXPECT_EQ(ReadWholeFile(target), "through the link");
  ASSERT_TRUE(WriteWholeFile(chained, "through two links"));
  EXPECT_EQ(ReadWholeFile(target), "through two links");

  struct stat st {};
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link";
  ASSERT_EQ(::lstat(chained.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(Permissions(target), 0600u);

  // A link whose target does not exist yet creates the target.
  const std::string dangling = temp.File("dangling.ccn");
  ASSERT_EQ(::symlink("real/new.ccn", dangling.c_str()), 0);
  ASSERT_TRUE(WriteWholeFile(dangling, "new"));
  EXPECT_EQ(ReadWholeFile(temp.File("real/new.ccn")), "new");
  ASSERT_EQ(::lstat(dangling.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
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
