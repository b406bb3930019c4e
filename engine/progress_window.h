#pragma once

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>
#include <string_view>

#include "app/app_state.h"
#include "base/qt_modal_run.h"
#include "engine/calculation_driver.h"

namespace calvane {

class QtProgressView;

// Control ids of the progress window.
enum ProgressControlId : int {
  kPrgStatus = 1000,
  kPrgPhase = 1002,
  kPrgBlink = 1013,
  kPrgStepLabel = 1015,
  kPrgCycleLabel = 1016,
  kPrgStepSlash = 1017,
  kPrgCycleSlash = 1018,
  kPrgPause = 1034,
  kPrgOk = 1035,
  kPrgMessage = 1036,
  kPrgAbort = 1037,
  kPrgStepTotal = 1038,
  kPrgCycleTotal = 1039,
  kPrgCycleValue = 1040,
  kPrgStepValue = 1041,
};

// The progress window "計算中" of one run. Its creation starts the 1500 ms timer and the worker
// (through `driver`, whose Begin has run), after pointing `view` at it so that the worker's
// writes land here. The timer blinks the line of asterisks and shows the counters; the buttons
// pause and resume, abort (the window waits for the worker with the event loop running, so the
// worker's queued writes can always land, then ends with 1) and, once the run has ended, OK
// (ends with 0). A close request is ignored until OK is enabled. Main thread.
class ProgressWindow : public ModalWindow {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 307;
  static constexpr int kClientHeight = 257;
  static constexpr int kTimerMs = 1500;

  // `start_worker` false leaves the worker to the caller (tests that play the worker's part).
  ProgressWindow(AppState& state, CalculationDriver& driver, QtProgressView& view, QWidget* owner,
                 bool start_worker = true);
  ~ProgressWindow() override;

  // The control `id` (a QLabel or a QPushButton), or null.
  QWidget* Control(int id) const;
  QString ControlText(int id) const;

  // The worker's writes, carried out here on the main thread.
  void SetControlText(int id, std::string_view text);
  // The worker's status text. Its "calculating" arrives queued and may land after the user has
  // paused or aborted: it then leaves the pause's or the abort's status in place.
  void ShowWorkerStatus(std::string_view text);
  void EnableControl(int id, bool enabled);
  void ShowCounters(std::uint32_t step, std::uint32_t cycle);
  void ShowConditionError();
  void StopTimer();
  void Beep();

  // Replaces the system beep (tests count it).
  void SetBeeper(std::function<void()> beeper) { beeper_ = std::move(beeper); }
  bool timer_active() const { return timer_.isActive(); }

 public slots:
  void Tick();
  void TogglePause();
  void Abort();
  void Ok();

 protected:
  void CloseRequested() override;

 private:
  void CreateControls();
  void WaitForAbort();

  AppState& state_;
  CalculationDriver& driver_;
  QtProgressView& view_;
  std::map<int, QLabel*> labels_;
  std::map<int, QPushButton*> buttons_;
  QTimer timer_;
  QTimer abort_wait_;
  std::function<void()> beeper_;
};

}  // namespace calvane
