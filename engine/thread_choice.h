#pragma once

#include <cstdint>

namespace calvane {

// Whether the sums that may go to two threads do, chosen by how long they take. A sum on two
// threads hands its helper's values over through the caches of two cores; on a machine whose other
// core is busy with other work, or slow at times to pass data between the two, that costs more
// than the second thread gains, and a sum on one thread is faster. So from time to time a trial
// makes the sums alternately on two threads and on one, and the side with the shorter wall time
// per block added is kept for the sums until the next trial. The trials grow further apart while
// the same side wins. A run's SumWorkers keep their choice and its schedule for the next run.
// Every choice gives the same results; only the time differs.
class ThreadChoice {
 public:
  // Timed sums per side in a trial. Each side's first sum in a trial is not timed: the helper may
  // have been asleep, and waking it takes longer than a sum.
  static constexpr std::uint32_t kTrialSums = 8;
  // Sums between the end of a trial and the next: at first, and at most.
  static constexpr std::uint32_t kFirstInterval = 128;
  static constexpr std::uint32_t kLongestInterval = 1024;

  struct Decision {
    bool two = true;     // the sum goes to two threads
    bool timed = false;  // its time counts in a trial: pass it to Record
  };

  // How the next sum that may go to two threads is made.
  Decision Next();
  // The wall time of a timed sum and the blocks it added (those before an early stop).
  void Record(const Decision& decision, std::uint64_t nanoseconds, std::uint32_t blocks);
  // The side chosen by the last trial (two threads before any).
  bool two() const { return two_; }
  std::uint32_t interval() const { return interval_; }

 private:
  bool two_ = true;
  std::uint32_t interval_ = kFirstInterval;
  std::uint32_t until_trial_ = 0;  // sums before the next trial begins
  bool in_trial_ = false;
  std::uint32_t trial_sums_ = 0;  // sums of the current trial so far
  // Per side ([0] one thread, [1] two), the trial's timed sums: nanoseconds and blocks.
  double nanoseconds_[2] = {};
  double blocks_[2] = {};
};

}  // namespace calvane
