#include "engine/progress_window.h"

#include <QApplication>
#include <array>

#include "base/qt_prompter.h"
#include "engine/engine_messages.h"
#include "engine/qt_progress_view.h"
#include "formula/number_text.h"

namespace calvane {
namespace {

enum class Kind { kCentred, kLeft, kRight, kPlain, kButton };

struct ControlRow {
  int id;
  Kind kind;
  std::string_view text;
  QRect rect;  // client x, y, width, height
};

// The controls in creation order.
const std::array<ControlRow, 15> kControls{{
    {kPrgStatus, Kind::kCentred, text::kPreparing, {53, 27, 203, 19}},
    {kPrgPause, Kind::kButton, text::kPauseFirst, {115, 215, 75, 33}},
    {kPrgOk, Kind::kButton, text::kButtonOk, {8, 215, 75, 33}},
    {kPrgMessage, Kind::kLeft, {}, {19, 135, 268, 66}},
    {kPrgBlink, Kind::kCentred, {}, {53, 11, 203, 14}},
    {kPrgAbort, Kind::kButton, text::kAbort, {223, 215, 75, 33}},
    {kPrgStepLabel, Kind::kCentred, text::kStepLabel, {30, 79, 48, 18}},
    {kPrgCycleLabel, Kind::kCentred, text::kCycleLabel, {30, 104, 49, 18}},
    {kPrgStepTotal, Kind::kRight, text::kZero, {207, 80, 70, 18}},
    {kPrgCycleTotal, Kind::kRight, text::kZero, {207, 104, 70, 18}},
    {kPrgPhase, Kind::kCentred, {}, {42, 52, 219, 20}},
    {kPrgCycleValue, Kind::kRight, text::kZero, {104, 104, 70, 18}},
    {kPrgStepValue, Kind::kRight, text::kZero, {104, 80, 70, 18}},
    {kPrgStepSlash, Kind::kPlain, text::kSlash, {183, 80, 15, 18}},
    {kPrgCycleSlash, Kind::kPlain, text::kSlash, {183, 104, 15, 18}},
}};

// How long the abort waits between two looks at the worker; the event loop runs meanwhile.
constexpr int kAbortPollMs = 10;

QString Decimal(std::uint32_t value) {
  return QString::fromStdString(FormatNumber(static_cast<double>(value)));
}

}  // namespace

ProgressWindow::ProgressWindow(AppState& state, CalculationDriver& driver, QtProgressView& view,
                               QWidget* owner, bool start_worker)
    : ModalWindow(owner), state_(state), driver_(driver), view_(view), beeper_([] {
        QApplication::beep();
      }) {
  setObjectName(QStringLiteral("NowComputing"));
  setWindowTitle(DisplayText(text::kProgressCaption));
  setFixedSize(kClientWidth, kClientHeight);
  CreateControls();

  timer_.setInterval(kTimerMs);
  connect(&timer_, &QTimer::timeout, this, &ProgressWindow::Tick);
  abort_wait_.setInterval(kAbortPollMs);
  connect(&abort_wait_, &QTimer::timeout, this, &ProgressWindow::WaitForAbort);

  // The run starts with the window: the worker's writes land here from now on.
  view_.SetWindow(this);
  timer_.start();
  if (start_worker) driver_.StartWorker();
}

ProgressWindow::~ProgressWindow() { view_.SetWindow(nullptr); }

void ProgressWindow::CreateControls() {
  for (const ControlRow& row : kControls) {
    QWidget* control = nullptr;
    if (row.kind == Kind::kButton) {
      auto* button = new QPushButton(DisplayText(row.text), this);
      button->setAutoDefault(false);
      buttons_[row.id] = button;
      control = button;
    } else {
      auto* label = new QLabel(DisplayText(row.text), this);
      switch (row.kind) {
        case Kind::kCentred:
          label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
          break;
        case Kind::kRight:
          label->setAlignment(Qt::AlignRight | Qt::AlignTop);
          break;
        case Kind::kLeft:
          label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
          label->setWordWrap(true);
          break;
        default:
          label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
          break;
      }
      labels_[row.id] = label;
      control = label;
    }
    control->setObjectName(QString::number(row.id));
    control->setGeometry(row.rect);
  }
  buttons_[kPrgOk]->setEnabled(false);
  connect(buttons_[kPrgOk], &QPushButton::clicked, this, &ProgressWindow::Ok);
  connect(buttons_[kPrgPause], &QPushButton::clicked, this, &ProgressWindow::TogglePause);
  connect(buttons_[kPrgAbort], &QPushButton::clicked, this, &ProgressWindow::Abort);
}

QWidget* ProgressWindow::Control(int id) const {
  if (const auto it = labels_.find(id); it != labels_.end()) return it->second;
  if (const auto it = buttons_.find(id); it != buttons_.end()) return it->second;
  return nullptr;
}

QString ProgressWindow::ControlText(int id) const {
  if (const auto it = labels_.find(id); it != labels_.end()) return it->second->text();
  if (const auto it = buttons_.find(id); it != buttons_.end()) return it->second->text();
  return {};
}

void ProgressWindow::SetControlText(int id, std::string_view text) {
  const QString value = DisplayText(text);
  if (const auto it = labels_.find(id); it != labels_.end()) it->second->setText(value);
  if (const auto it = buttons_.find(id); it != buttons_.end()) it->second->setText(value);
}

void ProgressWindow::ShowWorkerStatus(std::string_view text) {
  const WorkflowStateValue workflow = state_.workflow.load(std::memory_order_acquire);
  if (text == text::kCalculating && (workflow == WorkflowStateValue::kPaused ||
                                     workflow == WorkflowStateValue::kAbortRequested)) {
    return;
  }
  SetControlText(kPrgStatus, text);
}

void ProgressWindow::EnableControl(int id, bool enabled) {
  if (QWidget* control = Control(id)) control->setEnabled(enabled);
}

void ProgressWindow::ShowCounters(std::uint32_t step, std::uint32_t cycle) {
  labels_[kPrgStepValue]->setText(Decimal(step));
  labels_[kPrgCycleValue]->setText(Decimal(cycle));
}

void ProgressWindow::ShowConditionError() {
  EnableControl(kPrgOk, true);
  EnableControl(kPrgPause, false);
  EnableControl(kPrgAbort, false);
  SetControlText(kPrgStatus, text::kConditionError);
  SetControlText(kPrgPhase, {});
  StopTimer();
}

void ProgressWindow::StopTimer() { timer_.stop(); }

void ProgressWindow::Beep() {
  if (beeper_) beeper_();
}

void ProgressWindow::Tick() {
  QLabel* blink = labels_[kPrgBlink];
  const bool paused =
      state_.workflow.load(std::memory_order_acquire) == WorkflowStateValue::kPaused;
  blink->setText(blink->text().isEmpty() && !paused ? DisplayText(text::kBlinkLine) : QString());
  ShowCounters(state_.engine.StepCounter.load(std::memory_order_relaxed),
               state_.engine.CycleCounter.load(std::memory_order_relaxed));
}

void ProgressWindow::TogglePause() {
  switch (driver_.TogglePause()) {
    case PauseToggle::kPaused:
      SetControlText(kPrgPause, text::kResume);
      SetControlText(kPrgStatus, text::kStopped);
      break;
    case PauseToggle::kResumed:
      SetControlText(kPrgPause, text::kPauseAgain);
      SetControlText(kPrgStatus, text::kCalculating);
      break;
    case PauseToggle::kNothing:
      break;
  }
}

void ProgressWindow::Abort() {
  driver_.RequestAbort();
  SetControlText(kPrgStatus, text::kAborting);
  // The worker may be on its way to a write or a pause snapshot that needs this thread: wait
  // with the event loop running.
  WaitForAbort();
  if (!driver_.WorkerEnded()) abort_wait_.start();
}

void ProgressWindow::WaitForAbort() {
  if (!driver_.WorkerEnded()) return;
  abort_wait_.stop();
  StopTimer();
  EndModal(1);
}

void ProgressWindow::Ok() { EndModal(0); }

void ProgressWindow::CloseRequested() {
  if (buttons_[kPrgOk]->isEnabled()) EndModal(0);
}

}  // namespace calvane
