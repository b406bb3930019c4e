// Open data and close data against a recorded main window, a scripted file dialog and a
// scripted data sheet.
#include "app/data_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/file_io.h"
#include "data/data_selection.h"
#include "tests/support/recording_main_view.h"
#include "tests/support/recording_prompter.h"
#include "tests/support/scripted_file_chooser.h"
#include "tests/support/temp_dir.h"

namespace calvane {
namespace {

struct Fixture {
  Fixture() : state(MakeAppState(dir.path())) {
    WriteWholeFile(dir.File("a.csv"), "1,10\r\n2,20\r\n3,15\r\n");
    WriteWholeFile(dir.File("b.csv"), "7,70\r\n8,80\r\n");
  }
  // A data sheet that accepts x 1, y 2, all rows, or cancels.
  RunDataSheet Sheet(bool accept) {
    return [this, accept](DataText& text) {
      ++sheets;
      IndexRows(text, sheet_messages);
      if (!accept) return kSheetCancelled;
      const RangeSelection all{1, 2, 1, 0, 1};
      return AcceptDataSelection(text, all, *state, sheet_messages).accepted() ? kSheetAccepted
                                                                               : kSheetCancelled;
    };
  }
  test::TempDir dir;
  std::unique_ptr<AppState> state;
  test::RecordingPrompter messages;  // owned by the main window
  test::RecordingMainView view{messages};
  test::ScriptedFileChooser chooser;
  test::RecordingPrompter sheet_messages;
  int sheets = 0;
};

TEST(OpenData, TheDialogOffersTheDataFiltersAndStartsInSampleOnlyFirst) {
  Fixture f;
  f.chooser.Answer(std::nullopt);  // cancelled: nothing changes, the flag stays clear
  EXPECT_FALSE(OpenData(f.view, f.chooser, *f.state, f.Sheet(true)));
  f.chooser.Answer(f.dir.File("a.csv"));
  EXPECT_TRUE(OpenData(f.view, f.chooser, *f.state, f.Sheet(true)));
  f.chooser.Answer(std::nullopt);
  OpenData(f.view, f.chooser, *f.state, f.Sheet(true));

  const auto& requests = f.chooser.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_FALSE(requests[0].save);
  EXPECT_EQ(requests[0].title, "データファイルを開く");
  const std::vector<std::pair<std::string, std::string>> filters = {
      {"CSV カンマ区切り(*.csv)", "*.csv"},
      {"テキスト ファイル(*.txt)", "*.txt"},
      {"すべてのファイル(*.*)", "*.*"}};
  EXPECT_EQ(requests[0].filters, filters);
  EXPECT_EQ(requests[0].default_extension, "");
  EXPECT_EQ(requests[0].initial_folder, f.dir.path() + "/Sample");
  EXPECT_EQ(requests[1].initial_folder, f.dir.path() + "/Sample");
  EXPECT_EQ(requests[2].initial_folder, "");  // a file was chosen: the system's default
  EXPECT_EQ(f.view.results_cleared, 1);       // only the dialog that chose a file cleared results
  EXPECT_EQ(f.sheets, 1);
}

TEST(OpenData, AcceptedDataArePublished) {
  struct Case {
    FormulaState formula_state;
    LeftSide left_side;
    bool run_before;
    bool run_after;
    const char* status;
  };
  const Case cases[] = {
      {FormulaState::Valid, LeftSide::Y, false, true, "計算を実行してください。"},
      {FormulaState::Valid, LeftSide::NotSelected, false, false, "計算を実行してください。"},
      {FormulaState::Invalid, LeftSide::X, true, true,
       "計算条件を設定してください。"},  // run keeps its state
      {FormulaState::NotEntered, LeftSide::Y, false, false, "計算条件を設定してください。"},
  };
  for (const Case& c : cases) {
    Fixture f;
    f.state->conditions.formulaState = c.formula_state;
    f.state->conditions.leftSide = c.left_side;
    f.view.commands = CommandState{false, c.run_before, true};
    f.chooser.Answer(f.dir.File("a.csv"));
    ASSERT_TRUE(OpenData(f.view, f.chooser, *f.state, f.Sheet(true)));
    EXPECT_EQ(f.view.fields[kCtlDataFile], f.dir.File("a.csv"));
    EXPECT_EQ(f.view.status_line, c.status);
    EXPECT_EQ(f.view.commands, (CommandState{true, c.run_after, false}));
    EXPECT_EQ(f.state->workflow.load(), WorkflowStateValue::kDataLoaded);
    EXPECT_EQ(f.state->points.count, 3u);
    EXPECT_EQ(f.state->ranges.min_x, 1.0);
    EXPECT_EQ(f.state->ranges.max_x, 3.0);
    EXPECT_EQ(f.state->ranges.min_y, 10.0);
    EXPECT_EQ(f.state->ranges.max_y, 20.0);
    EXPECT_GE(f.view.repaints, 1);
  }
}

TEST(OpenData, CancelOrFailureAfterASecondFileKeepsTheFirst) {
  Fixture f;
  f.chooser.Answer(f.dir.File("a.csv"));
  ASSERT_TRUE(OpenData(f.view, f.chooser, *f.state, f.Sheet(true)));
  f.view.commands.save_results = true;  // as if a run had ended

  // The sheet of the second file is cancelled: path, status, state and points stay; the
  // results are cleared.
  f.chooser.Answer(f.dir.File("b.csv"));
  EXPECT_FALSE(OpenData(f.view, f.chooser, *f.state, f.Sheet(false)));
  EXPECT_EQ(f.view.fields[kCtlDataFile], f.dir.File("a.csv"));
  EXPECT_EQ(f.state->points.count, 3u);
  EXPECT_EQ(f.state->points.records[0].x, 1.0);
  EXPECT_EQ(f.state->workflow.load(), WorkflowStateValue::kDataLoaded);
  EXPECT_FALSE(f.view.commands.save_results);
  EXPECT_TRUE(f.view.commands.close_data);

  // A file that cannot be opened: its message without "終了します。", the program goes on, the
  // first file stays; no sheet runs.
  f.chooser.Answer(f.dir.File("missing.csv"));
  EXPECT_FALSE(OpenData(f.view, f.chooser, *f.state, f.Sheet(true)));
  ASSERT_EQ(f.messages.calls().size(), 1u);
  EXPECT_EQ(
      f.messages.calls()[0].text,
      "ファイルを開くのに失敗しました。既に他のアプリケーションで開かれている可能性があります。");
  EXPECT_EQ(f.messages.calls()[0].caption, "エラー");
  EXPECT_EQ(f.view.fields[kCtlDataFile], f.dir.File("a.csv"));
  EXPECT_EQ(f.state->points.count, 3u);
  EXPECT_EQ(f.sheets, 2);
}

TEST(OpenData, ARefusedDiscardCheckShowsNoDialog) {
  Fixture f;
  f.view.allow_discard = false;
  f.chooser.Answer(f.dir.File("a.csv"));
  EXPECT_FALSE(OpenData(f.view, f.chooser, *f.state, f.Sheet(true)));
  EXPECT_TRUE(f.chooser.requests().empty());
  EXPECT_EQ(f.view.results_cleared, 0);
  EXPECT_FALSE(f.state->first_dialog.chosen());
}

TEST(CloseData, DropsTheDataUnlessARunIsPausedOrTheDiscardIsRefused) {
  Fixture f;
  f.state->conditions.formulaState = FormulaState::Valid;
  f.chooser.Answer(f.dir.File("a.csv"));
  ASSERT_TRUE(OpenData(f.view, f.chooser, *f.state, f.Sheet(true)));

  f.state->workflow.store(WorkflowStateValue::kPaused);
  EXPECT_FALSE(CloseData(f.view, *f.state));
  EXPECT_EQ(f.view.discard_checks, 1);  // only open data asked
  f.state->workflow.store(WorkflowStateValue::kCompletedResults);
  f.view.allow_discard = false;
  EXPECT_FALSE(CloseData(f.view, *f.state));
  EXPECT_EQ(f.state->points.count, 3u);

  f.view.allow_discard = true;
  EXPECT_TRUE(CloseData(f.view, *f.state));
  EXPECT_EQ(f.state->workflow.load(), WorkflowStateValue::kNoData);
  EXPECT_EQ(f.state->points.count, 0u);
  EXPECT_EQ(f.view.fields[kCtlDataFile], "");
  EXPECT_EQ(f.view.status_line, "データを開いてください。");
  EXPECT_EQ(f.view.commands, (CommandState{false, false, false}));
}

}  // namespace
}  // namespace calvane
