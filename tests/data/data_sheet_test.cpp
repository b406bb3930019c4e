// The data sheet's logic without its window: where a press lands, what the grid shows, where
// the selection frames go, how the fields read, and the OK's acceptance of a selection.
#include "data/data_sheet.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>

#include "base/file_io.h"
#include "data/data_selection.h"
#include "data/selection_file.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/temp_dir.h"

namespace calvane {
namespace {

using test::ScriptedPrompter;

DataText Indexed(std::string bytes) {
  DataText text(std::move(bytes));
  ScriptedPrompter quiet;
  IndexRows(text, quiet);
  return text;
}

TEST(SheetPress, CellsUnderPressesFollowTheScrollPositions) {
  struct Case {
    int px, py, left, top;
    std::optional<std::pair<int, std::uint32_t>> cell;  // series, row
  };
  const Case cases[] = {
      {250, 75, 0, 0, {{1, 2}}},       // first click of the selection
      {450, 365, 0, 0, {{3, 16}}},     // second click
      {200, 50, 0, 0, {{1, 1}}},       // the cell area's first pixel
      {599, 369, 0, 0, {{4, 16}}},     // and its last
      {600, 100, 0, 0, std::nullopt},  // right edge is outside
      {300, 370, 0, 0, std::nullopt},  // bottom edge is outside
      {199, 100, 0, 0, std::nullopt}, {300, 49, 0, 0, std::nullopt},
      {250, 75, 7, 100, {{8, 102}}},  // scrolled: series and rows count on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.px << "," << c.py);
    const std::optional<SheetCell> cell = CellAt(c.px, c.py, c.left, c.top);
    ASSERT_EQ(cell.has_value(), c.cell.has_value());
    if (!cell) continue;
    EXPECT_EQ(cell->series, c.cell->first);
    EXPECT_EQ(cell->row, c.cell->second);
  }
}

TEST(SheetGridText, RowsAreCutAfterTwentyBytesAndColumnsTakeTheNextFields) {
  const std::string long_field(30, '7');
  const DataText text = Indexed("a," + long_field + ",b;c\td,e\r\n1,2\r\n");
  auto row1 = GridRowTexts(text, 1, 0);
  EXPECT_EQ(row1[0], "a");
  EXPECT_EQ(row1[1], std::string(20, '7'));
  EXPECT_EQ(row1[2], "b");
  EXPECT_EQ(row1[3], "c");
  row1 = GridRowTexts(text, 1, 3);  // scrolled three series right
  EXPECT_EQ(row1[0], "c");
  EXPECT_EQ(row1[1], "d");
  EXPECT_EQ(row1[2], "e");
  EXPECT_EQ(row1[3], "");
  const auto row2 = GridRowTexts(text, 2, 3);  // shorter row: empty cells, no reading past it
  for (std::string_view cell : row2) EXPECT_EQ(cell, "");
  const auto missing = GridRowTexts(text, 3, 0);
  for (std::string_view cell : missing) EXPECT_EQ(cell, "");
}

TEST(SheetGridText, ShiftJisHeadersShowAsJapanese) {
  // "位置" and "強度" in Shift-JIS, then a field cut inside its 11th double-byte character.
  const std::string position = "\x88\xca\x92\x75";
  const std::string strength = "\x8b\xad\x93\x78";
  std::string long_japanese;
  for (int i = 0; i < 11; ++i) long_japanese += position;  // 22 bytes
  const DataText text = Indexed(position + "," + strength + " x," + long_japanese + "\r\n");
  const auto cells = GridRowTexts(text, 1, 0);
  EXPECT_EQ(CellDisplayText(cells[0]), "位置");
  EXPECT_EQ(CellDisplayText(cells[1]), "強度 x");
  EXPECT_EQ(CellDisplayText(cells[2]), "位置位置位置位置位置");      // 20 bytes: five pairs
  EXPECT_EQ(CellDisplayText(std::string("\x88\xca\x92", 3)), "位");  // a lead byte cut off
  EXPECT_EQ(CellDisplayText("a\xff"
                            "b"),
            "a?b");
}

TEST(SheetScroll, BarsStopWhereTheLastRowAndSeriesCanBeSeen) {
  EXPECT_EQ(LastTopRowIndex(Indexed("1\r\n2\r\n")), 0);
  std::string rows;
  for (int i = 0; i < 40; ++i) rows += "1,2,3,4,5,6,7\r\n";
  const DataText text = Indexed(rows);
  EXPECT_EQ(LastTopRowIndex(text), 24);     // rows 25..40 in view
  EXPECT_EQ(LastLeftSeriesIndex(text), 3);  // series 4..7 in view
}

TEST(SheetFrames, FramesFollowTheFieldsAndStayInTheGrid) {
  struct Case {
    const char* name;
    const char* x;
    const char* start;
    const char* end;
    int left, top;
    std::optional<SelectionFrame> frame;
  };
  const Case cases[] = {
      {"rows 2 to 16", "1", "2", "16", 0, 0, SelectionFrame{201, 70, 300, 369, true, true}},
      {"no end: the start row alone", "2", "3", "", 0, 0,
       SelectionFrame{301, 90, 400, 109, true, true}},
      {"end before start", "1", "5", "2", 0, 0, SelectionFrame{201, 130, 300, 149, true, true}},
      {"end below the view", "4", "10", "100", 0, 0,
       SelectionFrame{501, 230, 600, 369, true, false}},
      {"start above the view", "1", "1", "30", 0, 20,
       SelectionFrame{201, 50, 300, 249, false, true}},
      {"rows wholly above the view", "1", "1", "5", 0, 20, std::nullopt},
      {"rows wholly below the view", "1", "40", "50", 0, 0, std::nullopt},
      {"series scrolled out of view", "1", "1", "5", 1, 0, std::nullopt},
      {"no start row", "1", "", "5", 0, 0, std::nullopt},
      {"no series", "", "1", "5", 0, 0, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SheetFieldNumbers fields = ReadSheetFields(c.x, "9", c.start, c.end);
    const std::optional<SelectionFrame> frame = FrameFor(fields.x_series, fields, c.left, c.top);
    ASSERT_EQ(frame.has_value(), c.frame.has_value());
    if (!frame) continue;
    EXPECT_EQ(frame->left, c.frame->left);
    EXPECT_EQ(frame->top, c.frame->top);
    EXPECT_EQ(frame->right, c.frame->right);
    EXPECT_EQ(frame->bottom, c.frame->bottom);
    EXPECT_EQ(frame->top_corners, c.frame->top_corners);
    EXPECT_EQ(frame->bottom_corners, c.frame->bottom_corners);
  }
}

TEST(SheetFields, FieldsReadAsTheOkReadsThem) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  const std::pair<const char*, std::int32_t> cases[] = {
      {"", 0},
      {"0", 0},
      {"17", 17},
      {"0065536", 65536},
      {"99999999999", kMax},     // held within 32 bits (then refused by the range check)
      {"12345678901234", kMax},  // only 13 characters are read
      {"1234567890123456789", kMax},
  };
  for (const auto& [field, value] : cases) {
    EXPECT_EQ(SheetFieldValue(field), value) << field;
  }
}

// The OK without the window: the flag, the checks, the scratch conversion and the file.
TEST(SheetAccept, AcceptanceConvertsAndRemembersOnlyWhenComplete) {
  test::TempDir dir;
  auto state = MakeAppState(dir.path());
  const DataText first = Indexed("h1,h2\r\n1,10\r\n2,20\r\n3,30\r\n");
  ScriptedPrompter prompter;
  const SelectionAcceptance ok =
      AcceptDataSelection(first, RangeSelection{1, 2, 2, 0, 1}, *state, prompter);
  ASSERT_TRUE(ok.accepted());
  EXPECT_EQ(ok.selection.end_row, 4);  // the flag: the row count
  EXPECT_TRUE(ok.selection_file_written);
  EXPECT_EQ(state->points.count, 3u);
  EXPECT_EQ(state->ranges.max_y, 30.0);
  const RangeSelection remembered = ReadSelectionFile(dir.path());
  EXPECT_EQ(remembered.end_row, 4);
  EXPECT_EQ(remembered.use_to_last_row, 1);

  // A refused range and a stopped conversion keep the points, the ranges and the file.
  const DataText second = Indexed("5,50\r\nx,60\r\n");
  const SelectionAcceptance same =
      AcceptDataSelection(second, RangeSelection{1, 1, 1, 2, 0}, *state, prompter);
  EXPECT_EQ(same.outcome, SelectionOutcome::kRangeRefused);
  const SelectionAcceptance bad =
      AcceptDataSelection(second, RangeSelection{1, 2, 1, 2, 0}, *state, prompter);
  EXPECT_EQ(bad.outcome, SelectionOutcome::kDataRefused);
  EXPECT_FALSE(bad.selection_file_written);
  EXPECT_EQ(state->points.count, 3u);
  EXPECT_EQ(state->points.records[0].x, 1.0);
  EXPECT_EQ(state->ranges.max_y, 30.0);
  EXPECT_EQ(ReadSelectionFile(dir.path()).start_row, 2);
  ASSERT_EQ(prompter.Texts().size(), 2u);
  EXPECT_EQ(prompter.Texts()[0], "x(x系列)とy(y系列)は違うデータ列としなければなりません");
}

}  // namespace
}  // namespace calvane
