// The shipped samples: data files a user can open as they are, and condition files in the
// exact condition-file layout whose formulas are valid for the left side y.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "base/file_io.h"
#include "conditions/condition_file.h"
#include "formula/formula_check.h"
#include "formula/number_text.h"
#include "tests/support/test_paths.h"

namespace calvane {
namespace {

const std::vector<std::string> kSamples = {"gauss_peak", "exp_decay", "straight_line",
                                           "damped_sine"};

std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
}

TEST(SamplesTest, DataFilesHaveAHeaderAndAFewHundredNumericRows) {
  for (const std::string& name : kSamples) {
    SCOPED_TRACE(name);
    const std::optional<std::string> bytes =
        ReadWholeFile(test::SourcePath("resources/Sample/" + name + ".csv"));
    ASSERT_TRUE(bytes.has_value());
    ASSERT_GE(bytes->size(), 2u);
    EXPECT_EQ(bytes->substr(bytes->size() - 2), "\r\n");
    std::vector<std::string> lines = SplitCrLf(*bytes);
    lines.pop_back();  // the empty text after the last line end
    ASSERT_GE(lines.size(), 201u);
    EXPECT_LE(lines.size(), 400u);
    // The header is Shift-JIS text, not numbers.
    std::size_t position = 0;
    ParseStatus status = ParseStatus::ParseOk;
    ParseNumber(lines[0].c_str(), position, status);
    EXPECT_EQ(status, ParseStatus::ParseInvalid);
    for (std::size_t i = 1; i < lines.size(); ++i) {
      const std::string& line = lines[i];
      EXPECT_EQ(line.find('\n'), std::string::npos);
      const std::size_t comma = line.find(',');
      ASSERT_NE(comma, std::string::npos) << i;
      for (const std::string& field : {line.substr(0, comma), line.substr(comma + 1)}) {
        position = 0;
        ParseNumber(field.c_str(), position, status);
        EXPECT_EQ(status, ParseStatus::ParseOk) << i << ": " << field;
        EXPECT_EQ(position, field.size()) << i << ": " << field;
      }
    }
  }
}

TEST(SamplesTest, ConditionFilesUseTheLayoutAndAValidFormula) {
  for (const std::string& name : kSamples) {
    SCOPED_TRACE(name);
    const std::optional<std::string> bytes =
        ReadWholeFile(test::SourcePath("resources/Sample/" + name + ".ccn"));
    ASSERT_TRUE(bytes.has_value());
    ASSERT_FALSE(bytes->empty());
    EXPECT_EQ(bytes->back(), '\0');
    const std::vector<std::string> lines = SplitCrLf(bytes->substr(0, bytes->size() - 1));
    ASSERT_EQ(lines.size(), 20u);
    EXPECT_EQ(lines[0], "[Formula]");
    EXPECT_EQ(lines[1], "y=");
    EXPECT_EQ(lines[3], "[Initial, Minimum, Maximum and Accuracy]");
    EXPECT_EQ(lines[14], "[Angle Unit]");
    EXPECT_EQ(lines[16], "[No Wild Guess]");
    EXPECT_EQ(lines[18], "[Valid Data Interval]");
    EXPECT_EQ(lines[19], "1");

    auto state = MakeAppState(".");
    EXPECT_EQ(CheckFormula(state->formula, lines[2], LeftSide::Y), FormulaCheckCode::FormulaValid)
        << lines[2];

    // Loading the file and writing the dialog's values back gives the same bytes.
    ConditionDialogValues dialog;
    EXPECT_EQ(LoadConditionFile(*bytes, dialog, *state), FormulaCheckCode::FormulaValid);
    EXPECT_EQ(BuildConditionFile(ConditionSource::FromDialog, *state, dialog), *bytes);
  }
}

}  // namespace
}  // namespace calvane
