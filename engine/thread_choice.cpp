#include "engine/thread_choice.h"

#include <algorithm>

namespace calvane {

ThreadChoice::Decision ThreadChoice::Next() {
  if (!in_trial_) {
    if (until_trial_ > 0) {
      --until_trial_;
      return Decision{two_, false};
    }
    in_trial_ = true;
    trial_sums_ = 0;
    for (int side = 0; side < 2; ++side) {
      nanoseconds_[side] = 0.0;
      blocks_[side] = 0.0;
    }
  }
  // Two threads, one, two, one, ...: the sums of a search change slowly, so each side meets
  // sums of the same kind. The first of each side is not timed.
  Decision decision{trial_sums_ % 2 == 0, trial_sums_ >= 2};
  ++trial_sums_;
  if (trial_sums_ == 2 + 2 * kTrialSums) {
    // The trial's last sum: the side for the sums after it follows from its time (Record).
    in_trial_ = false;
  }
  return decision;
}

void ThreadChoice::Record(const Decision& decision, std::uint64_t nanoseconds,
                          std::uint32_t blocks) {
  if (!decision.timed) return;
  const int side = decision.two ? 1 : 0;
  nanoseconds_[side] += static_cast<double>(nanoseconds);
  blocks_[side] += blocks;
  if (in_trial_) return;
  // The trial is complete. A side without a block added tells nothing: the choice stays.
  bool two = two_;
  if (blocks_[0] > 0.0 && blocks_[1] > 0.0) {
    two = nanoseconds_[1] / blocks_[1] < nanoseconds_[0] / blocks_[0];
  }
  interval_ = two == two_ ? std::min(interval_ * 2, kLongestInterval) : kFirstInterval;
  two_ = two;
  until_trial_ = interval_;
}

}  // namespace calvane
