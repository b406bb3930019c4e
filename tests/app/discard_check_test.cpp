#include "app/discard_check.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "app/start_up.h"
#include "base/file_io.h"
#include "base/workflow_state.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/temp_dir.h"

namespace calvane {
namespace {

struct DiscardCase {
  WorkflowStateValue workflow;
  std::optional<Answer> answer;  // none: no question may be asked
  bool go_on;
};

TEST(DiscardCheckTest, AsksOnlyForUnsavedResultsAndStopsOnlyOnNo) {
  const std::vector<DiscardCase> cases = {
      {WorkflowStateValue::kNoData, std::nullopt, true},
      {WorkflowStateValue::kDataLoaded, std::nullopt, true},
      {WorkflowStateValue::kResultsSaved, std::nullopt, true},
      {WorkflowStateValue::kPaused, std::nullopt, true},
      {WorkflowStateValue::kAbortRequested, std::nullopt, true},
      {WorkflowStateValue::kStoppedResults, Answer::kYes, true},
      {WorkflowStateValue::kStoppedResults, Answer::kNo, false},
      {WorkflowStateValue::kCompletedResults, Answer::kYes, true},
      {WorkflowStateValue::kCompletedResults, Answer::kNo, false},
  };
  for (const DiscardCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "workflow " << static_cast<int>(c.workflow));
    test::ScriptedPrompter prompter;
    if (c.answer) prompter.Answer(*c.answer);
    EXPECT_EQ(DiscardCheck(c.workflow, prompter, WindowId::kConditions), c.go_on);
    EXPECT_TRUE(prompter.AllAnswered());
    if (!c.answer) {
      EXPECT_TRUE(prompter.calls().empty());
      continue;
    }
    ASSERT_EQ(prompter.calls().size(), 1u);
    const test::ScriptedPrompter::Call& call = prompter.calls()[0];
    EXPECT_TRUE(call.question);
    EXPECT_EQ(call.text, "計算結果がまだ保存されていません。計算結果を破棄してもよろしいですか？");
    EXPECT_EQ(call.caption, "確認");
    EXPECT_EQ(call.buttons, Buttons::kYesNo);
    EXPECT_EQ(call.owner, WindowId::kConditions);
  }
}

TEST(StartUpTest, VersionBoxTextUsesCarriageReturnsOnly) {
  test::ScriptedPrompter prompter;
  ShowVersionBox(prompter);
  ASSERT_EQ(prompter.calls().size(), 1u);
  const test::ScriptedPrompter::Call& call = prompter.calls()[0];
  EXPECT_FALSE(call.question);
  EXPECT_EQ(call.text, "Calvane  Ver. 1.2.2\r\r最小二乗フィッティングソフトウェア");
  EXPECT_EQ(call.text.find('\n'), std::string::npos);
  EXPECT_EQ(call.caption, "バージョン情報");
  EXPECT_EQ(call.owner, WindowId::kMain);
}

TEST(StartUpTest, CentringTruncatesTowardZero) {
  struct Row {
    int left, top, right, bottom, width, height;
    WindowPosition expected;
  };
  const std::vector<Row> rows = {
      {0, 0, 1024, 768, 574, 505, {225, 132}},
      {0, 0, 1025, 769, 575, 506, {225, 131}},
      // A desktop left of the primary screen: the sums are negative and truncate toward zero.
      {-1281, -11, 0, 0, 100, 1, {-690, -5}},
      {0, 0, 300, 200, 574, 505, {-137, -152}},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(CentredPosition(r.left, r.top, r.right, r.bottom, r.width, r.height), r.expected)
        << r.left << "," << r.top << "," << r.right << "," << r.bottom;
  }
}

TEST(StartUpTest, FirstRunCreatesAnEmptyFormulaIniAndKeepsAnExistingOne) {
  test::TempDir dir;
  EXPECT_TRUE(IsFirstRun(dir.path()));
  EXPECT_TRUE(CreateEmptyFormulaIni(dir.path()));
  EXPECT_FALSE(IsFirstRun(dir.path()));
  EXPECT_EQ(ReadWholeFile(dir.File("Formula.ini")), std::optional<std::string>(""));

  ASSERT_TRUE(WriteWholeFile(dir.File("Formula.ini"), "[Formula]\r\n"));
  EXPECT_TRUE(CreateEmptyFormulaIni(dir.path()));
  EXPECT_EQ(ReadWholeFile(dir.File("Formula.ini")), std::optional<std::string>("[Formula]\r\n"));
  EXPECT_EQ(HelpFilePath(dir.path()), dir.path() + "/Help/Help.htm");
}

TEST(StartUpTest, FirstRunWithAnUnwritableDirectoryReportsFailure) {
  test::TempDir dir;
  EXPECT_FALSE(CreateEmptyFormulaIni(dir.File("missing-folder")));
}

}  // namespace
}  // namespace calvane
