#include "data/range_conversion.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "tests/support/scripted_prompter.h"

namespace calvane {
namespace {

using test::ScriptedPrompter;

const std::string kInvalidReason =
    "行目のデータにエラーがあります。\r"
    "不正な文字、あるいは不正な表現を含んでいます。データ読み込みを中断します。";
const std::string kRangeReason =
    "行目のデータにエラーがあります。\r"
    "値が大きすぎ、あるいは小さすぎます。データ読み込みを中断します。";
const std::string kBlankQuestion =
    "行目のデータは空白です。以後、空白を含む行は全て無視して読み込みを継続しますか？";
const std::string kNoData = "データが1つも含まれていません。\rデータ読み込みを中断します。";

RangeSelection Range(int x, int y, int start, int end) {
  RangeSelection s;
  s.x_series = x;
  s.y_series = y;
  s.start_row = start;
  s.end_row = end;
  return s;
}

DataText Indexed(std::string bytes) {
  DataText text(std::move(bytes));
  ScriptedPrompter quiet;
  IndexRows(text, quiet);
  return text;
}

// Ten rows "i,10*i" for i = 1..10, then optional extra rows.
std::string TenRows(const std::string& extra = "") {
  std::string bytes;
  for (int i = 1; i <= 10; ++i) bytes += std::to_string(i) + "," + std::to_string(10 * i) + "\r\n";
  return bytes + extra;
}

// Rows 1..4 are "r,r" and row 5 is `row5`, rows 6..8 are "r,r" again.
std::string WithRow5(const std::string& row5) {
  std::string bytes;
  for (int i = 1; i <= 8; ++i) {
    bytes += (i == 5 ? row5 : std::to_string(i) + "," + std::to_string(i)) + "\r\n";
  }
  return bytes;
}

class ConvertRangeTest : public testing::Test {
 protected:
  void SetUp() override {
    state_ = MakeAppState("");
    // Points of an earlier file, which a stopped conversion must leave alone.
    state_->points.records[0] = Point{-7.0, -8.0, 0.0};
    state_->points.records[1] = Point{7.0, 8.0, 0.0};
    state_->points.count = 2;
    state_->ranges = ComputeDataRanges(state_->points);
    state_->points.records[kGraphScratchPoint] = Point{1.5, 2.5, 0.0};
  }

  void ExpectPreviousPointsKept() {
    EXPECT_EQ(state_->points.count, 2u);
    EXPECT_EQ(state_->points.records[0].x, -7.0);
    EXPECT_EQ(state_->points.records[1].y, 8.0);
    EXPECT_EQ(state_->points.records[2].x, 0.0);
    EXPECT_EQ(state_->ranges.min_x, -7.0);
    EXPECT_EQ(state_->ranges.max_y, 8.0);
  }

  std::unique_ptr<AppState> state_;
  ScriptedPrompter prompter_;
};

TEST(ValidateRange, RunsTheSixChecksInOrderAndShowsTheFirstFailure) {
  struct Case {
    RangeSelection selection;
    RangeCheck check;
    const char* message;
  };
  const Case cases[] = {
      {Range(1, 2, 1, 1), RangeCheck::kAccepted, ""},
      {Range(256, 1, 1, 65536), RangeCheck::kAccepted, ""},
      {Range(257, 2, 1, 10), RangeCheck::kXSeries, "x(x系列) は1から255にしなくてはなりません"},
      {Range(0, 0, 0, 0), RangeCheck::kXSeries, "x(x系列) は1から255にしなくてはなりません"},
      {Range(1, 257, 1, 10), RangeCheck::kYSeries, "y(y系列) は1から255にしなくてはなりません"},
      {Range(1, -1, 1, 10), RangeCheck::kYSeries, "y(y系列) は1から255にしなくてはなりません"},
      {Range(1, 2, 0, 10), RangeCheck::kStartRow, "開始行は1から65536にしなくてはなりません"},
      {Range(1, 2, 65537, 10), RangeCheck::kStartRow, "開始行は1から65536にしなくてはなりません"},
      {Range(1, 2, 5, 65537), RangeCheck::kEndRow, "終了行は1から65536にしなくてはなりません"},
      {Range(1, 2, 5, 0), RangeCheck::kEndRow, "終了行は1から65536にしなくてはなりません"},
      {Range(1, 2, 6, 5), RangeCheck::kStartAfterEnd,
       "開始行は終了行よりも小さくなければなりません"},
      {Range(3, 3, 6, 5), RangeCheck::kStartAfterEnd,
       "開始行は終了行よりも小さくなければなりません"},
      {Range(3, 3, 1, 5), RangeCheck::kSameSeries,
       "x(x系列)とy(y系列)は違うデータ列としなければなりません"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(CheckRange(c.selection), c.check);
    ScriptedPrompter prompter;
    EXPECT_EQ(ValidateRange(c.selection, prompter), c.check == RangeCheck::kAccepted);
    if (c.check == RangeCheck::kAccepted) {
      EXPECT_TRUE(prompter.calls().empty());
    } else {
      ASSERT_EQ(prompter.calls().size(), 1u);
      EXPECT_EQ(prompter.calls()[0].text, c.message);
      EXPECT_EQ(prompter.calls()[0].caption, "エラー");
      EXPECT_EQ(prompter.calls()[0].owner, WindowId::kDataSheet);
    }
  }
}

TEST(ApplyUseToLastRow, TakesTheRowCountOnlyWhenTheFlagIsSet) {
  DataText text = Indexed(TenRows());
  RangeSelection s = Range(1, 2, 3, 4);
  EXPECT_EQ(ApplyUseToLastRow(s, text).end_row, 4);
  s.use_to_last_row = 1;
  EXPECT_EQ(ApplyUseToLastRow(s, text).end_row, 10);
}

TEST_F(ConvertRangeTest, CompletedConversionReplacesPointsCountAndRanges) {
  DataText text = Indexed("x,y\r\n" + TenRows());
  const ConversionResult result =
      ConvertRange(text, Range(2, 1, 3, 7), state_->points, state_->ranges, prompter_);
  ASSERT_TRUE(result.completed());
  EXPECT_EQ(result.point_count, 5u);
  EXPECT_TRUE(prompter_.calls().empty()) << "the text header row lies before the start row";
  const PointTable& points = state_->points;
  ASSERT_EQ(points.count, 5u);
  for (std::uint32_t i = 0; i < 5; ++i) {
    EXPECT_EQ(points.records[i].x, 10.0 * (i + 2));  // x from series 2 of rows 3..7
    EXPECT_EQ(points.records[i].y, i + 2.0);
    EXPECT_EQ(points.records[i].z, 0.0);
  }
  EXPECT_EQ(points.records[5].x, 0.0) << "records beyond the count are cleared";
  EXPECT_EQ(points.records[kGraphScratchPoint].x, 1.5) << "the graph's scratch record stays";
  EXPECT_EQ(state_->ranges.min_x, 20.0);
  EXPECT_EQ(state_->ranges.max_x, 60.0);
  EXPECT_EQ(state_->ranges.min_y, 2.0);
  EXPECT_EQ(state_->ranges.max_y, 6.0);
}

TEST_F(ConvertRangeTest, StartEqualToEndConvertsOneRow) {
  DataText text = Indexed(TenRows());
  ASSERT_TRUE(
      ConvertRange(text, Range(1, 2, 4, 4), state_->points, state_->ranges, prompter_).completed());
  EXPECT_EQ(state_->points.count, 1u);
  EXPECT_EQ(state_->points.records[0].x, 4.0);
  EXPECT_EQ(state_->points.records[0].y, 40.0);
}

TEST_F(ConvertRangeTest, BlankRowQuestionNamesTheRowAndYesSkipsEveryLaterBlankRow) {
  DataText text = Indexed(WithRow5(",") + ",\r\n  ;  \r\n11,11\r\n");
  prompter_.Answer(Answer::kYes);
  const ConversionResult result =
      ConvertRange(text, Range(1, 2, 1, 11), state_->points, state_->ranges, prompter_);
  ASSERT_TRUE(result.completed());
  ASSERT_EQ(prompter_.calls().size(), 1u) << "later blank rows are skipped without asking";
  const auto& question = prompter_.calls()[0];
  EXPECT_TRUE(question.question);
  EXPECT_EQ(question.text, "5" + kBlankQuestion);
  EXPECT_EQ(question.caption, "空白行があります");
  EXPECT_EQ(question.buttons, Buttons::kYesNo);
  EXPECT_EQ(question.owner, WindowId::kDataSheet);
  ASSERT_EQ(state_->points.count, 8u);  // rows 1-4, 6-8, 11
  EXPECT_EQ(state_->points.records[4].x, 6.0);
  EXPECT_EQ(state_->points.records[7].x, 11.0);
}

TEST_F(ConvertRangeTest, NoToTheBlankRowQuestionStopsAndKeepsThePreviousPoints) {
  DataText text = Indexed(WithRow5(" , "));
  prompter_.Answer(Answer::kNo);
  const ConversionResult result =
      ConvertRange(text, Range(1, 2, 1, 8), state_->points, state_->ranges, prompter_);
  EXPECT_EQ(result.stop, ConversionStop::kBlankRowDeclined);
  EXPECT_EQ(result.row, 5u);
  EXPECT_TRUE(prompter_.AllAnswered());
  ExpectPreviousPointsKept();
}

TEST_F(ConvertRangeTest, DataErrorsNameTheRowAndTheReasonAndStop) {
  struct Case {
    const char* row5;
    ConversionStop stop;
    const std::string* reason;
  };
  const Case cases[] = {
      {",5", ConversionStop::kInvalidData, &kInvalidReason},       // x empty, y a number
      {"5,", ConversionStop::kInvalidData, &kInvalidReason},       // x a number, y empty
      {"5", ConversionStop::kInvalidData, &kInvalidReason},        // y beyond the last field
      {"12ab,5", ConversionStop::kInvalidData, &kInvalidReason},   // digits then letters
      {"5,\"5\"", ConversionStop::kInvalidData, &kInvalidReason},  // quoted number
      {",1e400", ConversionStop::kInvalidData, &kInvalidReason},   // beside a blank x
      {"1e400,5", ConversionStop::kOutOfRange, &kRangeReason},
      {"5,-2e302", ConversionStop::kOutOfRange, &kRangeReason},
      {"abc,1e400", ConversionStop::kInvalidData, &kInvalidReason},  // x judged first
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row5);
    SetUp();
    ScriptedPrompter prompter;
    DataText text = Indexed(WithRow5(c.row5));
    const ConversionResult result =
        ConvertRange(text, Range(1, 2, 1, 8), state_->points, state_->ranges, prompter);
    EXPECT_EQ(result.stop, c.stop);
    EXPECT_EQ(result.row, 5u);
    ASSERT_EQ(prompter.calls().size(), 1u);
    EXPECT_EQ(prompter.calls()[0].text, "5" + *c.reason);
    EXPECT_EQ(prompter.calls()[0].caption, "データエラー");
    EXPECT_FALSE(prompter.calls()[0].question);
    ExpectPreviousPointsKept();
  }
}

TEST_F(ConvertRangeTest, CellsOfSpacesAreBlankAndANumberBeforeASpaceIsRead) {
  DataText text = Indexed("12 abc,3\r\n   ,\t\r\n4, 5 x\r\n");
  prompter_.Answer(Answer::kYes);
  ASSERT_TRUE(
      ConvertRange(text, Range(1, 2, 1, 3), state_->points, state_->ranges, prompter_).completed());
  ASSERT_EQ(state_->points.count, 2u);
  EXPECT_EQ(state_->points.records[0].x, 12.0);
  EXPECT_EQ(state_->points.records[1].y, 5.0);
  EXPECT_EQ(prompter_.calls().size(), 1u);
}

TEST_F(ConvertRangeTest, AllRowsBlankAndYesGivesTheNoDataMessage) {
  DataText text = Indexed(",\r\n,\r\n,\r\n");
  prompter_.Answer(Answer::kYes);
  const ConversionResult result =
      ConvertRange(text, Range(1, 2, 1, 3), state_->points, state_->ranges, prompter_);
  EXPECT_EQ(result.stop, ConversionStop::kNoData);
  ASSERT_EQ(prompter_.calls().size(), 2u);
  EXPECT_EQ(prompter_.calls()[1].text, kNoData);
  EXPECT_EQ(prompter_.calls()[1].caption, "データエラー");
  ExpectPreviousPointsKept();
}

TEST_F(ConvertRangeTest, RangeEndBeyondTheLastRowEndsAtTheLastRow) {
  DataText text = Indexed(TenRows());
  ASSERT_TRUE(ConvertRange(text, Range(1, 2, 8, 65536), state_->points, state_->ranges, prompter_)
                  .completed());
  EXPECT_EQ(state_->points.count, 3u);
  EXPECT_TRUE(prompter_.calls().empty());
  EXPECT_EQ(state_->points.records[2].y, 100.0);
}

TEST_F(ConvertRangeTest, RangeWhollyBeyondTheTextHasNoData) {
  DataText text = Indexed(TenRows());
  const ConversionResult result =
      ConvertRange(text, Range(1, 2, 11, 20), state_->points, state_->ranges, prompter_);
  EXPECT_EQ(result.stop, ConversionStop::kNoData);
  EXPECT_EQ(prompter_.Texts(), std::vector<std::string>{kNoData});
  ExpectPreviousPointsKept();
}

TEST_F(ConvertRangeTest, AnUnvalidatedRangeIsRefusedWithoutTouchingAnything) {
  DataText text = Indexed(TenRows());
  for (const RangeSelection& s : {Range(0, 2, 1, 2), Range(1, 1, 1, 2), Range(1, 2, 3, 2)}) {
    EXPECT_EQ(ConvertRange(text, s, state_->points, state_->ranges, prompter_).stop,
              ConversionStop::kInvalidRange);
  }
  EXPECT_TRUE(prompter_.calls().empty());
  ExpectPreviousPointsKept();
}

TEST_F(ConvertRangeTest, FullTableOf65536RowsFillsEveryRecord) {
  std::string bytes;
  for (int i = 0; i < 65536; ++i) bytes += std::to_string(i) + ";" + std::to_string(-i) + "\r\n";
  DataText text = Indexed(std::move(bytes));
  ASSERT_TRUE(ConvertRange(text, Range(1, 2, 1, 65536), state_->points, state_->ranges, prompter_)
                  .completed());
  EXPECT_EQ(state_->points.count, kMaxPoints);
  EXPECT_EQ(state_->points.records[65535].x, 65535.0);
  EXPECT_EQ(state_->ranges.min_y, -65535.0);
  EXPECT_EQ(state_->points.records[kGraphScratchPoint].x, 1.5);
}

TEST(ComputeDataRanges, StartsFromTheFirstPointAndCoversOnlyCountedPoints) {
  auto state = MakeAppState("");
  PointTable& points = state->points;
  EXPECT_EQ(ComputeDataRanges(points).max_x, 0.0) << "no points";
  points.records[0] = Point{3.0, -1.0, 0.0};
  points.records[1] = Point{3.0, -5.0, 0.0};
  points.records[2] = Point{3.0, 4.0, 0.0};
  points.records[3] = Point{99.0, 99.0, 0.0};  // not counted
  points.count = 3;
  const DataRanges r = ComputeDataRanges(points);
  EXPECT_EQ(r.min_x, 3.0);
  EXPECT_EQ(r.max_x, 3.0) << "equal x values give equal minimum and maximum";
  EXPECT_EQ(r.min_y, -5.0);
  EXPECT_EQ(r.max_y, 4.0);
}

}  // namespace
}  // namespace calvane
