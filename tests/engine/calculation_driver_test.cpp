#include "engine/calculation_driver.h"

#include <sched.h>

#include <cmath>
#include <condition_variable>
#include <mutex>

#include <gtest/gtest.h>

#include "engine/run_resources.h"
#include "engine/worker.h"
#include "tests/engine/engine_test_support.h"

namespace calvane {
namespace {

using test::FitSetup;
using test::RecordingProgressView;

std::tm FixedTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm time{};
  time.tm_year = year - 1900;
  time.tm_mon = month - 1;
  time.tm_mday = day;
  time.tm_hour = hour;
  time.tm_min = minute;
  time.tm_sec = second;
  return time;
}

TEST(FormatLocalTime, NineteenCharactersZeroPadded) {
  EXPECT_EQ(FormatLocalTime(FixedTime(2026, 1, 2, 3, 4, 5)), "2026/01/02 03:04:05");
  EXPECT_EQ(FormatLocalTime(FixedTime(1999, 12, 31, 23, 59, 59)), "1999/12/31 23:59:59");
  EXPECT_EQ(FormatLocalTime(FixedTime(2026, 10, 10, 0, 0, 0)), "2026/10/10 00:00:00");
}

TEST(EffectsOfExitCode, WorkflowStatusAndSaveByExitCode) {
  const RunEndEffects completed = EffectsOfExitCode(0);
  EXPECT_EQ(completed.workflow,
            std::optional<WorkflowStateValue>(WorkflowStateValue::kCompletedResults));
  EXPECT_EQ(completed.status_line, "必要であれば計算結果を保存してください。");
  EXPECT_TRUE(completed.enable_save);
  EXPECT_TRUE(completed.refresh_results);

  const RunEndEffects condition_error = EffectsOfExitCode(1);
  EXPECT_EQ(condition_error.workflow,
            std::optional<WorkflowStateValue>(WorkflowStateValue::kDataLoaded));
  EXPECT_TRUE(condition_error.status_line.empty());
  EXPECT_FALSE(condition_error.enable_save);
  EXPECT_FALSE(condition_error.refresh_results);

  const RunEndEffects stopped = EffectsOfExitCode(2);
  EXPECT_EQ(stopped.workflow,
            std::optional<WorkflowStateValue>(WorkflowStateValue::kStoppedResults));
  EXPECT_EQ(stopped.status_line, "計算を実行してください。");
  EXPECT_TRUE(stopped.enable_save);
  EXPECT_TRUE(stopped.refresh_results);

  const RunEndEffects other = EffectsOfExitCode(259);
  EXPECT_FALSE(other.workflow.has_value());
  EXPECT_TRUE(other.status_line.empty());
  EXPECT_FALSE(other.enable_save);
  EXPECT_TRUE(other.refresh_results);
}

// A fit with two constants and several steps, long enough to pause in.
void PrepareLineFit(FitSetup& setup) {
  for (int i = 0; i < 20; ++i) setup.AddPoint(i * 0.5, 1.7 * i * 0.5 - 0.3 + (i % 3) * 0.01);
  setup.SetTexts(0, "1", "-10", "10", "0.0001");
  setup.SetTexts(1, "0", "-10", "10", "0.0001");
}

LocalTimeSource Clock(std::vector<std::tm> times) {
  auto shared = std::make_shared<std::vector<std::tm>>(std::move(times));
  auto next = std::make_shared<std::size_t>(0);
  return [shared, next] { return (*shared)[(*next)++ % shared->size()]; };
}

TEST(RunFit, StampsTimesAndMovesTheWorkflowStateByExitCode) {
  FitSetup setup("k0*x+k1");
  PrepareLineFit(setup);
  RecordingProgressView view;
  const RunOutcome outcome = RunFit(
      setup.state(), view, Clock({FixedTime(2026, 3, 4, 5, 6, 7), FixedTime(2026, 3, 4, 5, 6, 9)}));
  EXPECT_TRUE(outcome.log_opened);
  EXPECT_EQ(outcome.exit_code, kWorkerCompleted);
  EXPECT_EQ(outcome.start_time, "2026/03/04 05:06:07");
  EXPECT_EQ(outcome.end_time, "2026/03/04 05:06:09");
  EXPECT_EQ(setup.state().workflow.load(), WorkflowStateValue::kCompletedResults);
  EXPECT_NEAR(setup.state().engine.CurrentValue[0], 1.7, 0.01);
}

TEST(RunFit, ConditionErrorAndOverflowSetTheirWorkflowStates) {
  FitSetup missing("k0*x");
  missing.AddPoint(1.0, 1.0);
  missing.SetTexts(0, "1", "", "10", "0.1");
  RecordingProgressView view;
  EXPECT_EQ(RunFit(missing.state(), view).exit_code, kWorkerConditionError);
  EXPECT_EQ(missing.state().workflow.load(), WorkflowStateValue::kDataLoaded);

  FitSetup overflow("k0*x");
  overflow.AddPoint(1.0, 1e150);
  overflow.SetTexts(0, "1", "0", "10", "0.1");
  RecordingProgressView overflow_view;
  EXPECT_EQ(RunFit(overflow.state(), overflow_view).exit_code, kWorkerStopped);
  EXPECT_EQ(overflow.state().workflow.load(), WorkflowStateValue::kStoppedResults);
}

TEST(RunFit, CalculationLogIsReplacedWhole) {
  FitSetup setup("k0*x");
  setup.AddPoint(1.0, 3.0);
  setup.SetTexts(0, "0", "0", "100", "1");
  ASSERT_TRUE(WriteWholeFile(setup.dir().File("Calculation.ini"), std::string(5000, '#')));
  RecordingProgressView view;
  ASSERT_EQ(RunFit(setup.state(), view).exit_code, kWorkerCompleted);
  const std::string log = setup.ReadFile("Calculation.ini");
  EXPECT_EQ(log.find('#'), std::string::npos);
  EXPECT_LT(log.size(), 400u);
  EXPECT_EQ(log.substr(log.size() - 22), "--------------------\r\n");
}

TEST(RunFit, LogThatCannotBeOpenedRunsNothing) {
  FitSetup setup("k0*x");
  setup.AddPoint(1.0, 3.0);
  setup.SetTexts(0, "0", "0", "100", "1");
  setup.state().working_directory = setup.dir().File("missing-folder");
  setup.state().workflow.store(WorkflowStateValue::kCompletedResults);
  RecordingProgressView view;
  const RunOutcome outcome = RunFit(setup.state(), view);
  EXPECT_FALSE(outcome.log_opened);
  EXPECT_TRUE(view.calls.empty());
  EXPECT_EQ(setup.state().workflow.load(), WorkflowStateValue::kCompletedResults);
}

// The main thread's side of a threaded run: a view whose counter refresh at the first step and
// whose pause snapshot hand control to the test thread and wait for it, as the progress window
// would carry them out. No sleeps: each side waits on the other's signal.
class HandshakeView : public RecordingProgressView {
 public:
  HandshakeView() {
    on_counters = [this](std::uint32_t step, std::uint32_t) {
      if (step != 1 || step_one_seen_) return;
      step_one_seen_ = true;
      Signal(at_step_one_);
      Await(step_one_released_);
    };
    on_snapshot = [this](const PauseSnapshot& snapshot) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        snapshot_values_.assign(snapshot.values, snapshot.values + snapshot.variable_count);
      }
      Signal(snapshot_arrived_);
      Await(snapshot_shown_);
    };
  }

  void WaitAtStepOne() { Await(at_step_one_); }
  void ReleaseStepOne() { Signal(step_one_released_); }
  std::vector<double> WaitForSnapshot() {
    Await(snapshot_arrived_);
    std::lock_guard<std::mutex> lock(mutex_);
    return snapshot_values_;
  }
  void SnapshotShown() { Signal(snapshot_shown_); }

 private:
  void Signal(bool& flag) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      flag = true;
    }
    changed_.notify_all();
  }
  void Await(bool& flag) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return flag; });
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  bool step_one_seen_ = false;  // worker thread only
  bool at_step_one_ = false;
  bool step_one_released_ = false;
  bool snapshot_arrived_ = false;
  bool snapshot_shown_ = false;
  std::vector<double> snapshot_values_;
};

TEST(CalculationDriver, PauseAndResumeFromAnotherThreadLeaveTheSearchUnchanged) {
  FitSetup reference("k0*x+k1");
  PrepareLineFit(reference);
  RecordingProgressView reference_view;
  ASSERT_EQ(RunFit(reference.state(), reference_view).exit_code, kWorkerCompleted);

  FitSetup setup("k0*x+k1");
  PrepareLineFit(setup);
  HandshakeView view;
  CalculationDriver driver(setup.state(), view);
  ASSERT_TRUE(driver.Begin());
  driver.StartWorker();
  view.WaitAtStepOne();
  EXPECT_EQ(driver.TogglePause(), PauseToggle::kPaused);
  EXPECT_EQ(setup.state().workflow.load(), WorkflowStateValue::kPaused);
  view.ReleaseStepOne();
  const std::vector<double> shown = view.WaitForSnapshot();
  view.SnapshotShown();
  EXPECT_EQ(driver.TogglePause(), PauseToggle::kResumed);
  EXPECT_EQ(driver.Finish(), kWorkerCompleted);
  EXPECT_TRUE(driver.WorkerEnded());

  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(view.snapshots.size(), 1u);
  EXPECT_EQ(setup.state().workflow.load(), WorkflowStateValue::kCompletedResults);
  for (int v = 0; v < 2; ++v) {
    EXPECT_EQ(setup.state().engine.CurrentValue[v], reference.state().engine.CurrentValue[v]);
  }
  EXPECT_EQ(setup.ReadFile("Calculation.ini"), reference.ReadFile("Calculation.ini"));
}

TEST(CalculationDriver, AbortWhilePausedCommitsTheReachedPoint) {
  FitSetup setup("k0*x+k1");
  PrepareLineFit(setup);
  HandshakeView view;
  CalculationDriver driver(setup.state(), view);
  ASSERT_TRUE(driver.Begin());
  driver.StartWorker();
  view.WaitAtStepOne();
  driver.TogglePause();
  view.ReleaseStepOne();
  const std::vector<double> shown = view.WaitForSnapshot();
  view.SnapshotShown();
  driver.RequestAbort();
  EXPECT_EQ(driver.TogglePause(), PauseToggle::kNothing);
  EXPECT_EQ(driver.Finish(), kWorkerStopped);
  EXPECT_EQ(setup.state().workflow.load(), WorkflowStateValue::kStoppedResults);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(setup.state().engine.CurrentValue[0], shown[0]);
  EXPECT_EQ(setup.state().engine.CurrentValue[1], shown[1]);
  // The log stops after the preparation and the phase heading: no step was completed.
  const std::string log = setup.ReadFile("Calculation.ini");
  const std::string heading = Cp932("最小二乗計算フェーズ----------\r\n");
  ASSERT_GT(log.size(), heading.size());
  EXPECT_EQ(log.substr(log.size() - heading.size()), heading);
  EXPECT_EQ(log.find(Cp932("ステップ")), std::string::npos);
}

// Each run of the window starts a worker thread of its own; the state's runs hand their sums'
// workers and helper thread from one worker thread to the next. 1500 points: two-thread sums.
TEST(CalculationDriver, RunsOnSuccessiveWorkerThreadsGiveTheBytesOfAFreshRun) {
  auto prepare = [](FitSetup& setup) {
    setup.SetTexts(0, "2", "-10", "10", "0.0001");
    setup.SetTexts(1, "0.2", "-10", "10", "0.0001");
    setup.SetTexts(2, "1", "0.01", "10", "0.0001");
    setup.state().conditions.roughEstimation = 1;
  };
  auto fill = [](FitSetup& setup) {
    for (int i = 0; i < 1500; ++i) {
      const double x = -3.0 + 0.004 * i;
      setup.AddPoint(x, 3.0 * std::exp(-(x - 0.5) * (x - 0.5) / 2.0) + (i % 7) * 0.002);
    }
  };
  FitSetup reference("k0*Exp(-(x-k1)^2/k2)");
  fill(reference);
  prepare(reference);
  RecordingProgressView reference_view;
  ASSERT_EQ(RunFit(reference.state(), reference_view).exit_code, kWorkerCompleted);

  FitSetup setup("k0*Exp(-(x-k1)^2/k2)");
  fill(setup);
  for (int run = 0; run < 3; ++run) {
    prepare(setup);
    RecordingProgressView view;
    CalculationDriver driver(setup.state(), view);
    ASSERT_TRUE(driver.Begin());
    driver.StartWorker();
    EXPECT_EQ(driver.Finish(), kWorkerCompleted);
    EXPECT_EQ(setup.ReadFile("Calculation.ini"), reference.ReadFile("Calculation.ini"));
    for (int v = 0; v < 3; ++v) {
      EXPECT_EQ(setup.state().engine.CurrentValue[v], reference.state().engine.CurrentValue[v]);
    }
  }
}

// A run whose worker may run on one processor only makes every sum on that thread: two threads
// would take turns on the processor, each hand-over waiting for the other's time slice. The same
// fit on every processor there is sums on two; both leave the same bytes.
TEST(CalculationDriver, OnOneProcessorTheSumsStayOnTheWorkerThread) {
  cpu_set_t all;
  ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
  int first_cpu = 0;
  while (!CPU_ISSET(first_cpu, &all)) ++first_cpu;
  FitSetup setup("k0*Exp(-(x-k1)^2/k2)");
  for (int i = 0; i < 1500; ++i) {
    const double x = -3.0 + 0.004 * i;
    setup.AddPoint(x, 3.0 * std::exp(-(x - 0.5) * (x - 0.5) / 2.0) + (i % 5) * 0.003);
  }
  std::string one_processor_log;
  for (const bool one_processor : {true, false}) {
    SCOPED_TRACE(one_processor ? "one processor" : "every processor");
    if (!one_processor && CPU_COUNT(&all) < 2) GTEST_SKIP() << "this machine has one processor";
    setup.SetTexts(0, "2", "-10", "10", "0.0001");
    setup.SetTexts(1, "0.2", "-10", "10", "0.0001");
    setup.SetTexts(2, "1", "0.01", "10", "0.0001");
    cpu_set_t use = all;
    if (one_processor) {
      CPU_ZERO(&use);
      CPU_SET(first_cpu, &use);
    }
    // The worker thread inherits this thread's affinity.
    ASSERT_EQ(sched_setaffinity(0, sizeof use, &use), 0);
    RecordingProgressView view;
    CalculationDriver driver(setup.state(), view);
    ASSERT_TRUE(driver.Begin());
    driver.StartWorker();
    const int exit_code = driver.Finish();
    ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
    ASSERT_EQ(exit_code, kWorkerCompleted);
    const SumWorkers* sums = RunResourcesOf(setup.state())->sums();
    ASSERT_NE(sums, nullptr);
    if (one_processor) {
      EXPECT_EQ(sums->TwoThreadSums(), 0u);
      one_processor_log = setup.ReadFile("Calculation.ini");
    } else {
      EXPECT_GT(sums->TwoThreadSums(), 0u);
      EXPECT_EQ(setup.ReadFile("Calculation.ini"), one_processor_log);
    }
  }
}

TEST(CalculationDriver, AbortDuringTheRoughPhaseKeepsTheInitialValues) {
  FitSetup setup("k0*x+k1");
  PrepareLineFit(setup);
  setup.state().conditions.roughEstimation = 1;
  HandshakeView view;  // the rough phase refreshes the counters at step 1 as well
  CalculationDriver driver(setup.state(), view);
  ASSERT_TRUE(driver.Begin());
  driver.StartWorker();
  view.WaitAtStepOne();
  driver.RequestAbort();
  view.ReleaseStepOne();
  EXPECT_EQ(driver.Finish(), kWorkerStopped);
  EXPECT_EQ(setup.state().engine.CurrentValue[0], 1.0);
  EXPECT_EQ(setup.state().engine.CurrentValue[1], 0.0);
  EXPECT_TRUE(view.snapshots.empty());
}

}  // namespace
}  // namespace calvane
