#pragma once

#include <QObject>
#include <QPointer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <semaphore>
#include <string>
#include <string_view>

#include "base/prompter.h"
#include "engine/progress_view.h"

namespace calvane {

class ProgressWindow;

// The worker's ProgressView in the windows. Lives on the main thread; every call from the worker
// is posted to the main thread (queued) and carried out there on the progress window, so the
// worker never waits for a main thread that may itself be waiting for it. Counter refreshes are
// coalesced: at most one is queued at a time and it shows the latest values. The one call that
// waits is the pause snapshot: the worker blocks on a semaphore that the main thread releases
// after it has shown the reached point through the snapshot handler.
class QtProgressView : public QObject, public ProgressView {
  Q_OBJECT

 public:
  explicit QtProgressView(QObject* parent = nullptr);
  ~QtProgressView() override;

  // Main thread. The window the writes land in (writes arriving while none is set are dropped).
  void SetWindow(ProgressWindow* window);
  // Main thread, before the worker starts. Shows the pause snapshot (the main window's result
  // display and graph); called on the main thread while the worker waits.
  void SetSnapshotHandler(std::function<void(const PauseSnapshot&)> handler) {
    snapshot_handler_ = std::move(handler);
  }
  // Main thread, before the worker starts. Where the evaluator's error boxes go.
  void SetPrompter(Prompter* prompter) { prompter_ = prompter; }

  // ProgressView, called on the worker thread.
  void SetStatusText(std::string_view text) override;
  void SetPhaseText(std::string_view text) override;
  void SetStepTotal(std::string_view text) override;
  void SetCycleTotal(std::string_view text) override;
  void SetCycleSlash(std::string_view text) override;
  void SetStepValue(std::string_view text) override;
  void SetMessage(std::string_view text) override;
  void EnableButton(ProgressButton button, bool enabled) override;
  void RefreshCounters(std::uint32_t step, std::uint32_t cycle) override;
  void ShowConditionError() override;
  void StopTimer() override;
  void Beep() override;
  void ShowErrorBox(std::string_view text, std::string_view caption) override;
  void ShowPauseSnapshot(const PauseSnapshot& snapshot) override;

 private:
  // Queues `write` to run on the main thread against the window, if one is set by then.
  void Post(std::function<void(ProgressWindow&)> write);
  void PostText(int control_id, std::string_view text);

  QPointer<ProgressWindow> window_;
  std::function<void(const PauseSnapshot&)> snapshot_handler_;
  Prompter* prompter_ = nullptr;
  std::atomic<bool> counters_queued_{false};
  std::atomic<std::uint32_t> step_{0};
  std::atomic<std::uint32_t> cycle_{0};
  std::binary_semaphore snapshot_shown_{0};
};

}  // namespace calvane
