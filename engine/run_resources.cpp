#include "engine/run_resources.h"

#include <exception>

namespace calvane {

SumWorkers* RunResources::StartRun(SumSettings settings) {
  if (sums_ == nullptr) {
    try {
      sums_ = std::make_unique<SumWorkers>(settings);
    } catch (const std::exception&) {
      return nullptr;
    }
  } else {
    sums_->Reset(settings);
  }
  return sums_.get();
}

RunResources* RunResourcesOf(AppState& state) {
  if (state.run_resources == nullptr) {
    try {
      state.run_resources = std::make_shared<RunResources>();
    } catch (const std::exception&) {
      return nullptr;
    }
  }
  return state.run_resources.get();
}

}  // namespace calvane
