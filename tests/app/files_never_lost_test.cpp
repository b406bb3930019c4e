// Every file the program writes, made to fail part-way through its write by a file-size limit
// (which root cannot bypass, unlike a read-only folder): the previous content stays whole, no
// partial or temporary file is left behind, and the program goes on with its message.

#include <dirent.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/base_messages.h"
#include "base/file_io.h"
#include "conditions/condition_accept.h"
#include "conditions/condition_file.h"
#include "data/selection_file.h"
#include "engine/calculation_driver.h"
#include "engine/worker.h"
#include "formula/compiled_formula.h"
#include "formula/formula_check.h"
#include "report/results_report.h"
#include "tests/engine/engine_test_support.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/temp_dir.h"

namespace calvane {
namespace {

using test::FileSizeLimit;
using test::FitSetup;
using test::RecordingProgressView;
using test::ScriptedPrompter;
using test::TempDir;

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Content that an earlier save left, recognisable and longer than the limits below, so a
// truncation or a partial overwrite of it cannot go unnoticed.
std::string Previous(const std::string& what) {
  std::string text = "previous " + what + "\r\n";
  while (text.size() < 700) text += "0123456789abcdef\r\n";
  return text;
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

// The user's files, each replaced after the overwrite question and each created new: a failed
// write leaves the old file whole (or no file at all) and shows
// "ファイルの書き込みに失敗しました。".
class UserFileTest : public testing::Test {
 protected:
  void SetUp() override {
    state_ = MakeAppState(dir_.path());
    dialog_.formula = std::string(480, ' ') + "k0*x";  // makes the condition file ~700 bytes
    dialog_.constants[0] = {"1", "-10", "10", "0.0001"};
  }

  void ExpectWriteFailedShown() {
    ASSERT_FALSE(prompter_.calls().empty());
    EXPECT_EQ(prompter_.calls().back().text, text::kMsgFileWriteFailed);
    EXPECT_EQ(prompter_.calls().back().caption, text::kCaptionError);
  }

  TempDir dir_;
  std::unique_ptr<AppState> state_;
  ConditionDialogValues dialog_;
  ScriptedPrompter prompter_;
};

TEST_F(UserFileTest, ConditionFileReplacedPartWayKeepsTheOldFile) {
  const std::string path = dir_.File("fit.ccn");
  ASSERT_TRUE(WriteWholeFile(path, Previous("conditions")));
  prompter_.Answer(Answer::kOk);
  {
    FileSizeLimit limit(300);
    ASSERT_TRUE(limit.active());
    EXPECT_FALSE(SaveConditionFile(path, *state_, dialog_, prompter_));
  }
  ExpectWriteFailedShown();
  EXPECT_EQ(ReadWholeFile(path), Previous("conditions"));
  EXPECT_EQ(FolderEntries(dir_.path()), std::vector<std::string>{"fit.ccn"});
  // The program goes on: the same save succeeds once the disk has room again.
  prompter_.Answer(Answer::kOk);
  EXPECT_TRUE(SaveConditionFile(path, *state_, dialog_, prompter_));
  EXPECT_EQ(ReadWholeFile(path), BuildConditionFile(ConditionSource::FromDialog, *state_, dialog_));
}

TEST_F(UserFileTest, NewFilesFailedPartWayLeaveNothingBehind) {
  ASSERT_TRUE(WriteWholeFile(dir_.File(std::string(kFittingConditionFileName)),
                             BuildConditionFile(ConditionSource::FromRecord, *state_)));
  ReportValues values;
  values.data_path = std::string(400, 'd');
  {
    FileSizeLimit limit(300);
    EXPECT_FALSE(SaveConditionFile(dir_.File("new.ccn"), *state_, dialog_, prompter_));
    ExpectWriteFailedShown();
    EXPECT_EQ(SaveResultsReport(values, dir_.File("new.frs"), dir_.path(), prompter_),
              SaveResultsStatus::kWriteFailed);
    ExpectWriteFailedShown();
  }
  EXPECT_EQ(prompter_.calls().size(), 2u);
  EXPECT_EQ(FolderEntries(dir_.path()),
            std::vector<std::string>{std::string(kFittingConditionFileName)});
}

TEST_F(UserFileTest, ReportReplacedPartWayKeepsTheOldReport) {
  const std::string conditions = BuildConditionFile(ConditionSource::FromRecord, *state_);
  ASSERT_TRUE(WriteWholeFile(dir_.File(std::string(kFittingConditionFileName)), conditions));
  const std::string path = dir_.File("result.frs");
  ASSERT_TRUE(WriteWholeFile(path, Previous("report")));
  ReportValues values;
  values.data_path = std::string(400, 'd');
  prompter_.Answer(Answer::kOk);
  {
    FileSizeLimit limit(300);
    EXPECT_EQ(SaveResultsReport(values, path, dir_.path(), prompter_),
              SaveResultsStatus::kWriteFailed);
  }
  ExpectWriteFailedShown();
  EXPECT_EQ(ReadWholeFile(path), Previous("report"));
  EXPECT_EQ(ReadWholeFile(dir_.File(std::string(kFittingConditionFileName))), conditions);
  EXPECT_EQ(FolderEntries(dir_.path()),
            Sorted({"result.frs", std::string(kFittingConditionFileName)}));
}

// The internal files: their failures are not the user's command, so Formula.ini and
// DataReadCondition.ini are not reported; the command that writes them still completes.
TEST(InternalFiles, FormulaAndSelectionFilesFailedPartWayKeepTheirOldContent) {
  TempDir dir;
  auto state = MakeAppState(dir.path());
  ASSERT_TRUE(WriteWholeFile(dir.File("Formula.ini"), Previous("formula")));
  ASSERT_TRUE(WriteWholeFile(dir.File(std::string(kSelectionFileName)), Previous("selection")));
  ConditionDialogValues values;
  values.formula = "k0*x+k1";
  values.formula_status = "";
  ASSERT_EQ(CheckFormula(state->formula, values.formula, LeftSide::Y),
            FormulaCheckCode::FormulaValid);
  ScriptedPrompter prompter;
  RangeSelection selection{1, 2, 3, 65536, 1};
  AcceptResult accepted;
  bool selection_written = true;
  {
    FileSizeLimit limit(12);  // below both new contents
    accepted = AcceptConditions(values, *state, prompter);
    selection_written = WriteSelectionFile(dir.path(), selection);
  }
  EXPECT_TRUE(accepted.accepted);
  EXPECT_FALSE(accepted.formula_file_written);
  EXPECT_STREQ(state->formula.formulaText, "k0*x+k1");
  EXPECT_FALSE(selection_written);
  EXPECT_TRUE(prompter.calls().empty());
  EXPECT_EQ(ReadWholeFile(dir.File("Formula.ini")), Previous("formula"));
  EXPECT_EQ(ReadWholeFile(dir.File(std::string(kSelectionFileName))), Previous("selection"));
  EXPECT_EQ(FolderEntries(dir.path()), Sorted({"Formula.ini", std::string(kSelectionFileName)}));
}

// The run's files. FittingCondition.ini is written by the worker first: its failure ends the run
// with the message in the progress window. Calculation.ini is written throughout: a failed
// write keeps the previous log and is reported after the run.
TEST(RunFiles, FittingConditionFailedPartWayEndsTheRunWithItsMessage) {
  FitSetup setup("k0*x");
  setup.AddPoint(1.0, 3.0);
  setup.SetTexts(0, "0", "0", "100", "1");
  const std::string conditions_path = setup.dir().File(std::string(kFittingConditionFileName));
  ASSERT_TRUE(WriteWholeFile(conditions_path, Previous("run conditions")));
  ASSERT_TRUE(WriteWholeFile(setup.dir().File("Calculation.ini"), Previous("log")));
  RecordingProgressView view;
  RunOutcome outcome;
  {
    FileSizeLimit limit(100);  // FittingCondition.ini is about 180 bytes
    outcome = RunFit(setup.state(), view);
  }
  EXPECT_TRUE(outcome.log_opened);
  EXPECT_EQ(outcome.exit_code, kWorkerConditionError);
  EXPECT_EQ(view.messages, std::vector<std::string>{"ファイルの書き込みに失敗しました。"});
  EXPECT_EQ(ReadWholeFile(conditions_path), Previous("run conditions"));
  EXPECT_EQ(FolderEntries(setup.dir().path()),
            Sorted({"Calculation.ini", std::string(kFittingConditionFileName)}));
}

TEST(RunFiles, CalculationLogFailedPartWayKeepsThePreviousLog) {
  FitSetup setup("k0*x");
  setup.AddPoint(1.0, 3.0);
  setup.AddPoint(2.0, 6.5);
  setup.SetTexts(0, "0", "0", "100", "0.000001");
  const std::string log_path = setup.dir().File("Calculation.ini");
  ASSERT_TRUE(WriteWholeFile(log_path, Previous("log")));
  RecordingProgressView view;
  CalculationDriver driver(setup.state(), view);
  int exit_code = -1;
  {
    FileSizeLimit limit(250);  // room for FittingCondition.ini, not for the whole log
    ASSERT_TRUE(driver.Begin());
    driver.StartWorker();
    exit_code = driver.Finish();
  }
  EXPECT_EQ(exit_code, kWorkerCompleted);  // the fit itself goes on
  EXPECT_FALSE(driver.log_ok());           // and its caller reports the failed log
  EXPECT_EQ(ReadWholeFile(log_path), Previous("log"));
  EXPECT_EQ(FolderEntries(setup.dir().path()),
            Sorted({"Calculation.ini", std::string(kFittingConditionFileName)}));

  // Without the limit the next run replaces the log whole.
  CalculationDriver again(setup.state(), view);
  ASSERT_TRUE(again.Begin());
  again.StartWorker();
  EXPECT_EQ(again.Finish(), kWorkerCompleted);
  EXPECT_TRUE(again.log_ok());
  const std::optional<std::string> log = ReadWholeFile(log_path);
  ASSERT_TRUE(log.has_value());
  EXPECT_GT(log->size(), 250u);
  EXPECT_EQ(log->find("previous"), std::string::npos);
}

}  // namespace
}  // namespace calvane
