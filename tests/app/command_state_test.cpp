#include "app/command_state.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/messages.h"
#include "base/workflow_state.h"
#include "conditions/condition_record.h"

namespace calvane {
namespace {

constexpr CommandState kNone{false, false, false};
constexpr CommandState kAll{true, true, true};
constexpr std::string_view kUnchanged{};

struct StepCase {
  std::string name;
  CommandUpdate (*step)(const CommandState&);
  CommandState before;
  CommandState after;
  std::string_view status;
};

TEST(CommandStateTest, WorkflowStepsSetCommandsAndStatusLine) {
  const std::vector<StepCase> cases = {
      {"start-up", [](const CommandState&) { return AtStartUp(); }, kAll, kNone,
       text::kStatusOpenData},
      {"data accepted, valid, left side y, from nothing",
       [](const CommandState& s) { return AfterDataAccepted(s, FormulaState::Valid, LeftSide::Y); },
       kNone,
       {true, true, false},
       text::kStatusRun},
      {"data accepted, valid, left side x, drops save",
       [](const CommandState& s) { return AfterDataAccepted(s, FormulaState::Valid, LeftSide::X); },
       kAll,
       {true, true, false},
       text::kStatusRun},
      {"data accepted, valid, no left side keeps run disabled",
       [](const CommandState& s) {
         return AfterDataAccepted(s, FormulaState::Valid, LeftSide::NotSelected);
       },
       kNone,
       {true, false, false},
       text::kStatusRun},
      {"data accepted, valid, no left side keeps run enabled",
       [](const CommandState& s) {
         return AfterDataAccepted(s, FormulaState::Valid, LeftSide::NotSelected);
       },
       kAll,
       {true, true, false},
       text::kStatusRun},
      {"data accepted, formula invalid keeps run",
       [](const CommandState& s) {
         return AfterDataAccepted(s, FormulaState::Invalid, LeftSide::Y);
       },
       kAll,
       {true, true, false},
       text::kStatusSetConditions},
      {"data accepted, formula not entered keeps run disabled",
       [](const CommandState& s) {
         return AfterDataAccepted(s, FormulaState::NotEntered, LeftSide::Y);
       },
       kNone,
       {true, false, false},
       text::kStatusSetConditions},
      {"run converged enables save",
       [](const CommandState& s) {
         return AfterRunEnded(s, WorkflowStateValue::kCompletedResults);
       },
       {true, true, false},
       kAll,
       text::kStatusSaveIfNeeded},
      {"run stopped early enables save",
       [](const CommandState& s) { return AfterRunEnded(s, WorkflowStateValue::kStoppedResults); },
       {true, true, false},
       kAll,
       text::kStatusRun},
      {"run ended for a missing text changes nothing",
       [](const CommandState& s) { return AfterRunEnded(s, WorkflowStateValue::kDataLoaded); },
       {true, true, false},
       {true, true, false},
       kUnchanged},
      {"results saved keeps the commands",
       [](const CommandState& s) { return AfterResultsSaved(s); }, kAll, kAll, text::kStatusSaved},
      {"data closed disables everything", [](const CommandState& s) { return AfterDataClosed(s); },
       kAll, kNone, text::kStatusOpenData},
      {"clear results disables only save",
       [](const CommandState& s) { return AfterClearResults(s); },
       kAll,
       {true, true, false},
       kUnchanged},
  };
  for (const StepCase& c : cases) {
    SCOPED_TRACE(c.name);
    const CommandUpdate update = c.step(c.before);
    EXPECT_EQ(update.commands, c.after);
    EXPECT_EQ(update.status_line, c.status);
  }
}

struct ConditionsCase {
  WorkflowStateValue workflow;
  FormulaState formula_state;
  LeftSide left_side;
  CommandState before;
  bool run_after;
  std::string_view status;
};

TEST(CommandStateTest, AcceptedConditionsFollowTheFormulaVerdict) {
  const CommandState run_off{true, false, false};
  const CommandState run_on{true, true, false};
  const std::vector<ConditionsCase> cases = {
      // Not entered or invalid: run disabled; the status line asks for conditions in state 1.
      {WorkflowStateValue::kDataLoaded, FormulaState::NotEntered, LeftSide::Y, run_on, false,
       text::kStatusSetConditions},
      {WorkflowStateValue::kDataLoaded, FormulaState::Invalid, LeftSide::Y, run_on, false,
       text::kStatusSetConditions},
      {WorkflowStateValue::kNoData, FormulaState::Invalid, LeftSide::Y, run_on, false, kUnchanged},
      {WorkflowStateValue::kStoppedResults, FormulaState::NotEntered, LeftSide::Y, run_on, false,
       kUnchanged},
      {WorkflowStateValue::kResultsSaved, FormulaState::Invalid, LeftSide::X, run_on, false,
       kUnchanged},
      // Valid: state 2, or state 1 with a left side, enables run.
      {WorkflowStateValue::kStoppedResults, FormulaState::Valid, LeftSide::NotSelected, run_off,
       true, text::kStatusRun},
      {WorkflowStateValue::kDataLoaded, FormulaState::Valid, LeftSide::X, run_off, true,
       text::kStatusRun},
      {WorkflowStateValue::kDataLoaded, FormulaState::Valid, LeftSide::Y, run_off, true,
       text::kStatusRun},
      // Valid without data, or state 1 without a left side, disables it.
      {WorkflowStateValue::kNoData, FormulaState::Valid, LeftSide::Y, run_on, false, kUnchanged},
      {WorkflowStateValue::kDataLoaded, FormulaState::Valid, LeftSide::NotSelected, run_on, false,
       kUnchanged},
      // Valid in states 3 and 4 leaves it as it was.
      {WorkflowStateValue::kCompletedResults, FormulaState::Valid, LeftSide::Y, run_off, false,
       kUnchanged},
      {WorkflowStateValue::kCompletedResults, FormulaState::Valid, LeftSide::Y, run_on, true,
       kUnchanged},
      {WorkflowStateValue::kResultsSaved, FormulaState::Valid, LeftSide::Y, run_on, true,
       kUnchanged},
      // A formula state outside the three values changes nothing.
      {WorkflowStateValue::kDataLoaded, static_cast<FormulaState>(7), LeftSide::Y, run_on, true,
       kUnchanged},
  };
  for (const ConditionsCase& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "workflow " << static_cast<int>(c.workflow) << " formula "
                 << static_cast<int>(c.formula_state) << " left " << static_cast<int>(c.left_side));
    const CommandUpdate update =
        AfterConditionsAccepted(c.before, c.workflow, c.formula_state, c.left_side);
    EXPECT_EQ(update.commands.run, c.run_after);
    EXPECT_EQ(update.commands.close_data, c.before.close_data);
    EXPECT_EQ(update.commands.save_results, c.before.save_results);
    EXPECT_EQ(update.status_line, c.status);
  }
}

TEST(CommandStateTest, OnlyCloseRunAndSaveDependOnTheState) {
  const std::vector<int> always = {kCmdOpenData, kCmdExit, kCmdFittingConditions, kCmdHelp,
                                   kCmdVersion};
  for (const int id : always) {
    EXPECT_TRUE(IsCommandEnabled(kNone, id)) << id;
  }
  EXPECT_FALSE(IsCommandEnabled(kNone, kCmdCloseData));
  EXPECT_FALSE(IsCommandEnabled(kNone, kCmdRun));
  EXPECT_FALSE(IsCommandEnabled(kNone, kCmdSaveResults));
  EXPECT_TRUE(IsCommandEnabled({true, false, false}, kCmdCloseData));
  EXPECT_TRUE(IsCommandEnabled({false, true, false}, kCmdRun));
  EXPECT_TRUE(IsCommandEnabled({false, false, true}, kCmdSaveResults));
  EXPECT_FALSE(IsCommandEnabled(kAll, 1131));
  EXPECT_FALSE(IsCommandEnabled(kAll, kCmdOpenConditionFile));
}

TEST(CommandStateTest, DetailsAndGraphImageByWorkflowState) {
  struct Row {
    WorkflowStateValue workflow;
    bool details;
    bool image;
  };
  const std::vector<Row> rows = {
      {WorkflowStateValue::kNoData, false, false},
      {WorkflowStateValue::kDataLoaded, false, true},
      {WorkflowStateValue::kStoppedResults, true, true},
      {WorkflowStateValue::kCompletedResults, true, true},
      {WorkflowStateValue::kResultsSaved, true, true},
      {WorkflowStateValue::kPaused, false, false},
      {WorkflowStateValue::kAbortRequested, false, false},
  };
  for (const Row& row : rows) {
    const int state = static_cast<int>(row.workflow);
    EXPECT_EQ(WorkflowCommandEnabled(row.workflow, kCmdFitDetails), row.details) << state;
    EXPECT_EQ(WorkflowCommandEnabled(row.workflow, kCmdSaveGraphImage), row.image) << state;
    // The others are not workflow commands, whatever the state.
    EXPECT_FALSE(WorkflowCommandEnabled(row.workflow, kCmdSaveResults)) << state;
  }
  EXPECT_TRUE(IsWorkflowCommand(kCmdFitDetails));
  EXPECT_TRUE(IsWorkflowCommand(kCmdSaveGraphImage));
  EXPECT_FALSE(IsWorkflowCommand(kCmdRun));
  // The command-state struct does not enable them.
  EXPECT_FALSE(IsCommandEnabled(kAll, kCmdFitDetails));
  EXPECT_FALSE(IsCommandEnabled(kAll, kCmdSaveGraphImage));
}

TEST(CommandStateTest, DiscardQuestionAndCurveByWorkflowState) {
  struct Row {
    WorkflowStateValue workflow;
    bool asks;
    bool curve;
  };
  const std::vector<Row> rows = {
      {WorkflowStateValue::kNoData, false, false},
      {WorkflowStateValue::kDataLoaded, false, false},
      {WorkflowStateValue::kStoppedResults, true, true},
      {WorkflowStateValue::kCompletedResults, true, true},
      {WorkflowStateValue::kResultsSaved, false, true},
      {WorkflowStateValue::kPaused, false, true},
      {WorkflowStateValue::kAbortRequested, false, true},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(DiscardCheckAsks(row.workflow), row.asks) << static_cast<int>(row.workflow);
    EXPECT_EQ(CurveVisible(row.workflow), row.curve) << static_cast<int>(row.workflow);
  }
}

// Flattens a menu bar into "text[id]" lines in display order, "-" for separators.
std::vector<std::string> Flatten(std::span<const MenuEntry> bar) {
  std::vector<std::string> lines;
  for (const MenuEntry& popup : bar) {
    lines.push_back(std::string(popup.text));
    for (const MenuEntry& item : popup.items) {
      lines.push_back(item.text.empty()
                          ? std::string("  -")
                          : "  " + std::string(item.text) + "[" + std::to_string(item.id) + "]");
    }
  }
  return lines;
}

TEST(CommandStateTest, MenusListTheirItemsInDisplayOrder) {
  const std::vector<std::string> main = {
      "ファイル(&F)",
      "  データを開く(&D)[1123]",
      "  データを閉じる(&C)[1124]",
      "  -",
      "  計算結果を保存する(&S)[1125]",
      "  グラフを画像で保存(&G)[1141]",
      "  -",
      "  終了(&X)[1126]",
      "計算(&C)",
      "  計算条件(&C)[1127]",
      "  -",
      "  実行(&E)[1128]",
      "  計算結果の詳細(&R)[1140]",
      "ヘルプ(&H)",
      "  ヘルプ(&H)[1129]",
      "  バージョン情報(&A)[1130]",
  };
  EXPECT_EQ(Flatten(MainMenuBar()), main);
  const std::vector<std::string> conditions = {
      "ファイル(&F)",
      "  計算条件を開く(&O)[1132]",
      "  計算条件を保存する(&S)[1133]",
      "  -",
      "  詳細条件(&D)[1134]",
      "  -",
      "  閉じる(&C)[1135]",
      "ヘルプ(&H)",
      "  ヘルプ(&H)[1129]",
  };
  EXPECT_EQ(Flatten(ConditionsMenuBar()), conditions);
}

}  // namespace
}  // namespace calvane
