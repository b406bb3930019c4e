#include "base/file_io.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

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

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// MoveOver puts the new file in place whatever stood there, leaves nothing else behind, and
// refuses (keeping both) where a rename would refuse.
TEST(FileIo, MoveOverReplacesOrCreatesAndRefusesAFolder) {
  struct Case {
    const char* what;
    bool target_file;    // a file of that name exists before
    bool target_folder;  // a folder of that name exists before
    bool moved;
  };
  const Case cases[] = {
      {"over an existing file", true, false, true},
      {"to a new name", false, false, true},
      {"over a folder", false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir temp;
    const std::string from = temp.File("new.tmp");
    const std::string to = temp.File("Calculation.ini");
    ASSERT_TRUE(WriteWholeFile(from, "new content"));
    if (c.target_file) {
      ASSERT_TRUE(WriteWholeFile(to, "old, longer content"));
    }
    if (c.target_folder) {
      ASSERT_EQ(::mkdir(to.c_str(), 0700), 0);
    }
    EXPECT_EQ(MoveOver(from, to), c.moved);
    if (c.moved) {
      EXPECT_EQ(ReadWholeFile(to), "new content");
      EXPECT_EQ(Entries(temp.path()), std::vector<std::string>{"Calculation.ini"});
    } else {
      EXPECT_EQ(ReadWholeFile(from), "new content");
      struct stat st {};
      ASSERT_EQ(::lstat(to.c_str(), &st), 0);
      EXPECT_TRUE(S_ISDIR(st.st_mode));
    }
  }
  test::TempDir temp;
  EXPECT_FALSE(MoveOver(temp.File("missing"), temp.File("to"))) << "nothing to move";
}

// A run's files are replaced like any other: through links, keeping their permissions.
TEST(FileIo, RunFilesReplaceThroughLinksAndKeepPermissions) {
  test::TempDir temp;
  const std::string target = temp.File("FittingCondition.ini");
  ASSERT_TRUE(ReplaceRunFile(target, "a much longer first content\r\n"));
  ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
  ASSERT_TRUE(ReplaceRunFile(target, "second"));
  EXPECT_EQ(ReadWholeFile(target), "second");
  EXPECT_EQ(Permissions(target), 0600u);
  const std::string link = temp.File("link.ini");
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  ASSERT_TRUE(ReplaceRunFile(link, "third"));
  EXPECT_EQ(ReadWholeFile(target), "third");
  struct stat st {};
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(Entries(temp.path()), (std::vector<std::string>{"FittingCondition.ini", "link.ini"}));
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
