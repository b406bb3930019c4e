#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "app/app_state.h"
#include "engine/calculation_log.h"
#include "engine/progress_view.h"

namespace calvane {

// "YYYY/MM/DD hh:mm:ss" (19 characters, every part zero-padded) for a broken-down local time.
std::string FormatLocalTime(const std::tm& time);

// The source of the local time; tests inject a fixed one.
using LocalTimeSource = std::function<std::tm()>;
std::tm CurrentLocalTime();

// What the main thread does after the worker has ended, by exit code.
struct RunEndEffects {
  std::optional<WorkflowStateValue> workflow;  // the new workflow state, or none (unchanged)
  std::string_view status_line;  // the new main-window status line, or empty (unchanged)
  bool enable_save = false;      // enable the save-results command
  bool refresh_results = false;  // refresh the result display
};
// 0: state 3, "必要であれば計算結果を保存してください。", save, refresh; 1: state 1, nothing else;
// 2: state 2, "計算を実行してください。", save, refresh; any other: refresh only.
RunEndEffects EffectsOfExitCode(int exit_code);

// Result of the pause toggle: what the caller shows on the pause button and the status line.
enum class PauseToggle { kNothing, kPaused, kResumed };

// The run command's main-thread side, without windows: opens Calculation.ini, stamps the start
// time, sets the workflow state to 1, starts the worker on its own std::thread, offers pause,
// resume and abort through state.workflow, and at the end joins the worker, closes the log,
// stamps the end time and moves the workflow state by the exit code. The discard check and the
// clearing of the result fields stay with the caller (they are window matters).
// All member functions are called on the main thread; the view's calls come from the worker.
class CalculationDriver {
 public:
  CalculationDriver(AppState& state, ProgressView& view, LocalTimeSource clock = CurrentLocalTime);
  // Joins a worker that is still running (after requesting an abort).
  ~CalculationDriver();
  CalculationDriver(const CalculationDriver&) = delete;
  CalculationDriver& operator=(const CalculationDriver&) = delete;

  // Opens <working directory>/Calculation.ini (replaced whole), stamps the start time and sets
  // the workflow state to 1. Returns false, doing nothing else, when the log cannot be opened.
  bool Begin();
  // Resets StepCounter and CycleCounter and starts the worker thread. Call once after Begin.
  void StartWorker();
  // Resets the counters and runs the worker on the calling thread, for a caller that would only
  // wait for it (no event loop): a run then neither starts a thread nor waits to be woken by
  // one. Pause and abort work as with StartWorker, from another thread or a signal handler.
  // Call once after Begin, instead of StartWorker.
  void RunWorkerHere();
  // True once the worker has returned its exit code (safe to poll from the main thread).
  bool WorkerEnded() const { return ended_.load(std::memory_order_acquire); }
  // State 1 -> -1 (kPaused), -1 -> 1 (kResumed), any other: kNothing.
  PauseToggle TogglePause();
  // Sets the workflow state to -10; the worker ends with code 2 at its next check.
  void RequestAbort();
  // Waits for the worker to end (joins it); nothing else. Blocking: a caller with an event loop
  // waits until WorkerEnded() is true instead.
  void WaitForWorker();
  // Waits for the worker, closes the log, stamps the end time and applies the workflow state of
  // EffectsOfExitCode. Returns the exit code. The caller then refreshes results as the effects
  // say. Blocking: a Qt caller calls it once WorkerEnded() is true.
  int Finish();

  const std::string& start_time() const { return start_time_; }
  const std::string& end_time() const { return end_time_; }
  // False when a write to Calculation.ini failed during the run (known after Finish).
  bool log_ok() const { return log_ok_; }

 private:
  void ResetCounters();
  void Work();  // the worker's body: RunWorker, then the end flag

  AppState& state_;
  ProgressView& view_;
  LocalTimeSource clock_;
  CalculationLog log_;
  std::thread worker_;
  std::atomic<bool> ended_{false};
  int exit_code_ = -1;
  bool log_ok_ = true;
  std::string start_time_;
  std::string end_time_;
};

// The whole run command for a caller without an event loop (benchmarks, tests): Begin,
// RunWorkerHere, Finish. The caller may pause or abort meanwhile by writing state.workflow from
// another thread or a signal handler (a lock-free atomic store).
struct RunOutcome {
  bool log_opened = false;  // false: Calculation.ini could not be opened, nothing ran
  int exit_code = -1;
  std::string start_time;
  std::string end_time;
};
RunOutcome RunFit(AppState& state, ProgressView& view, LocalTimeSource clock = CurrentLocalTime);

}  // namespace calvane
