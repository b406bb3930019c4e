// Hostile input for the data reader and the range conversion: whatever the bytes, the result is
// a message or a defined value, and no byte outside the text buffer is ever read (the suite also
// runs under AddressSanitizer and UndefinedBehaviorSanitizer).
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "app/app_state.h"
#include "data/data_text.h"
#include "data/range_conversion.h"
#include "formula/number_text.h"
#include "tests/support/scripted_prompter.h"

namespace calvane {
namespace {

// Answers every question Yes and counts what it was shown.
class YesPrompter : public Prompter {
 public:
  void Show(std::string_view, std::string_view, WindowId) override { ++shown; }
  Answer Ask(std::string_view, std::string_view, Buttons, WindowId) override {
    ++asked;
    return Answer::kYes;
  }
  int shown = 0;
  int asked = 0;
};

bool KnownStatus(ParseStatus s) {
  return s == ParseStatus::ParseOk || s == ParseStatus::ParseInvalid ||
         s == ParseStatus::ParseOutOfRange || IsBlankStatus(s);
}

// Checks the index against the line-end rules and reads every cell of every row.
void ExpectConsistentIndex(const DataText& text) {
  ASSERT_GE(text.row_count(), 1u);
  ASSERT_LE(text.row_count(), kMaxRows);
  EXPECT_GE(text.series_count(), 1);
  EXPECT_LE(text.series_count(), kMaxSeries);
  EXPECT_EQ(text.RowStart(1), 0u);
  for (std::uint32_t row = 2; row <= text.row_count(); ++row) {
    const std::size_t start = text.RowStart(row);
    ASSERT_LT(start, text.text_end());
    ASSERT_GT(start, text.RowStart(row - 1));
    EXPECT_EQ(text.bytes()[start - 2], '\r') << "a row starts two bytes after a CR";
  }
  const int widest = text.series_count() + 2;
  for (std::uint32_t row = 1; row <= text.row_count(); ++row) {
    for (int series = 1; series <= widest; ++series) {
      const CellLocation location = LocateCell(text, row, series);
      ASSERT_LE(location.offset, text.text_end());
      EXPECT_TRUE(KnownStatus(ConvertCell(text, location.offset).status));
      EXPECT_LE(CellText(text, row, series).size(), 20u);
    }
  }
}

void ConvertEverything(const DataText& text) {
  const std::pair<int, int> series_pairs[] = {{1, 2}, {2, 1}, {3, 256}};
  for (auto [x, y] : series_pairs) {
    auto state = MakeAppState("");
    YesPrompter prompter;
    RangeSelection selection{x, y, 1, static_cast<std::int32_t>(kMaxRows), 0};
    const ConversionResult result =
        ConvertRange(text, selection, state->points, state->ranges, prompter);
    EXPECT_LE(state->points.count, text.row_count());
    if (result.completed()) {
      EXPECT_EQ(state->points.count, result.point_count);
      EXPECT_GE(result.point_count, 1u);
    } else {
      EXPECT_EQ(state->points.count, 0u);
      EXPECT_EQ(prompter.shown, 1) << "a stopped conversion says why";
    }
  }
}

TEST(HostileData, RandomBytesGiveAConsistentIndexAndDefinedCells) {
  std::mt19937 random(7);
  const std::string skewed = "0123456789.,;\t\r\n e-+\"x";
  for (int round = 0; round < 200; ++round) {
    const std::size_t size = static_cast<std::size_t>(random() % 3000);
    std::string bytes(size, ' ');
    for (char& c : bytes) {
      const auto draw = static_cast<unsigned>(random());
      c = (round % 3 == 0) ? static_cast<char>(draw & 0xFF) : skewed[draw % skewed.size()];
    }
    SCOPED_TRACE(round);
    DataText text(bytes);
    YesPrompter prompter;
    IndexRows(text, prompter);
    ExpectConsistentIndex(text);
    ConvertEverything(text);
  }
}

TEST(HostileData, ZeroBytesInTheMiddleEndTheText) {
  const std::string bytes("1,2\r\n3,4\r\n5\0,6\r\n7,8\r\n", 21);
  DataText text(bytes);
  YesPrompter prompter;
  IndexRows(text, prompter);
  EXPECT_EQ(text.text_end(), 11u);
  EXPECT_EQ(text.row_count(), 3u);
  ExpectConsistentIndex(text);
  auto state = MakeAppState("");
  RangeSelection selection{1, 2, 1, 4, 0};
  EXPECT_EQ(ConvertRange(text, selection, state->points, state->ranges, prompter).stop,
            ConversionStop::kInvalidData)
      << "row 3 has an x but its y lies beyond the end of the text";
  DataText leading(std::string("\0\0\r\n1,2", 7));
  IndexRows(leading, prompter);
  EXPECT_EQ(leading.row_count(), 1u);
  EXPECT_EQ(ReadCell(leading, 1, 1).status, ParseStatus::ParseEndOfText);
}

TEST(HostileData, FiftyMegabyteSingleRowIsOneRowOf256Series) {
  std::string bytes;
  bytes.reserve(50u << 20);
  while (bytes.size() < (50u << 20)) bytes += "1234.5,";
  DataText text(std::move(bytes));
  test::ScriptedPrompter prompter;
  IndexRows(text, prompter);
  EXPECT_EQ(text.row_count(), 1u);
  EXPECT_EQ(text.series_count(), 256);
  ASSERT_EQ(prompter.calls().size(), 1u);
  EXPECT_EQ(ReadCell(text, 1, 256).value, 1234.5);
  auto state = MakeAppState("");
  RangeSelection selection{1, 256, 1, 65536, 0};
  ASSERT_TRUE(ConvertRange(text, selection, state->points, state->ranges, prompter).completed());
  EXPECT_EQ(state->points.count, 1u);

  DataText digits(std::string(50u << 20, '7'));
  IndexRows(digits, prompter);
  EXPECT_EQ(digits.row_count(), 1u);
  EXPECT_EQ(ReadCell(digits, 1, 1).status, ParseStatus::ParseOutOfRange);
  EXPECT_EQ(ReadCell(digits, 1, 2).status, ParseStatus::ParseEndOfText);
}

TEST(HostileData, RowOf100000SeparatorsIsBlank) {
  DataText text(std::string(100000, ';') + "\r\n1;2");
  test::ScriptedPrompter prompter;
  IndexRows(text, prompter);
  EXPECT_EQ(text.series_count(), 256);
  EXPECT_EQ(text.row_count(), 2u);
  EXPECT_EQ(ReadCell(text, 1, 256).status, ParseStatus::ParseEmptyField);
  EXPECT_EQ(ReadCell(text, 1, 100001).status, ParseStatus::ParseEndOfLine);
  EXPECT_EQ(ReadCell(text, 1, 100002).status, ParseStatus::ParseEndOfLine);
  auto state = MakeAppState("");
  prompter.Answer(Answer::kYes);
  RangeSelection selection{255, 256, 1, 2, 0};
  EXPECT_EQ(ConvertRange(text, selection, state->points, state->ranges, prompter).stop,
            ConversionStop::kNoData);
}

TEST(HostileData, FourHundredDigitNumbersAreOutOfRangeOrTiny) {
  const std::string huge = "1" + std::string(399, '0');
  const std::string tiny = "0." + std::string(397, '0') + "1";
  const std::string negative = "-" + std::string(400, '9');
  DataText text(huge + "," + tiny + "," + negative + "\r\n" + tiny + "," + tiny + "\r\n");
  test::ScriptedPrompter prompter;
  IndexRows(text, prompter);
  EXPECT_EQ(ReadCell(text, 1, 1).status, ParseStatus::ParseOutOfRange);
  EXPECT_TRUE(KnownStatus(ReadCell(text, 1, 2).status));
  EXPECT_EQ(ReadCell(text, 1, 3).status, ParseStatus::ParseOutOfRange);
  auto state = MakeAppState("");
  RangeSelection selection{1, 2, 1, 2, 0};
  EXPECT_EQ(ConvertRange(text, selection, state->points, state->ranges, prompter).stop,
            ConversionStop::kOutOfRange);
  selection.start_row = 2;
  const ConversionResult tiny_row =
      ConvertRange(text, selection, state->points, state->ranges, prompter);
  if (tiny_row.completed()) {
    EXPECT_EQ(state->points.records[0].x, state->points.records[0].y);
  }
}

TEST(HostileData, FilesCutInsideALineEndIndexLikeTheWholeLineEnd) {
  const std::string whole = "1,2\r\n3,4,5\r\n\r\n6\r\n";
  for (std::size_t n = 0; n <= whole.size(); ++n) {
    SCOPED_TRACE(n);
    const std::string prefix = whole.substr(0, n);
    DataText text(prefix);
    YesPrompter prompter;
    IndexRows(text, prompter);
    ExpectConsistentIndex(text);
    ConvertEverything(text);
    if (!prefix.empty() && prefix.back() == '\r') {
      DataText completed(prefix + "\n");
      IndexRows(completed, prompter);
      EXPECT_EQ(text.row_count(), completed.row_count());
      EXPECT_EQ(text.series_count(), completed.series_count());
    }
  }
}

}  // namespace
}  // namespace calvane
