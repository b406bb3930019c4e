#include "engine/calculation_driver.h"

#include "base/file_io.h"
#include "engine/engine_messages.h"
#include "engine/helper_thread.h"
#include "engine/parallel_sums.h"
#include "engine/worker.h"

namespace calvane {
namespace {

// Appends `value` as exactly `digits` decimal digits with leading zeros (a value that does not
// fit keeps its lowest digits; a negative one counts as 0).
void AppendDigits(std::string& out, int value, int digits) {
  if (value < 0) value = 0;
  char buffer[8];
  for (int i = digits - 1; i >= 0; --i) {
    buffer[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  out.append(buffer, static_cast<std::size_t>(digits));
}

}  // namespace

std::string FormatLocalTime(const std::tm& time) {
  std::string out;
  out.reserve(19);
  AppendDigits(out, time.tm_year + 1900, 4);
  out.push_back('/');
  AppendDigits(out, time.tm_mon + 1, 2);
  out.push_back('/');
  AppendDigits(out, time.tm_mday, 2);
  out.push_back(' ');
  AppendDigits(out, time.tm_hour, 2);
  out.push_back(':');
  AppendDigits(out, time.tm_min, 2);
  out.push_back(':');
  AppendDigits(out, time.tm_sec, 2);
  return out;
}

std::tm CurrentLocalTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

RunEndEffects EffectsOfExitCode(int exit_code) {
  RunEndEffects effects;
  switch (exit_code) {
    case kWorkerCompleted:
      effects.workflow = WorkflowStateValue::kCompletedResults;
      effects.status_line = text::kStatusSaveIfNeeded;
      effects.enable_save = true;
      effects.refresh_results = true;
      break;
    case kWorkerConditionError:
      effects.workflow = WorkflowStateValue::kDataLoaded;
      break;
    case kWorkerStopped:
      effects.workflow = WorkflowStateValue::kStoppedResults;
      effects.status_line = text::kStatusRun;
      effects.enable_save = true;
      effects.refresh_results = true;
      break;
    default:
      effects.refresh_results = true;
      break;
  }
  return effects;
}

CalculationDriver::CalculationDriver(AppState& state, ProgressView& view, LocalTimeSource clock)
    : state_(state), view_(view), clock_(std::move(clock)) {}

CalculationDriver::~CalculationDriver() {
  if (worker_.joinable()) {
    RequestAbort();
    worker_.join();
  }
}

bool CalculationDriver::Begin() {
  if (!log_.Open(JoinPath(state_.working_directory, "Calculation.ini"))) return false;
  start_time_ = FormatLocalTime(clock_());
  end_time_.clear();
  state_.workflow.store(WorkflowStateValue::kDataLoaded, std::memory_order_release);
  return true;
}

void CalculationDriver::StartWorker() {
  if (worker_.joinable()) return;
  ResetCounters();
  worker_ = std::thread([this] { Work(); });
}

void CalculationDriver::RunWorkerHere() {
  if (worker_.joinable()) return;
  ResetCounters();
  Work();
}

void CalculationDriver::ResetCounters() {
  state_.engine.StepCounter.store(0, std::memory_order_relaxed);
  state_.engine.CycleCounter.store(0, std::memory_order_relaxed);
  ended_.store(false, std::memory_order_relaxed);
}

void CalculationDriver::Work() {
  exit_code_ = RunWorker(state_, view_, log_, RunSumSettings(UsableProcessors()));
  ended_.store(true, std::memory_order_release);
}

PauseToggle CalculationDriver::TogglePause() {
  WorkflowStateValue expected = WorkflowStateValue::kDataLoaded;
  if (state_.workflow.compare_exchange_strong(expected, WorkflowStateValue::kPaused))
    return PauseToggle::kPaused;
  expected = WorkflowStateValue::kPaused;
  if (state_.workflow.compare_exchange_strong(expected, WorkflowStateValue::kDataLoaded)) {
    return PauseToggle::kResumed;
  }
  return PauseToggle::kNothing;
}

void CalculationDriver::RequestAbort() {
  state_.workflow.store(WorkflowStateValue::kAbortRequested, std::memory_order_release);
}

void CalculationDriver::WaitForWorker() {
  if (worker_.joinable()) worker_.join();
}

int CalculationDriver::Finish() {
  WaitForWorker();
  log_ok_ = log_.Close();
  end_time_ = FormatLocalTime(clock_());
  const RunEndEffects effects = EffectsOfExitCode(exit_code_);
  if (effects.workflow) state_.workflow.store(*effects.workflow, std::memory_order_release);
  return exit_code_;
}

RunOutcome RunFit(AppState& state, ProgressView& view, LocalTimeSource clock) {
  RunOutcome outcome;
  CalculationDriver driver(state, view, std::move(clock));
  if (!driver.Begin()) return outcome;
  outcome.log_opened = true;
  driver.RunWorkerHere();
  outcome.exit_code = driver.Finish();
  outcome.start_time = driver.start_time();
  outcome.end_time = driver.end_time();
  return outcome;
}

}  // namespace calvane
