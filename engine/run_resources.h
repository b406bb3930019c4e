#pragma once

#include <memory>

#include "app/app_state.h"
#include "engine/parallel_sums.h"
#include "engine/rough_estimate.h"

namespace calvane {

// What the runs of one program state keep from one run to the next, so that a run neither makes
// nor frees them: the sums' workers (their rows, workspaces and helper thread) and the rough
// estimate's programs, some hundreds of kilobytes in all. Only memory is carried over: a run
// starts with nothing that an earlier run computed (SumWorkers::Reset).
// Thread: the runs of one AppState never overlap; each uses these on its worker thread.
class RunResources {
 public:
  // The sums' workers, made by the first run and reset for each one after it; null when the
  // memory for them cannot be had.
  SumWorkers* StartRun(SumSettings settings);
  RoughScratch& rough() { return rough_; }
  // The sums' workers of the last run, null before the first (for tests).
  const SumWorkers* sums() const { return sums_.get(); }

 private:
  std::unique_ptr<SumWorkers> sums_;
  RoughScratch rough_;
};

// The run resources of `state`, made when missing; null when the memory cannot be had.
RunResources* RunResourcesOf(AppState& state);

}  // namespace calvane
