#pragma once

#include <atomic>
#include <cstdint>

namespace calvane {

// The fitting engine's process-wide arrays, indexed by constant index (0..n-1). A run overwrites
// them but never clears them. The counters are atomics because the main thread reads them on
// its timer while the worker writes them.
struct EngineState {
  double InitialValue[10] = {};
  double VarRegionL[10] = {};
  double VarRegionU[10] = {};
  double Accuracy[10] = {};
  double Accuracy_[10] = {};
  double CurrentValue[10] = {};
  std::atomic<std::uint32_t> StepCounter{0};
  std::atomic<std::uint32_t> CycleCounter{0};
  std::atomic<std::uint32_t> StepTotal{0};
  double R2Value = 0.0;
};

}  // namespace calvane
