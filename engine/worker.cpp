#include "engine/worker.h"

#include <cstddef>
#include <optional>
#include <string>

#include "base/file_io.h"
#include "conditions/condition_file.h"
#include "engine/engine_messages.h"
#include "engine/fit_context.h"
#include "engine/lattice_search.h"
#include "engine/lm_phase.h"
#include "engine/parallel_sums.h"
#include "engine/rough_estimate.h"
#include "engine/run_resources.h"
#include "formula/number_text.h"

namespace calvane {
namespace {

std::string Decimal(std::uint32_t value) { return FormatNumber(static_cast<double>(value)); }

void RefreshCounters(FitContext& ctx) {
  const EngineState& engine = ctx.state.engine;
  ctx.view.RefreshCounters(engine.StepCounter.load(std::memory_order_relaxed),
                           engine.CycleCounter.load(std::memory_order_relaxed));
}

// Writes one list of the preparation block: its heading, then the value of every used constant
// in the order k0..k9.
void LogList(FitContext& ctx, const char* heading, const double (&values)[kMaxConstants]) {
  ctx.log.Line(heading);
  for (int k = 0; k < kMaxConstants; ++k) {
    const std::uint8_t v = ctx.state.formula.paramIndex[k];
    if (v < kMaxConstants) ctx.log.Number(values[v]);
  }
}

// The first working accuracy: a hundredth of the bound range, or the accuracy if that is coarser.
double FirstWorkingAccuracy(const EngineState& engine, int v) {
  const double range_step = (engine.VarRegionU[v] - engine.VarRegionL[v]) / 100.0;
  return range_step > engine.Accuracy[v] ? range_step : engine.Accuracy[v];
}

// One refinement of a working accuracy: a hundredfold finer, but never finer than the accuracy.
// Returns true when it changed.
bool RefineWorkingAccuracy(EngineState& engine, int v) {
  if (!(engine.Accuracy_[v] > engine.Accuracy[v])) return false;
  const double finer = engine.Accuracy_[v] / 100.0;
  const double next = finer > engine.Accuracy[v] ? finer : engine.Accuracy[v];
  if (next == engine.Accuracy_[v]) return false;
  engine.Accuracy_[v] = next;
  return true;
}

// Converts one constant text. Returns false when it is empty (blank).
bool ReadNumber(const std::string& text, double& value) {
  std::size_t position = 0;
  ParseStatus status = ParseStatus::ParseOk;
  const double parsed = ParseNumber(text.c_str(), position, status);
  if (status == ParseStatus::ParseEndOfText) return false;
  value = parsed;
  return true;
}

int ConditionError(FitContext& ctx, const std::string& message) {
  ctx.view.SetMessage(message);
  ctx.view.ShowConditionError();
  return kWorkerConditionError;
}

}  // namespace

int RunWorker(AppState& state, ProgressView& view, CalculationLog& log, SumSettings settings) {
  ProgressViewMessages messages(view);
  // The sums' workers and the rough estimate's programs kept for the state's runs, or this run's
  // own when the memory for keeping them cannot be had.
  RunResources* const resources = RunResourcesOf(state);
  SumWorkers* sums = resources != nullptr ? resources->StartRun(settings) : nullptr;
  std::optional<SumWorkers> own_sums;
  if (sums == nullptr) sums = &own_sums.emplace(settings);
  RoughScratch* const rough = resources != nullptr ? &resources->rough() : nullptr;
  FitContext ctx{state, view, log, &messages, sums, rough};
  EngineState& engine = state.engine;
  CompiledFormula& formula = state.formula;

  // 1. Save the conditions of this run.
  const std::string condition_bytes = BuildConditionFile(ConditionSource::FromRecord, state);
  if (!ReplaceRunFile(JoinPath(state.working_directory, kFittingConditionFileName),
                      condition_bytes)) {
    return ConditionError(ctx, std::string(text::kMsgFileWriteFailed));
  }

  // 2. The numbers of every used constant, k0..k9.
  int n = 0;
  for (int k = 0; k < kMaxConstants; ++k) {
    const std::uint8_t v = formula.paramIndex[k];
    if (v == kUnusedConstant || v >= kMaxConstants) continue;
    const ConstantTexts& texts = state.conditions.constants[static_cast<std::size_t>(k)];
    const std::string name = "k" + std::string(1, static_cast<char>('0' + k));
    double value = 0.0;
    if (!ReadNumber(texts.InitialValue, value)) {
      return ConditionError(ctx, name + std::string(text::kMsgInitialValueMissing));
    }
    engine.InitialValue[v] = value;
    formula.paramValue[v] = value;
    engine.CurrentValue[v] = value;
    if (!ReadNumber(texts.VarRegionL, engine.VarRegionL[v])) {
      return ConditionError(ctx, name + std::string(text::kMsgLowerBoundMissing));
    }
    if (!ReadNumber(texts.VarRegionU, engine.VarRegionU[v])) {
      return ConditionError(ctx, name + std::string(text::kMsgUpperBoundMissing));
    }
    if (!ReadNumber(texts.Accuracy, engine.Accuracy[v])) {
      return ConditionError(ctx, name + std::string(text::kMsgAccuracyMissing));
    }
    ++n;
  }

  // 3. The working accuracies and the number of steps: the count of refinements each variable
  // needs to reach its accuracy, plus one.
  std::uint32_t step_total = 0;
  for (int v = 0; v < n; ++v) {
    engine.Accuracy_[v] = FirstWorkingAccuracy(engine, v);
    std::uint32_t count = 1;
    while (RefineWorkingAccuracy(engine, v)) ++count;
    if (count > step_total) step_total = count;
  }
  engine.StepTotal.store(step_total, std::memory_order_relaxed);

  // 4. The trigonometric operations in the angle unit of the run.
  ApplyAngleUnit(formula, state.conditions.angleUnit);

  // 5. Back to the first working accuracies.
  for (int v = 0; v < n; ++v) engine.Accuracy_[v] = FirstWorkingAccuracy(engine, v);

  // 6. The preparation block.
  log.Line(text::kLogPreparation);
  log.Line(text::kLogVariableCount);
  log.Number(static_cast<double>(n));
  LogList(ctx, "InitialValue", engine.InitialValue);
  LogList(ctx, "VarRegionL", engine.VarRegionL);
  LogList(ctx, "VarRegionU", engine.VarRegionU);
  LogList(ctx, "Accuracy", engine.Accuracy);
  LogList(ctx, "Accuracy_", engine.Accuracy_);

  double MinSquare = kUncomputableSum;
  std::int8_t EvalStatus = 0;

  // 7. The rough estimate.
  if (state.conditions.roughEstimation == 1) {
    log.Line(text::kLogRoughPhase);
    view.EnableButton(ProgressButton::kPause, false);
    engine.StepCounter.store(1, std::memory_order_relaxed);
    engine.CycleCounter.store(0, std::memory_order_relaxed);
    view.SetStatusText(text::kCalculating);
    view.SetPhaseText(text::kPhaseRoughEstimate);
    view.SetStepTotal("1");
    view.SetCycleTotal(Decimal(state.points.count));
    RefreshCounters(ctx);
    if (RoughEstimate(ctx, MinSquare, n, EvalStatus) == PhaseEnd::kStopped) {
      return kWorkerStopped;
    }
  }

  // 8. The least-squares steps, coarse to fine, unless the LM phase takes their place.
  const SearchMethod method = state.conditions.searchMethod;
  if (method != SearchMethod::LmOnly) {
    RefreshCounters(ctx);
    log.Line(text::kLogLeastSquaresPhase);
    engine.StepCounter.store(0, std::memory_order_relaxed);
    engine.CycleCounter.store(0, std::memory_order_relaxed);
    view.EnableButton(ProgressButton::kPause, true);
    view.SetStatusText(text::kCalculating);
    view.SetPhaseText(text::kPhaseLeastSquares);
    view.SetStepTotal(Decimal(step_total));
    view.SetCycleTotal("");
    view.SetCycleSlash("");
    for (;;) {
      engine.CycleCounter.store(0, std::memory_order_relaxed);
      engine.StepCounter.fetch_add(1, std::memory_order_relaxed);
      RefreshCounters(ctx);
      if (LeastSquaresStep(ctx, MinSquare, n, EvalStatus) == PhaseEnd::kStopped) {
        return kWorkerStopped;
      }
      bool changed = false;
      for (int v = 0; v < n; ++v) {
        if (RefineWorkingAccuracy(engine, v)) changed = true;
      }
      if (!changed) break;
    }
  }

  // 8a. The Levenberg-Marquardt phase: a finish from the point reached, or the whole search.
  std::uint32_t steps_shown = step_total;
  if (method != SearchMethod::Lattice) {
    RefreshCounters(ctx);
    LmSummary summary;
    if (LevenbergMarquardtPhase(ctx, MinSquare, n, EvalStatus, settings, &summary) ==
        PhaseEnd::kStopped) {
      return kWorkerStopped;
    }
    steps_shown = summary.iterations;
  }

  // 9. Completion.
  RefreshCounters(ctx);
  view.StopTimer();
  view.EnableButton(ProgressButton::kOk, true);
  view.EnableButton(ProgressButton::kAbort, false);
  view.SetStatusText(text::kProgressCompleted);
  view.EnableButton(ProgressButton::kPause, false);
  RefreshCounters(ctx);
  view.SetStepValue(Decimal(steps_shown));
  view.Beep();
  return kWorkerCompleted;
}

}  // namespace calvane
