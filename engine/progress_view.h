#pragma once

#include <cstdint>
#include <string_view>

#include "engine/engine_messages.h"
#include "formula/compiled_formula.h"
#include "formula/evaluator.h"

namespace calvane {

// The three buttons of the progress window.
enum class ProgressButton { kPause, kOk, kAbort };

// The point a paused run has reached, handed to the main thread for display.
struct PauseSnapshot {
  // The reached value of every constant, by constant index (0..variable_count-1); the slots
  // beyond variable_count hold CurrentValue as it stands.
  const double* values = nullptr;
  int variable_count = 0;
  std::uint32_t step = 0;
  std::uint32_t cycle = 0;
  // The worker's compiled formula; its paramValue holds the reached point. The main thread may
  // read it (CompiledFormula::CopyFrom into its own copy) only during ShowPauseSnapshot.
  const CompiledFormula* formula = nullptr;
};

// Everything the worker shows while a run goes on: the texts and buttons of the progress window,
// its counters, the message area and the pause snapshot. All calls come from the worker thread
// (or from whichever thread runs the worker), in the order the run makes them.
//
// Implementations must not block waiting for the main thread in any call except
// ShowPauseSnapshot: the Qt window posts each write to the main thread (queued), the batch
// driver prints, tests record. Texts are UTF-8 and final.
class ProgressView {
 public:
  virtual ~ProgressView() = default;

  // The status line ("ただいま計算しています。", "完了しました。", ...).
  virtual void SetStatusText(std::string_view text) = 0;
  // The phase text ("--- 概略推測フェーズ ---", "--- 最小二乗計算フェーズ ---", or empty).
  virtual void SetPhaseText(std::string_view text) = 0;
  // The step total and the cycle total (decimal text, the cycle total may be empty).
  virtual void SetStepTotal(std::string_view text) = 0;
  virtual void SetCycleTotal(std::string_view text) = 0;
  // The slash between the cycle value and the cycle total ("/" or empty).
  virtual void SetCycleSlash(std::string_view text) = 0;
  // The step value, written directly at completion (otherwise RefreshCounters writes it).
  virtual void SetStepValue(std::string_view text) = 0;
  // Replaces the text of the message area. A two-part message arrives joined by one "\r".
  virtual void SetMessage(std::string_view text) = 0;
  virtual void EnableButton(ProgressButton button, bool enabled) = 0;
  // Shows the step and cycle counters (the window also refreshes them on its own timer).
  virtual void RefreshCounters(std::uint32_t step, std::uint32_t cycle) = 0;
  // The condition-error display: OK enabled, pause and abort disabled, status "計算条件エラー",
  // phase text emptied, timer stopped. The worker has already written the message.
  virtual void ShowConditionError() = 0;
  // Completion: the window's timer stops (the blinking line and the timed refresh end).
  virtual void StopTimer() = 0;
  // The default system beep at completion.
  virtual void Beep() = 0;
  // A message box that the evaluator raises for an operation code it does not know (caption
  // "エラー", owner the main window). Must not block the worker.
  virtual void ShowErrorBox(std::string_view text, std::string_view caption) = 0;
  // The pause snapshot: the main thread shows the reached point (result display with the
  // provisional mark and a graph repaint). Returns only after the main thread has done so; the
  // worker waits meanwhile and touches nothing. The snapshot is valid only during the call.
  virtual void ShowPauseSnapshot(const PauseSnapshot& snapshot) = 0;
};

// A view that shows nothing: for runs without a window (benchmarks, tests); the pause snapshot
// returns at once. Override what a caller needs to see.
class SilentProgressView : public ProgressView {
 public:
  void SetStatusText(std::string_view) override {}
  void SetPhaseText(std::string_view) override {}
  void SetStepTotal(std::string_view) override {}
  void SetCycleTotal(std::string_view) override {}
  void SetCycleSlash(std::string_view) override {}
  void SetStepValue(std::string_view) override {}
  void SetMessage(std::string_view) override {}
  void EnableButton(ProgressButton, bool) override {}
  void RefreshCounters(std::uint32_t, std::uint32_t) override {}
  void ShowConditionError() override {}
  void StopTimer() override {}
  void Beep() override {}
  void ShowErrorBox(std::string_view, std::string_view) override {}
  void ShowPauseSnapshot(const PauseSnapshot&) override {}
};

// Routes the evaluator's messages to a ProgressView: domain errors to the message area, the
// unknown operation code to an error box. Called on the thread that evaluates.
class ProgressViewMessages final : public FormulaMessages {
 public:
  explicit ProgressViewMessages(ProgressView& view) : view_(view) {}
  void EvaluationError(std::string_view text) override { view_.SetMessage(text); }
  void UnregisteredOperator(std::string_view text) override {
    view_.ShowErrorBox(text, text::kCaptionError);
  }

 private:
  ProgressView& view_;
};

}  // namespace calvane
