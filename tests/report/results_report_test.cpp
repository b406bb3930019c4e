#include "report/results_report.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <string>
#include <vector>

#include "base/file_io.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/temp_dir.h"

namespace calvane {
namespace {

using namespace std::string_literals;

// A condition file as the run writes it: last value without a line end, then a zero byte.
const std::string kConditions =
    "[Formula]\r\ny=\r\nk0*x+k2\r\n[Initial, Minimum, Maximum and Accuracy]\r\n"
    "1,-10,10,0.0001\r\n,,,\r\n0,-5,5,0.0001\r\n,,,\r\n,,,\r\n,,,\r\n,,,\r\n,,,\r\n,,,\r\n,,,\r\n"
    "[Angle Unit]\r\nDegree\r\n[No Wild Guess]\r\nInvalid\r\n[Valid Data Interval]\r\n1"s +
    '\0';

ReportValues LinearValues(bool stopped_early) {
  ReportValues values;
  values.start_time = "2024/06/01 09:05:07";
  values.end_time = "2024/06/01 09:05:08";
  values.data_path = "/data/line.csv";
  values.CurrentValue[0] = 2.5;
  values.CurrentValue[1] = -0.125;
  values.paramIndex[0] = 0;  // k0
  values.paramIndex[2] = 1;  // k2; k1 and k3..k9 unused
  values.R2Value = 0.998;
  values.stopped_early = stopped_early;
  return values;
}

std::string ExpectedHead(std::string_view mark) {
  std::string m(mark);
  return "*** Fitting Results ***\r\n[Calculation Start Time]\r\n2024/06/01 09:05:07\r\n"
         "[Calculation End Time]\r\n2024/06/01 09:05:08\r\n[Data File Name]\r\n/data/line.csv\r\n"
         "[Fitting Value]\r\nk0, 2.5" +
         m + "\r\nk1, ---\r\nk2, -0.125" + m +
         "\r\nk3, ---\r\nk4, ---\r\nk5, ---\r\nk6, ---\r\nk7, ---\r\nk8, ---\r\nk9, ---\r\n"
         "R^2, 0.998" +
         m + "\r\n\r\n*** Fitting Conditions ***\r\n";
}

TEST(ResultsReport, LayoutOfCompletedAndStoppedRuns) {
  struct Case {
    bool stopped;
    std::string_view mark;
  };
  for (const Case& c : {Case{false, ""}, Case{true, " *"}}) {
    SCOPED_TRACE(c.stopped ? "stopped early" : "completed");
    std::string report = BuildResultsReport(LinearValues(c.stopped), kConditions);
    // The conditions are copied without their zero byte, then the report's own zero byte ends
    // the file: exactly one zero byte, the last one.
    EXPECT_EQ(report, ExpectedHead(c.mark) + kConditions);
    EXPECT_EQ(report.find('\0'), report.size() - 1);
    EXPECT_EQ(report.substr(report.size() - 4), "\r\n1"s + '\0');
  }
}

TEST(ResultsReport, ConditionsAreCopiedOnlyUpToTheirFirstZeroByte) {
  std::string with_garbage = "[Formula]\r\nx=\r\n"s + '\0' + "tail that is not text";
  std::string report = BuildResultsReport(LinearValues(false), with_garbage);
  EXPECT_EQ(report, ExpectedHead("") + "[Formula]\r\nx=\r\n" + '\0');
  // No zero byte at all in the copied text: the whole text, then the terminator.
  report = BuildResultsReport(LinearValues(false), "abc");
  EXPECT_EQ(report, ExpectedHead("") + "abc" + '\0');
}

TEST(ResultsReport, ValuesUseTheNumberTextForms) {
  struct Case {
    double value;
    bool mark;
    const char* text;
  };
  const Case cases[] = {
      {1e-7, false, "1.00000000000000e-07"},
      {1e-7, true, "1.00000000000000e-07 *"},
      {0.0, false, "0"},
      {-3.0, true, "-3 *"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReportValueText(c.value, c.mark), c.text) << c.value;
  }
}

TEST(ResultsReport, ConstantIndexOutsideTheTableIsWrittenAsUnused) {
  ReportValues values = LinearValues(true);
  values.paramIndex[1] = 10;  // never produced by a formula check; must not read past the table
  std::string report = BuildResultsReport(values, "");
  EXPECT_NE(report.find("\r\nk1, ---\r\n"), std::string::npos);
}

class SaveResultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteWholeFile(temp_.File("FittingCondition.ini"), kConditions));
  }
  test::TempDir temp_;
  test::ScriptedPrompter prompter_;
};

TEST_F(SaveResultsTest, NewFileIsWrittenWithoutAsking) {
  std::string path = temp_.File("r.frs");
  EXPECT_EQ(SaveResultsReport(LinearValues(false), path, temp_.path(), prompter_),
            SaveResultsStatus::kSaved);
  EXPECT_TRUE(prompter_.calls().empty());
  EXPECT_EQ(ReadWholeFile(path), ExpectedHead("") + kConditions);
}

TEST_F(SaveResultsTest, ExistingFileIsReplacedOnlyAfterOk) {
  std::string path = temp_.File("r.frs");
  ASSERT_TRUE(WriteWholeFile(path,
                             "first report, much longer than anything else here\r\n"
                             "and with a second line that must not survive a replacement"));
  // Cancel: nothing is written.
  prompter_.Answer(Answer::kCancel);
  EXPECT_EQ(SaveResultsReport(LinearValues(true), path, temp_.path(), prompter_),
            SaveResultsStatus::kCancelled);
  ASSERT_EQ(prompter_.calls().size(), 1u);
  const auto& question = prompter_.calls()[0];
  EXPECT_TRUE(question.question);
  EXPECT_EQ(question.text, "その名前のファイルは既に存在します。上書きしますか？");
  EXPECT_EQ(question.caption, "確認");
  EXPECT_EQ(question.buttons, Buttons::kOkCancel);
  EXPECT_EQ(ReadWholeFile(path)->substr(0, 12), "first report");

  // OK: the whole old content is replaced, no tail stays behind.
  prompter_.Answer(Answer::kOk);
  EXPECT_EQ(SaveResultsReport(LinearValues(true), path, temp_.path(), prompter_),
            SaveResultsStatus::kSaved);
  EXPECT_EQ(ReadWholeFile(path), ExpectedHead(" *") + kConditions);
  EXPECT_TRUE(prompter_.AllAnswered());
}

TEST_F(SaveResultsTest, StoppedRunKeepsItsMarksWhenSavedAgain) {
  ReportValues values = LinearValues(true);
  ASSERT_EQ(SaveResultsReport(values, temp_.File("a.frs"), temp_.path(), prompter_),
            SaveResultsStatus::kSaved);
  ASSERT_EQ(SaveResultsReport(values, temp_.File("b.frs"), temp_.path(), prompter_),
            SaveResultsStatus::kSaved);
  EXPECT_EQ(ReadWholeFile(temp_.File("a.frs")), ReadWholeFile(temp_.File("b.frs")));
  EXPECT_NE(ReadWholeFile(temp_.File("b.frs"))->find("R^2, 0.998 *\r\n"), std::string::npos);
}

TEST_F(SaveResultsTest, MissingInternalFileTouchesNoReport) {
  ASSERT_EQ(::unlink(temp_.File("FittingCondition.ini").c_str()), 0);
  std::string existing = temp_.File("old.frs");
  ASSERT_TRUE(WriteWholeFile(existing, "old"));
  // Neither the new name nor the existing one is created or truncated, and no question is asked.
  EXPECT_EQ(SaveResultsReport(LinearValues(false), temp_.File("new.frs"), temp_.path(), prompter_),
            SaveResultsStatus::kConditionsMissing);
  EXPECT_EQ(SaveResultsReport(LinearValues(false), existing, temp_.path(), prompter_),
            SaveResultsStatus::kConditionsMissing);
  EXPECT_FALSE(FileExists(temp_.File("new.frs")));
  EXPECT_EQ(ReadWholeFile(existing), "old");
  ASSERT_EQ(prompter_.calls().size(), 2u);
  for (const auto& call : prompter_.calls()) {
    EXPECT_FALSE(call.question);
    EXPECT_EQ(call.text, "内部ファイルが見つかりません。");
    EXPECT_EQ(call.caption, "エラー");
  }
}

TEST_F(SaveResultsTest, UncreatableFileIsReported) {
  EXPECT_EQ(SaveResultsReport(LinearValues(false), temp_.File("no-such-folder/r.frs"), temp_.path(),
                              prompter_),
            SaveResultsStatus::kOpenFailed);
  ASSERT_EQ(prompter_.calls().size(), 1u);
  EXPECT_EQ(prompter_.calls()[0].text, "ファイルを開くのに失敗しました。");
  EXPECT_EQ(prompter_.calls()[0].caption, "エラー");
}

// Keeps files from growing beyond `bytes` while it lives: a write past the limit fails with
// EFBIG (the signal that would end the process is ignored meanwhile).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &old_limit_);
    old_handler_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old_limit_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_limit_);
    ::signal(SIGXFSZ, old_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit old_limit_{};
  void (*old_handler_)(int) = nullptr;
};

// A report that can be created but not written shows the write failure, in the new-file branch
// and in the overwrite branch alike, and the old report stays whole.
TEST_F(SaveResultsTest, FailedWriteShowsTheWriteFailureInBothBranches) {
  const std::string fresh = temp_.File("fresh.frs");
  const std::string existing = temp_.File("existing.frs");
  ASSERT_TRUE(WriteWholeFile(existing, "old"));
  prompter_.Answer(Answer::kOk);
  SaveResultsStatus fresh_status;
  SaveResultsStatus existing_status;
  {
    FileSizeLimit limit(16);
    fresh_status = SaveResultsReport(LinearValues(false), fresh, temp_.path(), prompter_);
    existing_status = SaveResultsReport(LinearValues(false), existing, temp_.path(), prompter_);
  }
  EXPECT_EQ(fresh_status, SaveResultsStatus::kWriteFailed);
  EXPECT_EQ(existing_status, SaveResultsStatus::kWriteFailed);
  EXPECT_FALSE(FileExists(fresh));
  EXPECT_EQ(ReadWholeFile(existing), "old");
  std::vector<std::string> shown;
  for (const auto& call : prompter_.calls()) {
    if (!call.question) shown.push_back(call.text);
  }
  EXPECT_EQ(shown, (std::vector<std::string>{"ファイルの書き込みに失敗しました。",
                                             "ファイルの書き込みに失敗しました。"}));
  EXPECT_TRUE(prompter_.AllAnswered());
}

}  // namespace
}  // namespace calvane
