// The worked example: a Gaussian peak fitted from a data file and a condition file, every file
// the run leaves compared byte for byte with the expected ones.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <regex>
#include <string>
#include <vector>

#include "tests/end_to_end/batch_test_support.h"
#include "tests/support/temp_dir.h"

namespace calvane {
namespace {

using test::CapturedOutput;

const std::vector<std::string> kGaussArgs = {
    "--data", "gauss.csv",     "--x",          "1",         "--y",      "2",         "--start",
    "2",      "--to-last-row", "--conditions", "gauss.ccn", "--report", "result.frs"};

const char* const kInternalFiles[] = {"Calculation.ini", "FittingCondition.ini", "Formula.ini",
                                      "DataReadCondition.ini"};

class GaussPeak : public ::testing::Test {
 protected:
  void SetUp() override {
    test::CopyFixture("gauss-peak/gauss.csv", dir_.path(), "gauss.csv");
    test::CopyFixture("gauss-peak/gauss.ccn", dir_.path(), "gauss.ccn");
  }

  // Line `number` (1-based) of a CR LF text.
  static std::string Line(const std::string& text, int number) {
    std::size_t from = 0;
    for (int i = 1; i < number; ++i) from = text.find("\r\n", from) + 2;
    return text.substr(from, text.find("\r\n", from) - from);
  }

  // The expected report with the time and path placeholders filled from the written report,
  // after checking that what fills them has the right form.
  std::string ExpectedReport(const std::string& written) {
    std::string start = Line(written, 3), end = Line(written, 5);
    const std::regex time_form(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d)");
    EXPECT_TRUE(std::regex_match(start, time_form)) << start;
    EXPECT_TRUE(std::regex_match(end, time_form)) << end;
    EXPECT_LE(start, end);
    std::string expected = test::Fixture("gauss-peak/expected/result.frs");
    expected = test::ReplaceAll(expected, "@START@", start);
    expected = test::ReplaceAll(expected, "@END@", end);
    return test::ReplaceAll(expected, "@DATA_PATH@", dir_.File("gauss.csv"));
  }

  void ExpectExampleFiles() {
    for (const char* name : kInternalFiles) {
      SCOPED_TRACE(name);
      test::ExpectFileBytes(dir_.path(), name,
                            test::Fixture(std::string("gauss-peak/expected/") + name));
    }
    std::string written = ReadWholeFile(dir_.File("result.frs")).value_or("");
    test::ExpectFileBytes(dir_.path(), "result.frs", ExpectedReport(written));
  }

  test::TempDir dir_;
};

TEST_F(GaussPeak, RunLeavesTheExpectedFilesAndPrintsTheResultLines) {
  CapturedOutput output;
  int exit_code = test::RunBatchIn(dir_.path(), kGaussArgs, output);
  EXPECT_EQ(std::to_string(exit_code) + "\n", test::Fixture("gauss-peak/expected/exit-status.txt"))
      << output.ErrText();
  EXPECT_EQ(output.OutText(), test::Fixture("gauss-peak/expected/stdout.txt"));
  ExpectExampleFiles();
  // Progress goes to stderr as the progress window would show it.
  EXPECT_TRUE(output.ErrContains("計算中: --- 概略推測フェーズ ---")) << output.ErrText();
  EXPECT_TRUE(output.ErrContains("計算中: --- 最小二乗計算フェーズ ---"));
  EXPECT_TRUE(output.ErrContains("計算中: 完了しました。"));
}

TEST_F(GaussPeak, SecondRunReplacesTheLogWhole) {
  // A longer log of an earlier run must leave no tail behind.
  ASSERT_TRUE(WriteWholeFile(dir_.File("Calculation.ini"), std::string(5000, 'x')));
  CapturedOutput output;
  ASSERT_EQ(test::RunBatchIn(dir_.path(), kGaussArgs, output), 0) << output.ErrText();
  test::ExpectFileBytes(dir_.path(), "Calculation.ini",
                        test::Fixture("gauss-peak/expected/Calculation.ini"));
}

TEST_F(GaussPeak, DataPathIsAbsoluteAndNormalised) {
  ASSERT_EQ(::mkdir(dir_.File("sub").c_str(), 0755), 0);
  std::vector<std::string> args = kGaussArgs;
  args[1] = "./sub/../gauss.csv";
  CapturedOutput output;
  ASSERT_EQ(test::RunBatchIn(dir_.path(), args, output), 0) << output.ErrText();
  std::string written = ReadWholeFile(dir_.File("result.frs")).value_or("");
  EXPECT_EQ(Line(written, 7), dir_.File("gauss.csv"));
}

TEST_F(GaussPeak, ExistingReportIsRefusedBeforeTheRunUnlessOverwriteIsGiven) {
  ASSERT_TRUE(WriteWholeFile(dir_.File("result.frs"), "an earlier report"));
  {
    CapturedOutput output;
    EXPECT_EQ(test::RunBatchIn(dir_.path(), kGaussArgs, output), 3);
    EXPECT_TRUE(output.ErrContains("確認: その名前のファイルは既に存在します。上書きしますか？"))
        << output.ErrText();
    EXPECT_TRUE(output.out().empty());
    EXPECT_FALSE(FileExists(dir_.File("Calculation.ini"))) << "nothing may run";
    EXPECT_EQ(ReadWholeFile(dir_.File("result.frs")), "an earlier report");
  }
  std::vector<std::string> args = kGaussArgs;
  args.push_back("--overwrite");
  CapturedOutput output;
  EXPECT_EQ(test::RunBatchIn(dir_.path(), args, output), 0) << output.ErrText();
  ExpectExampleFiles();
}

// The program itself: its exit status and its stdout bytes, run in the example's folder.
struct ProcessResult {
  int status = -1;
  std::string out;
};

ProcessResult RunProgram(const std::string& directory, std::vector<std::string> args) {
  ProcessResult result;
  std::string program = test::BinaryPath("calvane-batch");
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return result;
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipe_fds[1], 1);
    // stderr (progress and messages) goes to a file beside the run, kept for a failure's report.
    int err_fd = ::open((directory + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (err_fd >= 0) ::dup2(err_fd, 2);
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
    if (::chdir(directory.c_str()) != 0) ::_exit(126);
    std::vector<char*> argv;
    argv.push_back(program.data());
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(pipe_fds[1]);
  char buffer[4096];
  for (ssize_t n; (n = ::read(pipe_fds[0], buffer, sizeof buffer)) != 0;) {
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    result.out.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(pipe_fds[0]);
  int wait_status = 0;
  if (::waitpid(pid, &wait_status, 0) == pid && WIFEXITED(wait_status)) {
    result.status = WEXITSTATUS(wait_status);
  }
  return result;
}

TEST_F(GaussPeak, ProgramGivesTheExpectedStdoutAndExitStatus) {
  if (::access(test::BinaryPath("calvane-batch").c_str(), X_OK) != 0) {
    GTEST_SKIP() << "calvane-batch is not built in this build tree";
  }
  ProcessResult run = RunProgram(dir_.path(), kGaussArgs);
  EXPECT_EQ(std::to_string(run.status) + "\n", test::Fixture("gauss-peak/expected/exit-status.txt"))
      << ReadWholeFile(dir_.File("stderr.txt")).value_or("");
  EXPECT_EQ(run.out, test::Fixture("gauss-peak/expected/stdout.txt"));
  ExpectExampleFiles();

  ProcessResult help = RunProgram(dir_.path(), {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out, BatchUsage());
}

}  // namespace
}  // namespace calvane
