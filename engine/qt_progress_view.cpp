#include "engine/qt_progress_view.h"

#include <QMetaObject>

#include "base/base_messages.h"
#include "engine/progress_window.h"

namespace calvane {

QtProgressView::QtProgressView(QObject* parent) : QObject(parent) {}
QtProgressView::~QtProgressView() = default;

void QtProgressView::SetWindow(ProgressWindow* window) { window_ = window; }

void QtProgressView::Post(std::function<void(ProgressWindow&)> write) {
  QMetaObject::invokeMethod(
      this,
      [this, write = std::move(write)] {
        if (window_ != nullptr) write(*window_);
      },
      Qt::QueuedConnection);
}

void QtProgressView::PostText(int control_id, std::string_view text) {
  Post([control_id, copy = std::string(text)](ProgressWindow& window) {
    window.SetControlText(control_id, copy);
  });
}

void QtProgressView::SetStatusText(std::string_view text) {
  Post([copy = std::string(text)](ProgressWindow& window) { window.ShowWorkerStatus(copy); });
}
void QtProgressView::SetPhaseText(std::string_view text) { PostText(kPrgPhase, text); }
void QtProgressView::SetStepTotal(std::string_view text) { PostText(kPrgStepTotal, text); }
void QtProgressView::SetCycleTotal(std::string_view text) { PostText(kPrgCycleTotal, text); }
void QtProgressView::SetCycleSlash(std::string_view text) { PostText(kPrgCycleSlash, text); }
void QtProgressView::SetStepValue(std::string_view text) { PostText(kPrgStepValue, text); }
void QtProgressView::SetMessage(std::string_view text) { PostText(kPrgMessage, text); }

void QtProgressView::EnableButton(ProgressButton button, bool enabled) {
  const int id = button == ProgressButton::kPause ? kPrgPause
                 : button == ProgressButton::kOk  ? kPrgOk
                                                  : kPrgAbort;
  Post([id, enabled](ProgressWindow& window) { window.EnableControl(id, enabled); });
}

void QtProgressView::RefreshCounters(std::uint32_t step, std::uint32_t cycle) {
  step_.store(step, std::memory_order_relaxed);
  cycle_.store(cycle, std::memory_order_relaxed);
  // One queued refresh at a time: it shows whatever the latest values are when it lands.
  if (counters_queued_.exchange(true, std::memory_order_acq_rel)) return;
  Post([this](ProgressWindow& window) {
    counters_queued_.store(false, std::memory_order_release);
    window.ShowCounters(step_.load(std::memory_order_relaxed),
                        cycle_.load(std::memory_order_relaxed));
  });
}

void QtProgressView::ShowConditionError() {
  Post([](ProgressWindow& window) { window.ShowConditionError(); });
}

void QtProgressView::StopTimer() {
  Post([](ProgressWindow& window) { window.StopTimer(); });
}

void QtProgressView::Beep() {
  Post([](ProgressWindow& window) { window.Beep(); });
}

void QtProgressView::ShowErrorBox(std::string_view text, std::string_view caption) {
  QMetaObject::invokeMethod(
      this,
      [this, copy = std::string(text), title = std::string(caption)] {
        if (prompter_ != nullptr) prompter_->Show(copy, title, WindowId::kMain);
      },
      Qt::QueuedConnection);
}

void QtProgressView::ShowPauseSnapshot(const PauseSnapshot& snapshot) {
  // The snapshot stays valid while this thread waits below.
  QMetaObject::invokeMethod(
      this,
      [this, &snapshot] {
        if (snapshot_handler_) snapshot_handler_(snapshot);
        snapshot_shown_.release();
      },
      Qt::QueuedConnection);
  snapshot_shown_.acquire();
}

}  // namespace calvane
