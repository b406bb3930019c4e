// The shared run and save-results flows against a recorded main window: the checks before a run,
// the exit code's effects, the pause snapshot, the report values and the save dialog.

#include "app/run_commands.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "app/headless_main_view.h"
#include "engine/worker.h"
#include "tests/engine/engine_test_support.h"
#include "tests/support/recording_prompter.h"
#include "tests/support/scripted_file_chooser.h"

namespace calvane {
namespace {

std::tm FixedTime(int second) {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 7;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = second;
  return t;
}

// y = 2x on five points: k0*x fits it with k0 = 2 exactly, R^2 = 1.
class RunFlowTest : public ::testing::Test {
 protected:
  explicit RunFlowTest(std::string_view formula = "k0*x") : setup_(formula) {
    for (int i = 1; i <= 5; ++i) setup_.AddPoint(i, 2.0 * i);
    setup_.SetTexts(0, "1", "-10", "10", "0.0001");
    view_.SetCommands(CommandState{true, true, false});
  }

  RunRefusal Run(const std::function<void(CalculationDriver&)>& during = {}) {
    RunCommandFlow flow(setup_.state(), view_, progress_, record_, &graph_,
                        [this] { return FixedTime(seconds_++); });
    return flow.Run([&](CalculationDriver& driver) {
      driver.StartWorker();
      if (during) during(driver);
      driver.WaitForWorker();
    });
  }

  test::FitSetup setup_;
  test::RecordingPrompter prompter_;
  HeadlessMainView view_{setup_.state(), prompter_};
  test::RecordingProgressView progress_;
  RunRecord record_;
  GraphScale graph_;
  int seconds_ = 1;
};

TEST_F(RunFlowTest, CompletedRunShowsItsResultsAndEnablesSaving) {
  view_.SetFieldText(kCtlR2, "old");
  ASSERT_EQ(Run(), RunRefusal::kNone);
  EXPECT_EQ(setup_.state().workflow.load(), WorkflowStateValue::kCompletedResults);
  EXPECT_EQ(view_.FieldText(kCtlStartTime), "2026/12/07 09:05:01");
  EXPECT_EQ(view_.FieldText(kCtlEndTime), "2026/12/07 09:05:02");
  EXPECT_EQ(view_.FieldText(kCtlConstant0), "2");
  EXPECT_EQ(view_.FieldText(kCtlConstant0 + 1), "");
  EXPECT_EQ(view_.FieldText(kCtlR2), "1");
  EXPECT_EQ(view_.status_line(), "必要であれば計算結果を保存してください。");
  EXPECT_TRUE(view_.Commands().save_results);
  EXPECT_FALSE(record_.stopped_early);
  EXPECT_FALSE(graph_.holding());
  EXPECT_TRUE(prompter_.calls().empty());
}

TEST_F(RunFlowTest, ConditionErrorKeepsTheResultsCleared) {
  setup_.SetTexts(0, "1", "", "10", "0.0001");
  view_.SetFieldText(kCtlConstant0, "old");
  view_.SetStatusLine("計算を実行してください。");
  ASSERT_EQ(Run(), RunRefusal::kNone);
  EXPECT_EQ(setup_.state().workflow.load(), WorkflowStateValue::kDataLoaded);
  EXPECT_EQ(view_.FieldText(kCtlConstant0), "");
  EXPECT_EQ(view_.FieldText(kCtlR2), "");
  EXPECT_EQ(view_.status_line(), "計算を実行してください。");
  EXPECT_FALSE(view_.Commands().save_results);
  EXPECT_EQ(progress_.messages, std::vector<std::string>{"k0の下限が入力されていません。"});
}

TEST_F(RunFlowTest, AbortedRunMarksItsValuesAndTheReport) {
  // The abort arrives once the least-squares phase has begun, whatever the threads' timing.
  progress_.on_counters = [&](std::uint32_t step, std::uint32_t) {
    if (step >= 1) setup_.state().workflow.store(WorkflowStateValue::kAbortRequested);
  };
  ASSERT_EQ(Run(), RunRefusal::kNone);
  EXPECT_EQ(setup_.state().workflow.load(), WorkflowStateValue::kStoppedResults);
  EXPECT_TRUE(record_.stopped_early);
  const std::string k0 = view_.FieldText(kCtlConstant0);
  ASSERT_GE(k0.size(), 2u);
  EXPECT_EQ(k0.substr(k0.size() - 2), " *");
  EXPECT_EQ(view_.status_line(), "計算を実行してください。");
  EXPECT_TRUE(view_.Commands().save_results);
  // The marks follow the run into every report of these results.
  EXPECT_TRUE(ReportValuesFromWindow(setup_.state(), view_, record_).stopped_early);
}

// The run always evaluates the formula of the last OK: a check the conditions dialog ran on an
// edit that was then cancelled leaves its program in the shared formula, and must not run.
TEST_F(RunFlowTest, RunCompilesTheAcceptedFormulaAgain) {
  ASSERT_EQ(CheckFormula(setup_.state().formula, "k0*x*x*x", LeftSide::Y),
            FormulaCheckCode::FormulaValid);
  ASSERT_EQ(Run(), RunRefusal::kNone);
  EXPECT_EQ(view_.FieldText(kCtlConstant0), "2");
  EXPECT_EQ(view_.FieldText(kCtlR2), "1");
}

struct RefusedRunCase {
  const char* name;
  const char* formula_text;
  LeftSide left_side;
  RunRefusal refusal;
  const char* message;
  FormulaState formula_state;  // afterwards
};

class RefusedRunTest : public RunFlowTest, public ::testing::WithParamInterface<RefusedRunCase> {};

// Nothing of the run happens: no log, no cleared results, no worker, no state change.
TEST_P(RefusedRunTest, NothingRuns) {
  const RefusedRunCase& c = GetParam();
  AppState& state = setup_.state();
  std::memset(state.formula.formulaText, 0, sizeof state.formula.formulaText);
  std::memcpy(state.formula.formulaText, c.formula_text, std::strlen(c.formula_text));
  state.conditions.leftSide = c.left_side;
  view_.SetFieldText(kCtlConstant0, "kept");
  EXPECT_EQ(Run(), c.refusal);
  EXPECT_EQ(state.workflow.load(), WorkflowStateValue::kDataLoaded);
  EXPECT_EQ(view_.FieldText(kCtlConstant0), "kept");
  EXPECT_FALSE(FileExists(setup_.dir().File("Calculation.ini")));
  EXPECT_TRUE(progress_.calls.empty());
  EXPECT_EQ(prompter_.Texts(), std::vector<std::string>{c.message});
  EXPECT_EQ(state.conditions.formulaState, c.formula_state);
  EXPECT_EQ(view_.Commands().run, c.refusal == RunRefusal::kDiscardDeclined);
  EXPECT_EQ(view_.status_line(), "計算条件を設定してください。");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedRunTest,
    ::testing::Values(
        RefusedRunCase{"EmptiedFormula", "", LeftSide::Y, RunRefusal::kFormulaInvalid,
                       "【エラー】式が未入力です", FormulaState::NotEntered},
        RefusedRunCase{"FormulaNamingTheLeftSide", "k0*y", LeftSide::Y, RunRefusal::kFormulaInvalid,
                       "左辺と同一の変数(xもしくはy)をフィッティング式中に含むことはできません。",
                       FormulaState::Invalid}),
    [](const ::testing::TestParamInfo<RefusedRunCase>& row) {
      return std::string(row.param.name);
    });

TEST_F(RunFlowTest, NoLeftSideRefusesTheRun) {
  setup_.state().conditions.leftSide = LeftSide::NotSelected;
  EXPECT_EQ(Run(), RunRefusal::kNoLeftSide);
  EXPECT_FALSE(FileExists(setup_.dir().File("Calculation.ini")));
  EXPECT_EQ(prompter_.Texts(), std::vector<std::string>{"計算条件を設定してください。"});
}

TEST_F(RunFlowTest, DeclinedDiscardKeepsTheResults) {
  ASSERT_EQ(Run(), RunRefusal::kNone);
  prompter_.Answer(Answer::kNo);
  EXPECT_EQ(Run(), RunRefusal::kDiscardDeclined);
  EXPECT_EQ(setup_.state().workflow.load(), WorkflowStateValue::kCompletedResults);
  EXPECT_EQ(view_.FieldText(kCtlConstant0), "2");
  EXPECT_EQ(view_.FieldText(kCtlEndTime), "2026/12/07 09:05:02");
  EXPECT_TRUE(prompter_.AllAnswered());
}

// The pause snapshot shows the reached values with the mark and hands the graph its own copy of
// the reached formula; the graph draws no curve from the worker's formula before that.
TEST_F(RunFlowTest, PauseSnapshotShowsTheReachedPointToWindowAndGraph) {
  setup_.SetTexts(0, "0", "-10", "10", "0.0000001");
  AppState& state = setup_.state();
  RunCommandFlow flow(state, view_, progress_, record_, &graph_, [] { return FixedTime(0); });
  std::vector<std::string> shown_k0;
  bool curve_before_snapshot = true;
  progress_.on_snapshot = [&](const PauseSnapshot& snapshot) {
    curve_before_snapshot = graph_.Compute(state, 566, 459).draw_curve;
    flow.ShowPauseSnapshot(snapshot);
    shown_k0.push_back(view_.FieldText(kCtlConstant0));
    state.workflow.store(WorkflowStateValue::kAbortRequested);
  };
  progress_.on_counters = [&](std::uint32_t step, std::uint32_t) {
    WorkflowStateValue running = WorkflowStateValue::kDataLoaded;
    if (step >= 1) state.workflow.compare_exchange_strong(running, WorkflowStateValue::kPaused);
  };
  ASSERT_EQ(flow.Begin(), RunRefusal::kNone);
  EXPECT_TRUE(graph_.holding());
  flow.driver().StartWorker();
  flow.driver().WaitForWorker();
  // Still held: the snapshot's copy draws the curve while the worker has not been joined.
  const GraphPlan& held = graph_.Compute(state, 566, 459);
  EXPECT_TRUE(held.draw_curve);
  EXPECT_EQ(held.curve.size(), static_cast<std::size_t>(kCurveColumns));
  EXPECT_EQ(flow.Finish(), kWorkerStopped);
  EXPECT_FALSE(curve_before_snapshot);
  ASSERT_EQ(shown_k0.size(), 1u);
  EXPECT_EQ(shown_k0[0].substr(shown_k0[0].size() - 2), " *");
  EXPECT_EQ(state.workflow.load(), WorkflowStateValue::kStoppedResults);
}

class SaveFlowTest : public RunFlowTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(Run(), RunRefusal::kNone);
    view_.SetFieldText(kCtlDataFile, "/データ/line.csv");
  }
};

TEST_F(SaveFlowTest, DialogAsksForAResultsFileAndTheSaveMarksTheState) {
  test::ScriptedFileChooser chooser;
  chooser.Answer(std::nullopt);
  EXPECT_EQ(SaveResultsCommand(setup_.state(), view_, record_, chooser),
            SaveResultsStatus::kCancelled);
  EXPECT_EQ(setup_.state().workflow.load(), WorkflowStateValue::kCompletedResults);
  ASSERT_EQ(chooser.requests().size(), 1u);
  const auto& request = chooser.requests()[0];
  EXPECT_TRUE(request.save);
  EXPECT_EQ(request.title, "計算結果ファイルの保存");
  EXPECT_EQ(
      request.filters,
      (std::vector<std::pair<std::string, std::string>>{{"計算結果ファイル(*.txt)", "*.txt"}}));
  EXPECT_EQ(request.default_extension, "frs");

  const std::string path = setup_.dir().File("result.frs");
  chooser.Answer(path);
  EXPECT_EQ(SaveResultsCommand(setup_.state(), view_, record_, chooser), SaveResultsStatus::kSaved);
  EXPECT_EQ(setup_.state().workflow.load(), WorkflowStateValue::kResultsSaved);
  EXPECT_EQ(view_.status_line(), "計算結果保存済みです。");
  EXPECT_TRUE(view_.Commands().save_results);
  const std::string report = Cp932ToUtf8(setup_.ReadFile("result.frs")).value_or("");
  EXPECT_EQ(report.substr(0, 120),
            std::string("*** Fitting Results ***\r\n[Calculation Start Time]\r\n"
                        "2026/12/07 09:05:01\r\n[Calculation End Time]\r\n2026/12/07 09:05:02\r\n"
                        "[Data File Name]\r\n/データ/line.csv\r\n")
                .substr(0, 120));
  EXPECT_NE(report.find("k0, 2\r\nk1, ---\r\n"), std::string::npos);
  EXPECT_TRUE(chooser.AllAnswered());
}

// The data-file line is cut to 499 bytes of Shift-JIS, never inside a double-byte character.
TEST_F(SaveFlowTest, DataFileLineIsCutTo499Bytes) {
  view_.SetFieldText(kCtlDataFile, "/" + std::string(497, 'a') + "データ");
  EXPECT_EQ(ReportValuesFromWindow(setup_.state(), view_, record_).data_path,
            "/" + std::string(497, 'a'));
  view_.SetFieldText(kCtlDataFile, "/" + std::string(496, 'a') + "データ");
  EXPECT_EQ(ReportValuesFromWindow(setup_.state(), view_, record_).data_path,
            "/" + std::string(496, 'a') + Cp932("デ"));
}

}  // namespace
}  // namespace calvane
