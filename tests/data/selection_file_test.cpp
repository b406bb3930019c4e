#include "data/selection_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <limits>
#include <random>
#include <string>

#include "base/file_io.h"
#include "tests/support/temp_dir.h"

namespace calvane {
namespace {

using test::TempDir;

void ExpectSelection(const RangeSelection& s, std::int32_t x, std::int32_t y, std::int32_t start,
                     std::int32_t end, std::int32_t flag) {
  EXPECT_EQ(s.x_series, x);
  EXPECT_EQ(s.y_series, y);
  EXPECT_EQ(s.start_row, start);
  EXPECT_EQ(s.end_row, end);
  EXPECT_EQ(s.use_to_last_row, flag);
}

TEST(SelectionFile, WritesOneTabSeparatedLineAndReadsItBack) {
  TempDir dir;
  RangeSelection s;
  s.x_series = 1;
  s.y_series = 2;
  s.start_row = 3;
  s.end_row = 100;
  s.use_to_last_row = 0;
  ASSERT_TRUE(WriteSelectionFile(dir.path(), s));
  EXPECT_EQ(ReadWholeFile(dir.File("DataReadCondition.ini")), "1\t2\t3\t100\t0\r\n");
  ExpectSelection(ReadSelectionFile(dir.path()), 1, 2, 3, 100, 0);

  s = RangeSelection{256, 255, 65536, 65536, 1};
  ASSERT_TRUE(WriteSelectionFile(dir.path(), s));
  ExpectSelection(ReadSelectionFile(dir.path()), 256, 255, 65536, 65536, 1);
}

TEST(SelectionFile, ShorterLineReplacesTheFileWhole) {
  TempDir dir;
  ASSERT_TRUE(WriteSelectionFile(dir.path(), RangeSelection{100, 200, 30000, 65536, 1}));
  ASSERT_TRUE(WriteSelectionFile(dir.path(), RangeSelection{1, 2, 3, 4, 0}));
  EXPECT_EQ(ReadWholeFile(dir.File("DataReadCondition.ini")), "1\t2\t3\t4\t0\r\n");
}

TEST(SelectionFile, MissingFileIsCreatedEmptyAndGivesZeros) {
  TempDir dir;
  ExpectSelection(ReadSelectionFile(dir.path()), 0, 0, 0, 0, 0);
  EXPECT_EQ(ReadWholeFile(dir.File("DataReadCondition.ini")), "");
  ExpectSelection(ReadSelectionFile(dir.path()), 0, 0, 0, 0, 0);
}

TEST(SelectionFile, UnwritableOrUnreadablePlacesGiveFalseAndZeros) {
  TempDir dir;
  EXPECT_FALSE(WriteSelectionFile(dir.File("no-such-folder"), RangeSelection{1, 2, 3, 4, 0}));
  ASSERT_EQ(::mkdir(dir.File("DataReadCondition.ini").c_str(), 0755), 0);
  ExpectSelection(ReadSelectionFile(dir.path()), 0, 0, 0, 0, 0);
}

TEST(ParseSelectionText, ReadsUpToFiveRoundedValues) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  struct Case {
    std::string bytes;
    RangeSelection expected;
  };
  const Case cases[] = {
      {"", {0, 0, 0, 0, 0}},
      {"5", {5, 0, 0, 0, 0}},
      {"1\t2\r\n", {1, 2, 0, 0, 0}},
      {"1,2 3\t4\r\n5\r\n6", {1, 2, 3, 4, 5}},
      {"  1\t\t2,, 3\r\n\r\n4 5", {1, 2, 3, 4, 5}},
      {"1.6\t-2.5\t2.4\t0.5\t1", {2, -3, 2, 1, 1}},
      {"abc\t2\t1e3\t1e20\t-1e20", {0, 2, 1000, kMax, kMin}},
      {"1\n2\n3\n4\n5\n", {1, 2, 3, 4, 5}},
      {std::string("7\0\t8", 4), {7, 8, 0, 0, 0}},  // a zero byte ends the number
      {"1e400\t2x\t" + std::string(400, '9'), {kMax, 0, kMax, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    const RangeSelection& e = c.expected;
    ExpectSelection(ParseSelectionText(c.bytes), e.x_series, e.y_series, e.start_row, e.end_row,
                    e.use_to_last_row);
  }
}

TEST(ParseSelectionText, RandomBytesGiveDefinedValues) {
  std::mt19937 random(11);
  for (int round = 0; round < 500; ++round) {
    std::string bytes(static_cast<std::size_t>(random() % 64), '\0');
    for (char& c : bytes) c = static_cast<char>(random() % 256);
    const RangeSelection s = ParseSelectionText(bytes);
    // Written back and read again, whatever was read survives unchanged.
    const RangeSelection again = ParseSelectionText(SelectionFileText(s));
    ExpectSelection(again, s.x_series, s.y_series, s.start_row, s.end_row, s.use_to_last_row);
  }
}

}  // namespace
}  // namespace calvane
