#include "data/data_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/file_io.h"
#include "formula/number_text.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/temp_dir.h"

namespace calvane {
namespace {

using test::ScriptedPrompter;

const std::string kRowLimitText =
    "データ要素数が最大値（65536）を越えています。以降のデータは無視されます。";
const std::string kSeriesLimitText =
    "データ系列数が最大値（256）を越えています。以降のデータは無視されます。";

std::string Repeat(std::string_view unit, std::size_t times) {
  std::string out;
  out.reserve(unit.size() * times);
  for (std::size_t i = 0; i < times; ++i) out.append(unit);
  return out;
}

struct IndexCase {
  const char* name;
  std::string bytes;
  std::uint32_t rows;
  int series;
};

TEST(IndexRows, CountsRowsAndSeriesByTheLineEndRules) {
  const std::vector<IndexCase> cases = {
      {"two CR LF rows", "1,2\r\n3,4\r\n", 2, 2},
      {"no final line end", "1,2\r\n3,4", 2, 2},
      {"single row semicolons", "1;2;3", 1, 3},
      {"empty file", "", 1, 1},
      {"mixed separators", "1,2\t3;4", 1, 4},
      {"empty middle field", "1,,3", 1, 3},
      {"line feeds only make one row", "1,2\n3,4\n5,6\n", 1, 4},
      {"CR only keeps every CR as a row end", "1,2\r3,4\r5,6", 3, 2},
      {"a lone line end", "\r\n", 1, 1},
      {"cut inside the final CR LF", "1,2\r\n3,4\r", 2, 2},
      {"empty row between rows", "1\r\n\r\n2,3\r\n", 3, 2},
      {"widest row is not the first", "1\r\n1,2,3,4,5\r\n1,2", 3, 5},
      {"zero byte ends the text", std::string("1,2\r\n3\0,4,5,6\r\n7", 16), 2, 2},
      {"zero byte right after a CR", std::string("1,2\r\0\n3,4", 9), 1, 2},
      {"letters are not judged here", "abc,def\r\n\"1\",x", 2, 2},
  };
  for (const IndexCase& c : cases) {
    SCOPED_TRACE(c.name);
    DataText text(c.bytes);
    ScriptedPrompter prompter;
    IndexRows(text, prompter);
    EXPECT_EQ(text.row_count(), c.rows);
    EXPECT_EQ(text.series_count(), c.series);
    EXPECT_TRUE(prompter.calls().empty());
    EXPECT_FALSE(text.rows_truncated());
    EXPECT_FALSE(text.series_truncated());
  }
}

TEST(IndexRows, CarriageReturnOnlyFilesLoseTheFirstByteOfEachFollowingRow) {
  DataText text(std::string("1,2\r3,4\r5,6"));
  ScriptedPrompter prompter;
  IndexRows(text, prompter);
  ASSERT_EQ(text.row_count(), 3u);
  EXPECT_EQ(text.RowStart(2), 5u);  // the "3" after the CR is skipped unexamined
  EXPECT_EQ(CellText(text, 2, 1), "");
  EXPECT_EQ(CellText(text, 2, 2), "4");
  EXPECT_EQ(ReadCell(text, 3, 2).value, 6.0);
}

TEST(IndexRows, TextBeforeIndexingIsOneRow) {
  DataText text(std::string("1,2\r\n3,4\r\n"));
  EXPECT_EQ(text.row_count(), 1u);
  EXPECT_EQ(text.RowStart(1), 0u);
  EXPECT_EQ(text.size(), 11u) << "the file's bytes plus one zero byte";
  EXPECT_EQ(text.bytes()[10], '\0');
}

TEST(IndexRows, ExactlyTheRowLimitIsAcceptedWithOrWithoutFinalLineEnd) {
  for (bool final_line_end : {true, false}) {
    SCOPED_TRACE(final_line_end);
    std::string bytes = Repeat("1,2\r\n", kMaxRows);
    if (!final_line_end) bytes.resize(bytes.size() - 2);
    DataText text(std::move(bytes));
    ScriptedPrompter prompter;
    IndexRows(text, prompter);
    EXPECT_EQ(text.row_count(), kMaxRows);
    EXPECT_EQ(text.series_count(), 2);
    EXPECT_TRUE(prompter.calls().empty());
    EXPECT_EQ(ReadCell(text, kMaxRows, 2).value, 2.0);
  }
}

TEST(IndexRows, RowsBeyondTheLimitAreIgnoredWithOneMessage) {
  for (std::size_t extra : {1u, 5u}) {
    SCOPED_TRACE(extra);
    // The ignored rows are wider: they must not count towards the series count.
    std::string bytes = Repeat("1,2\r\n", kMaxRows) + Repeat("1,2,3,4,5\r\n", extra);
    DataText text(std::move(bytes));
    ScriptedPrompter prompter;
    IndexRows(text, prompter, WindowId::kDataSheet);
    EXPECT_EQ(text.row_count(), kMaxRows);
    EXPECT_EQ(text.series_count(), 2);
    EXPECT_TRUE(text.rows_truncated());
    ASSERT_EQ(prompter.calls().size(), 1u);
    EXPECT_EQ(prompter.calls()[0].text, kRowLimitText);
    EXPECT_EQ(prompter.calls()[0].caption, "エラー");
    EXPECT_EQ(prompter.calls()[0].owner, WindowId::kDataSheet);
    EXPECT_FALSE(prompter.calls()[0].question);
  }
}

TEST(IndexRows, MoreThan256FieldsGiveTheSeriesMessageAfterTheRowMessage) {
  {
    DataText text(Repeat("1,", 299) + "1\r\n1,2\r\n");
    ScriptedPrompter prompter;
    IndexRows(text, prompter);
    EXPECT_EQ(text.series_count(), kMaxSeries);
    EXPECT_TRUE(text.series_truncated());
    ASSERT_EQ(prompter.Texts(), std::vector<std::string>{kSeriesLimitText});
    EXPECT_EQ(ReadCell(text, 1, 300).value, 1.0) << "cells beyond 256 are still located";
  }
  {
    DataText text(Repeat("1,", 256) + "1\r\n" + Repeat("2\r\n", kMaxRows));
    ScriptedPrompter prompter;
    IndexRows(text, prompter);
    EXPECT_EQ(prompter.Texts(), (std::vector<std::string>{kRowLimitText, kSeriesLimitText}));
  }
  {
    DataText text(Repeat("1,", 255) + "1");  // exactly 256 fields
    ScriptedPrompter prompter;
    IndexRows(text, prompter);
    EXPECT_EQ(text.series_count(), 256);
    EXPECT_TRUE(prompter.calls().empty());
  }
}

TEST(IndexRows, IndexingAgainReplacesTheEarlierIndex) {
  DataText text(std::string("1\r\n2\r\n3"));
  ScriptedPrompter prompter;
  IndexRows(text, prompter);
  ASSERT_EQ(text.row_count(), 3u);
  text.Assign("5,6");
  EXPECT_EQ(text.row_count(), 1u);
  IndexRows(text, prompter);
  EXPECT_EQ(text.row_count(), 1u);
  EXPECT_EQ(text.series_count(), 2);
  EXPECT_EQ(text.RowStart(2), text.text_end()) << "a stale row reads as the end of the text";
  text.Release();
  EXPECT_EQ(text.size(), 1u);
  EXPECT_EQ(ReadCell(text, 1, 1).status, ParseStatus::ParseEndOfText);
}

TEST(LocateCell, WalksSeparatorsAndReportsMissingCellsOnTheRowEnd) {
  DataText text(std::string("a,bb;c\r\n1\t2\r\n"));
  ScriptedPrompter prompter;
  IndexRows(text, prompter);
  struct Case {
    std::uint32_t row;
    int series;
    bool present;
    std::size_t offset;
  };
  const Case cases[] = {
      {1, 1, true, 0},   {1, 2, true, 2},   {1, 3, true, 5},    {1, 4, false, 6},
      {2, 1, true, 8},   {2, 2, true, 10},  {2, 3, false, 11},  {3, 1, false, 13},
      {0, 1, false, 13}, {1, 0, false, 13}, {1, -4, false, 13},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "row " << c.row << " series " << c.series);
    const CellLocation location = LocateCell(text, c.row, c.series);
    EXPECT_EQ(location.present, c.present);
    EXPECT_EQ(location.offset, c.offset);
  }
}

TEST(ConvertCell, GivesTheParseStatusOfTheCell) {
  DataText text(std::string("1.5, 12 abc,,   ,x1,1e400,\"3\",12x, -2 \r\n7"));
  ScriptedPrompter prompter;
  IndexRows(text, prompter);
  struct Case {
    int series;
    ParseStatus status;
    double value;
  };
  const Case cases[] = {
      {1, ParseStatus::ParseOk, 1.5},         {2, ParseStatus::ParseOk, 12.0},
      {3, ParseStatus::ParseEmptyField, 0.0}, {4, ParseStatus::ParseEmptyField, 0},
      {5, ParseStatus::ParseInvalid, 0},      {6, ParseStatus::ParseOutOfRange, 0},
      {7, ParseStatus::ParseInvalid, 0},      {8, ParseStatus::ParseInvalid, 0},
      {9, ParseStatus::ParseOk, -2.0},        {10, ParseStatus::ParseEndOfLine, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.series);
    const CellValue cell = ReadCell(text, 1, c.series);
    EXPECT_EQ(cell.status, c.status);
    if (c.status == ParseStatus::ParseOk) {
      EXPECT_EQ(cell.value, c.value);
    }
    EXPECT_EQ(IsBlankStatus(cell.status),
              c.status == ParseStatus::ParseEmptyField || c.status == ParseStatus::ParseEndOfLine);
  }
  EXPECT_EQ(ReadCell(text, 2, 2).status, ParseStatus::ParseEndOfText);
  EXPECT_TRUE(IsBlankStatus(ParseStatus::ParseEndOfText));
  EXPECT_EQ(ConvertCell(text, 1u << 30).status, ParseStatus::ParseEndOfText)
      << "offsets are clamped";
}

TEST(CellText, CutsAfterTwentyBytesAndContinuesWithTheNextField) {
  DataText text(Repeat("x", 30) + ",second;third\r\n,\r\n");
  ScriptedPrompter prompter;
  IndexRows(text, prompter);
  EXPECT_EQ(CellText(text, 1, 1), Repeat("x", 20));
  EXPECT_EQ(CellText(text, 1, 2), "second");
  EXPECT_EQ(CellText(text, 1, 3), "third");
  EXPECT_EQ(CellText(text, 1, 4), "");
  EXPECT_EQ(CellText(text, 2, 2), "");
  EXPECT_EQ(CellText(text, 9, 1), "");
  EXPECT_EQ(CellText(text, 1, 1, 3), "xxx");
}

TEST(IndexRows, EmptyFileAndEmptyFieldsReadAsBlank) {
  ScriptedPrompter prompter;
  DataText empty(std::string{});
  IndexRows(empty, prompter);
  for (int series = 1; series <= 3; ++series) {
    EXPECT_TRUE(IsBlankStatus(ReadCell(empty, 1, series).status));
  }
  DataText gap(std::string("1,,3"));
  IndexRows(gap, prompter);
  EXPECT_EQ(ReadCell(gap, 1, 1).value, 1.0);
  EXPECT_EQ(ReadCell(gap, 1, 2).status, ParseStatus::ParseEmptyField);
  EXPECT_EQ(ReadCell(gap, 1, 3).value, 3.0);
  EXPECT_EQ(ReadCell(gap, 1, 4).status, ParseStatus::ParseEndOfText);
}

TEST(ReadDataFile, ReadsTheBytesAndReportsFailuresWithoutEndingTheProgram) {
  test::TempDir dir;
  const std::string path = dir.File("d.csv");
  ASSERT_TRUE(WriteWholeFile(path, std::string("1,2\r\n\0x", 7)));
  DataText text(std::string("old"));
  ScriptedPrompter prompter;
  ASSERT_TRUE(ReadDataFile(path, text, prompter));
  EXPECT_EQ(text.size(), 8u);
  EXPECT_EQ(text.text_end(), 5u);
  EXPECT_TRUE(prompter.calls().empty());

  EXPECT_FALSE(ReadDataFile(dir.File("missing.csv"), text, prompter));
  EXPECT_FALSE(ReadDataFile(dir.path(), text, prompter)) << "a folder opens but cannot be read";
  ASSERT_EQ(prompter.calls().size(), 2u);
  // UTF-8 bytes spelled out, so that a re-encoded source file cannot hide a wrong text.
  EXPECT_EQ(prompter.calls()[0].caption, "\xE3\x82\xA8\xE3\x83\xA9\xE3\x83\xBC");
  EXPECT_EQ(
      prompter.calls()[0].text,
      "ファイルを開くのに失敗しました。既に他のアプリケーションで開かれている可能性があります。");
  EXPECT_EQ(prompter.calls()[1].text, "ファイルの読み込みに失敗しました。");
  EXPECT_EQ(prompter.calls()[1].owner, WindowId::kMain);
  EXPECT_EQ(text.size(), 8u) << "a failed read leaves the text as it was";
}

}  // namespace
}  // namespace calvane
