#include "app/condition_commands.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/file_io.h"
#include "conditions/condition_file.h"
#include "tests/support/recording_main_view.h"
#include "tests/support/scripted_file_chooser.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/temp_dir.h"

namespace calvane {
namespace {

using test::RecordingMainView;
using test::ScriptedFileChooser;
using test::ScriptedPrompter;
using test::TempDir;

const std::string kSet = "計算条件を設定してください。";
const std::string kRun = "計算を実行してください。";
const std::string kDiscard =
    "計算結果がまだ保存されていません。計算結果を破棄してもよろしいですか？";

class ConditionCommandsTest : public testing::Test {
 protected:
  void SetUp() override {
    state_ = MakeAppState(dir_.path());
    view_.commands = {true, false, true};
    view_.status_line = "before";
    view_.results_cleared = 0;
  }

  TempDir dir_;
  std::unique_ptr<AppState> state_;
  ScriptedPrompter prompter_;
  RecordingMainView view_{prompter_};
  ScriptedFileChooser chooser_;
};

TEST_F(ConditionCommandsTest, AcceptedConditionsSetTheRunCommandAndTheStatusLine) {
  struct Case {
    const char* label;
    WorkflowStateValue workflow;
    LeftSide left;
    bool run;
    std::string status;  // "before": unchanged
  };
  const Case cases[] = {
      {"【エラー】式が未入力です", WorkflowStateValue::kDataLoaded, LeftSide::Y, false, kSet},
      {"【エラー】式が不正です", WorkflowStateValue::kResultsSaved, LeftSide::X, false, "before"},
      {"", WorkflowStateValue::kDataLoaded, LeftSide::Y, true, kRun},
      {"", WorkflowStateValue::kDataLoaded, LeftSide::NotSelected, false, "before"},
      {"", WorkflowStateValue::kStoppedResults, LeftSide::NotSelected, true, kRun},
      {"", WorkflowStateValue::kNoData, LeftSide::Y, false, "before"},
      {"", WorkflowStateValue::kCompletedResults, LeftSide::Y, true,
       "before"},  // unchanged: was enabled
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.label << " workflow " << static_cast<int>(c.workflow));
    SetUp();
    view_.commands.run = true;
    state_->workflow = c.workflow;
    ConditionDialogValues values;
    values.formula = "k0*x";
    values.formula_status = c.label;
    values.left_side_index = LeftSideIndex(c.left);
    ASSERT_TRUE(AcceptConditionsCommand(values, *state_, view_).accepted);
    EXPECT_EQ(view_.commands.run, c.run);
    EXPECT_TRUE(view_.commands.close_data) << "close data is not OK's";
    EXPECT_EQ(view_.status_line, c.status);
    EXPECT_TRUE(FileExists(dir_.File("Formula.ini")));
  }
}

TEST_F(ConditionCommandsTest, RefusedConditionsLeaveTheMainWindowAlone) {
  ConditionDialogValues values;
  values.formula_status = "";
  values.constants[2][3] = "0";
  state_->workflow = WorkflowStateValue::kDataLoaded;
  EXPECT_FALSE(AcceptConditionsCommand(values, *state_, view_).accepted);
  EXPECT_EQ(view_.status_line, "before");
  EXPECT_FALSE(view_.commands.run);
  EXPECT_EQ(prompter_.calls().at(0).owner, WindowId::kConditions);
}

TEST_F(ConditionCommandsTest, ResetAsksTheDiscardQuestionAndOnlyYesDropsTheResults) {
  state_->workflow = WorkflowStateValue::kCompletedResults;
  prompter_.Answer(Answer::kNo);
  EXPECT_FALSE(ResetConditionsCommand(*state_, view_));
  EXPECT_EQ(state_->workflow.load(), WorkflowStateValue::kCompletedResults);
  EXPECT_EQ(view_.results_cleared, 0);

  prompter_.Answer(Answer::kYes);
  EXPECT_TRUE(ResetConditionsCommand(*state_, view_));
  EXPECT_EQ(state_->workflow.load(), WorkflowStateValue::kDataLoaded);
  EXPECT_EQ(view_.results_cleared, 1);
  EXPECT_EQ(view_.status_line, kRun);
  EXPECT_EQ(prompter_.Texts(), (std::vector<std::string>{kDiscard, kDiscard}));
  EXPECT_EQ(prompter_.calls()[0].owner, WindowId::kConditions);
}

TEST_F(ConditionCommandsTest, DetailedConditionsResetOnlyWhenResultsWereShown) {
  for (WorkflowStateValue workflow :
       {WorkflowStateValue::kDataLoaded, WorkflowStateValue::kResultsSaved,
        WorkflowStateValue::kStoppedResults}) {
    SetUp();
    state_->workflow = workflow;
    if (workflow == WorkflowStateValue::kStoppedResults) prompter_.Answer(Answer::kYes);
    EXPECT_TRUE(PrepareDetailedConditions(*state_, view_));
    EXPECT_EQ(view_.results_cleared, 1);
    EXPECT_EQ(state_->workflow.load(), workflow == WorkflowStateValue::kStoppedResults
                                           ? WorkflowStateValue::kDataLoaded
                                           : workflow);
    EXPECT_EQ(view_.status_line, workflow == WorkflowStateValue::kStoppedResults ? kRun : "before");
  }
  EXPECT_TRUE(prompter_.AllAnswered());
}

TEST_F(ConditionCommandsTest, OpenDialogStartsInSampleUntilAFileIsChosenInEitherDialog) {
  ASSERT_TRUE(
      WriteWholeFile(dir_.File("c.ccn"), BuildConditionFile(ConditionSource::FromRecord, *state_)));
  ConditionDialogValues values;
  chooser_.Answer(std::nullopt);
  EXPECT_FALSE(OpenConditionFileCommand(values, *state_, view_, chooser_));
  EXPECT_FALSE(state_->first_dialog.chosen()) << "a cancelled dialog chose nothing";
  chooser_.Answer(dir_.File("c.ccn"));
  EXPECT_TRUE(OpenConditionFileCommand(values, *state_, view_, chooser_));
  chooser_.Answer(std::nullopt);
  OpenConditionFileCommand(values, *state_, view_, chooser_);

  const auto& requests = chooser_.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].initial_folder, dir_.File("Sample"));
  EXPECT_EQ(requests[1].initial_folder, dir_.File("Sample"));
  EXPECT_EQ(requests[2].initial_folder, "");
  EXPECT_FALSE(requests[0].save);
  EXPECT_EQ(requests[0].title, "計算条件ファイルを開く");
  EXPECT_EQ(requests[0].default_extension, "ccn");
  ASSERT_EQ(requests[0].filters.size(), 1u);
  EXPECT_EQ(requests[0].filters[0].first, "計算条件ファイル(*.ccn)");
  EXPECT_EQ(requests[0].filters[0].second, "*.ccn");

  // The open-data dialog shares the flag.
  auto fresh = MakeAppState(dir_.path());
  fresh->first_dialog.MarkChosen();
  EXPECT_EQ(OpenConditionFileRequest(*fresh).initial_folder, "");
}

TEST_F(ConditionCommandsTest, OpeningAFileClearsTheResultsOnlyWhenItLoads) {
  state_->workflow = WorkflowStateValue::kCompletedResults;
  ConditionDialogValues values;
  values.formula = "unchanged";
  prompter_.Answer(Answer::kYes);
  chooser_.Answer(dir_.File("missing.ccn"));
  EXPECT_FALSE(OpenConditionFileCommand(values, *state_, view_, chooser_));
  EXPECT_EQ(values.formula, "unchanged");
  EXPECT_EQ(view_.results_cleared, 0);
  EXPECT_EQ(state_->workflow.load(), WorkflowStateValue::kCompletedResults);
  EXPECT_TRUE(state_->first_dialog.chosen());

  ConditionDialogValues saved;
  saved.formula = "k0*x";
  ASSERT_TRUE(WriteWholeFile(dir_.File("c.ccn"),
                             BuildConditionFile(ConditionSource::FromDialog, *state_, saved)));
  prompter_.Answer(Answer::kYes);
  chooser_.Answer(dir_.File("c.ccn"));
  EXPECT_TRUE(OpenConditionFileCommand(values, *state_, view_, chooser_));
  EXPECT_EQ(values.formula, "k0*x");
  EXPECT_EQ(view_.results_cleared, 1);
  EXPECT_EQ(state_->workflow.load(), WorkflowStateValue::kDataLoaded);
  EXPECT_EQ(view_.status_line, kRun);
  EXPECT_EQ(prompter_.Texts(),
            (std::vector<std::string>{kDiscard, "ファイルを開くのに失敗しました。", kDiscard}));
}

TEST_F(ConditionCommandsTest, SaveAsksBeforeReplacingAndWritesOnlyOnOk) {
  ConditionDialogValues values;
  values.formula = "k0*x";
  chooser_.Answer(dir_.File("a.ccn"));
  EXPECT_TRUE(SaveConditionFileCommand(values, *state_, view_, chooser_));
  const std::optional<std::string> first = ReadWholeFile(dir_.File("a.ccn"));
  ASSERT_TRUE(first);

  values.formula = "k0*y";
  chooser_.Answer(dir_.File("a.ccn"));
  prompter_.Answer(Answer::kCancel);
  EXPECT_FALSE(SaveConditionFileCommand(values, *state_, view_, chooser_));
  EXPECT_EQ(ReadWholeFile(dir_.File("a.ccn")), first);
  ASSERT_EQ(chooser_.requests().size(), 2u);
  EXPECT_TRUE(chooser_.requests()[0].save);
  EXPECT_EQ(chooser_.requests()[0].title, "計算条件ファイルの保存");
  EXPECT_EQ(chooser_.requests()[0].default_extension, "ccn");
  EXPECT_EQ(chooser_.requests()[0].initial_folder, "");
  EXPECT_TRUE(prompter_.AllAnswered());
}

}  // namespace
}  // namespace calvane
