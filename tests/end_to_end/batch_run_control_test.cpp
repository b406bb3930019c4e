// Pausing and aborting a calvane-batch run from another thread, and SIGINT as the abort button.
// Every hand-over waits for an event (a line the run prints), never for a timer.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/end_to_end/batch_test_support.h"
#include "tests/support/temp_dir.h"

namespace calvane {
namespace {

using test::CapturedOutput;

const std::vector<std::string> kGaussArgs = {
    "--data", "gauss.csv",     "--x",          "1",         "--y",      "2",         "--start",
    "2",      "--to-last-row", "--conditions", "gauss.ccn", "--report", "result.frs"};

constexpr std::string_view kRoughPhaseLine = "計算中: --- 概略推測フェーズ ---";
constexpr std::string_view kLeastSquaresLine = "計算中: --- 最小二乗計算フェーズ ---";

// A one-shot gate: the worker, inside a progress line, waits until the controller has acted.
class Gate {
 public:
  void Open() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      open_ = true;
    }
    cv_.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool open_ = false;
};

class RunControl : public ::testing::Test {
 protected:
  void SetUp() override {
    test::CopyFixture("gauss-peak/gauss.csv", dir_.path(), "gauss.csv");
    test::CopyFixture("gauss-peak/gauss.ccn", dir_.path(), "gauss.ccn");
  }

  // Holds the worker inside the progress line `line` until `acted` opens, after telling the
  // controller through `reached`.
  void HoldWorkerAt(CapturedOutput& output, std::string_view line, Gate& reached, Gate& acted) {
    output.OnErr([line, &reached, &acted](std::string_view written) {
      if (written == line) {
        reached.Open();
        acted.Wait();
      }
    });
  }

  // A stopped run: exit 2, every used value and R^2 marked on stdout and in the report, unused
  // constants plain, and a log that is the beginning of the completed run's log.
  void ExpectStoppedRun(int exit_code, const CapturedOutput& output) {
    EXPECT_EQ(exit_code, 2) << output.ErrText();
    std::vector<std::string> lines = output.out();
    ASSERT_EQ(lines.size(), 11u) << output.ErrText();
    for (int k = 0; k < 10; ++k) {
      const std::string& line = lines[static_cast<std::size_t>(k)];
      EXPECT_EQ(line.substr(0, 4), "k" + std::to_string(k) + ", ");
      if (k < 3) {
        EXPECT_EQ(line.substr(line.size() - 2), " *") << line;
      } else {
        EXPECT_EQ(line, "k" + std::to_string(k) + ", ---");
      }
    }
    EXPECT_EQ(lines[10].substr(0, 5), "R^2, ");
    EXPECT_EQ(lines[10].substr(lines[10].size() - 2), " *");
    std::string report = ReadWholeFile(dir_.File("result.frs")).value_or("");
    for (const std::string& line : lines) {
      EXPECT_NE(report.find("\r\n" + line + "\r\n"), std::string::npos) << line;
    }
    std::string log = ReadWholeFile(dir_.File("Calculation.ini")).value_or("");
    std::string full = test::Fixture("gauss-peak/expected/Calculation.ini");
    EXPECT_LT(log.size(), full.size());
    EXPECT_EQ(full.substr(0, log.size()), log) << "the stopped run's log is not the beginning "
                                                  "of the completed run's log";
  }

  test::TempDir dir_;
};

TEST_F(RunControl, PauseShowsTheReachedPointAndAbortWhilePausedStopsTheRun) {
  CapturedOutput output;
  Gate phase_reached, paused;
  HoldWorkerAt(output, kLeastSquaresLine, phase_reached, paused);
  std::thread controller;
  BatchHooks hooks;
  hooks.run_started = [&](WorkflowState& workflow) {
    controller = std::thread([&] {
      phase_reached.Wait();
      workflow.store(WorkflowStateValue::kPaused);
      paused.Open();
      // The worker stops between two variables and shows where it stands.
      output.WaitForErr("計算中: 計算停止しています。");
      output.WaitForErr("Calvane: k2, ");
      EXPECT_EQ(workflow.load(), WorkflowStateValue::kPaused)
          << "the pause must hold until someone ends it";
      workflow.store(WorkflowStateValue::kAbortRequested);
    });
  };
  hooks.run_finished = [&] { controller.join(); };
  int exit_code = test::RunBatchIn(dir_.path(), kGaussArgs, output, hooks);
  ExpectStoppedRun(exit_code, output);
  // The snapshot showed the provisional values of all three constants.
  for (const char* k : {"Calvane: k0, ", "Calvane: k1, ", "Calvane: k2, "}) {
    EXPECT_TRUE(output.ErrContains(k)) << k;
  }
  EXPECT_FALSE(output.ErrContains("計算中: 完了しました。"));
}

TEST_F(RunControl, InterruptSignalActsAsTheAbortButtonInEitherPhase) {
  InstallInterruptHandler();
  for (std::string_view phase_line : {kRoughPhaseLine, kLeastSquaresLine}) {
    SCOPED_TRACE(std::string(phase_line));
    ::unlink(dir_.File("result.frs").c_str());
    CapturedOutput output;
    Gate phase_reached, interrupted;
    HoldWorkerAt(output, phase_line, phase_reached, interrupted);
    std::thread controller;
    BatchHooks hooks;
    hooks.run_started = [&](WorkflowState& workflow) {
      controller = std::thread([&] {
        phase_reached.Wait();
        // raise() runs the handler on this thread before it returns.
        ::raise(SIGINT);
        EXPECT_EQ(workflow.load(), WorkflowStateValue::kAbortRequested);
        interrupted.Open();
      });
    };
    hooks.run_finished = [&] { controller.join(); };
    int exit_code = test::RunBatchIn(dir_.path(), kGaussArgs, output, hooks);
    ExpectStoppedRun(exit_code, output);
  }
}

}  // namespace
}  // namespace calvane
