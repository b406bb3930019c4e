#pragma once

#include <atomic>
#include <cstdint>

namespace calvane {

// Where the user stands in the workflow. The main thread writes it; the worker polls it.
enum class WorkflowStateValue : std::int8_t {
  kNoData = 0,
  kDataLoaded = 1,      // also: run in progress, not paused
  kStoppedResults = 2,  // results of a run stopped early, not saved
  kCompletedResults = 3,
  kResultsSaved = 4,
  kPaused = -1,
  kAbortRequested = -10,
};

using WorkflowState = std::atomic<WorkflowStateValue>;
static_assert(WorkflowState::is_always_lock_free,
              "the batch driver's signal handler stores into it");
static_assert(sizeof(WorkflowState) == 1);

}  // namespace calvane
