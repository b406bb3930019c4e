#include "engine/paused_run.h"

#include <chrono>
#include <thread>

namespace calvane {
namespace {

// How long the paused worker waits between two looks at the workflow state.
constexpr std::chrono::milliseconds kPausePoll{5};

}  // namespace

void ShowReachedPoint(FitContext& ctx, const double* reached, int n) {
  EngineState& engine = ctx.state.engine;
  CompiledFormula& formula = ctx.state.formula;
  double kept[kMaxConstants];
  double kept_params[kMaxConstants];
  for (int v = 0; v < kMaxConstants; ++v) {
    kept[v] = engine.CurrentValue[v];
    kept_params[v] = formula.paramValue[v];
  }
  for (int v = 0; v < n; ++v) {
    engine.CurrentValue[v] = reached[v];
    formula.paramValue[v] = reached[v];
  }
  const std::uint32_t step = engine.StepCounter.load(std::memory_order_relaxed);
  const std::uint32_t cycle = engine.CycleCounter.load(std::memory_order_relaxed);
  ctx.view.RefreshCounters(step, cycle);
  PauseSnapshot snapshot;
  snapshot.values = reached;
  snapshot.variable_count = n;
  snapshot.step = step;
  snapshot.cycle = cycle;
  snapshot.formula = &formula;
  ctx.view.ShowPauseSnapshot(snapshot);
  for (int v = 0; v < kMaxConstants; ++v) {
    engine.CurrentValue[v] = kept[v];
    formula.paramValue[v] = kept_params[v];
  }
}

bool WaitWhilePaused(FitContext& ctx, const std::function<void()>& show_snapshot) {
  WorkflowStateValue workflow = ctx.state.workflow.load(std::memory_order_acquire);
  if (workflow == WorkflowStateValue::kPaused) {
    show_snapshot();
  } else if (workflow != WorkflowStateValue::kAbortRequested) {
    return true;
  }
  for (;;) {
    workflow = ctx.state.workflow.load(std::memory_order_acquire);
    if (workflow == WorkflowStateValue::kAbortRequested) return false;
    if (workflow != WorkflowStateValue::kPaused) return true;
    std::this_thread::sleep_for(kPausePoll);
  }
}

}  // namespace calvane
