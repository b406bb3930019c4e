// A storm of graph repaints on the main thread against a running worker, through pause, resume,
// a second pause and an abort while paused. The graph must never read the formula the worker
// evaluates: under ThreadSanitizer any such read is a reported race. The worker's view hands its
// pause snapshot to the main thread and waits on a semaphore, as the windows' view does.

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <mutex>
#include <semaphore>

#include "app/headless_main_view.h"
#include "app/run_commands.h"
#include "engine/worker.h"
#include "tests/engine/run_state_support.h"
#include "tests/support/recording_prompter.h"
#include "tests/support/temp_dir.h"

namespace calvane {
namespace {

// Writes go nowhere; the snapshot is carried out by the main thread's loop.
class HandOffView : public SilentProgressView {
 public:
  void ShowPauseSnapshot(const PauseSnapshot& snapshot) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      tasks_.push_back([this, &snapshot] {
        if (on_snapshot) on_snapshot(snapshot);
        shown_.release();
      });
    }
    shown_.acquire();
  }

  // Main thread: carries out what the worker has handed over.
  void RunPending() {
    std::deque<std::function<void()>> tasks;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      tasks.swap(tasks_);
    }
    for (auto& task : tasks) task();
  }

  std::function<void(const PauseSnapshot&)> on_snapshot;

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> tasks_;
  std::binary_semaphore shown_{0};
};

// Cycles done so far: steps and cycles of the worker, as one growing number.
std::uint64_t Cycles(const AppState& state) {
  return (std::uint64_t{state.engine.StepCounter.load()} << 32) | state.engine.CycleCounter.load();
}

TEST(PauseRepaintStorm, GraphNeverReadsTheWorkersFormula) {
  test::TempDir dir;
  std::unique_ptr<AppState> state = test::RunnableState(dir.path(), "k0*x+k1", 30000);
  AppState& s = *state;
  test::RecordingPrompter prompter;
  HeadlessMainView view(s, prompter);
  HandOffView progress;
  RunRecord record;
  GraphScale graph;
  RunCommandFlow flow(s, view, progress, record, &graph);
  int snapshots = 0;
  progress.on_snapshot = [&](const PauseSnapshot& snapshot) {
    flow.ShowPauseSnapshot(snapshot);
    ++snapshots;
  };

  ASSERT_EQ(flow.Begin(), RunRefusal::kNone);
  CalculationDriver& driver = flow.driver();
  driver.StartWorker();
  // Pause at once, resume after the snapshot, pause again, abort while paused; paint all along.
  enum class Stage { kFirstPause, kResumed, kSecondPause, kAborted } stage = Stage::kFirstPause;
  ASSERT_EQ(driver.TogglePause(), PauseToggle::kPaused);
  int paints = 0;
  int curves = 0;
  int paints_since_resume = 0;
  std::uint64_t cycle_at_resume = 0;
  while (!driver.WorkerEnded()) {
    const GraphPlan& plan = graph.Compute(s, 566, 459);
    ++paints;
    if (plan.draw_curve) ++curves;
    progress.RunPending();
    switch (stage) {
      case Stage::kFirstPause:
        if (snapshots == 1) {
          ASSERT_EQ(driver.TogglePause(), PauseToggle::kResumed);
          cycle_at_resume = Cycles(s);
          stage = Stage::kResumed;
        }
        break;
      case Stage::kResumed:
        // The worker has to see the resume (it looks every few milliseconds) before the next
        // pause can make a second snapshot.
        if (++paints_since_resume >= 20 && Cycles(s) != cycle_at_resume) {
          ASSERT_EQ(driver.TogglePause(), PauseToggle::kPaused);
          stage = Stage::kSecondPause;
        }
        break;
      case Stage::kSecondPause:
        if (snapshots == 2) {
          driver.RequestAbort();
          stage = Stage::kAborted;
        }
        break;
      case Stage::kAborted:
        break;
    }
  }
  progress.RunPending();
  EXPECT_EQ(flow.Finish(), kWorkerStopped);
  EXPECT_EQ(stage, Stage::kAborted);
  EXPECT_EQ(snapshots, 2);
  EXPECT_GT(curves, 0);  // the paused graph drew the snapshot's curve
  EXPECT_GT(paints, curves);
  EXPECT_EQ(s.workflow.load(), WorkflowStateValue::kStoppedResults);
  // After the run the graph reads the shared formula again, at the committed point.
  EXPECT_FALSE(graph.holding());
  EXPECT_EQ(graph.Compute(s, 566, 459).curve.size(), static_cast<std::size_t>(kCurveColumns));
}

}  // namespace
}  // namespace calvane
