#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace calvane {

// Tells the processor that the caller is spinning on another thread's write (the pause
// instruction): the loop yields the core's shared resources and leaves it without the penalty of
// a mispredicted memory order.
inline void SpinPause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

// How many processors this thread may run on (its affinity, which the threads it starts inherit);
// at least 1.
int UsableProcessors();

// A second thread made once and kept for one kind of job: Post starts the job on it,
// Wait returns once the job has finished. The owner sets the job's data before Post and reads
// its results after Wait; the hand-over (a release and an acquire of the job numbers) makes them
// visible to the other thread. One job at a time, posted and waited for by one owning thread. A
// job may instead tell the owner itself when it no longer touches the job's data (through atomics
// of its own, as the two-thread sums do); the owner may then post the next job without Wait, once
// the helper has taken up the last one: the helper runs the latest job posted. The ownership may
// pass to another thread between jobs when that hand-over is itself ordered (a state's runs, each
// on a worker thread of its own that starts after the last one was joined).
// A search posts its jobs back to back, a few microseconds apart, while waking a sleeping thread
// takes tens of microseconds: so each side spins for a while (kSpin) before it sleeps, the
// helper waiting for the next job and the owner for the end of the current one. A post is plain
// stores, with no locked instruction: such an instruction would make the owner wait until every
// store it made before (the job's data, in lines the helper holds) had gone through. The mutex
// is taken only to wake a sleeping helper. Without a fence, a post made just as the helper lies
// down can go unseen by both sides; the sleeping helper therefore looks again after naps
// (kFirstNap, doubling up to kLongestNap), which find such a post within the first.
class HelperThread {
 public:
  // How long a side spins before it sleeps.
  static constexpr std::chrono::microseconds kSpin{100};
  // The helper's naps while asleep: the first, and the longest they grow to.
  static constexpr std::chrono::milliseconds kFirstNap{1};
  static constexpr std::chrono::milliseconds kLongestNap{1000};

  // Starts the thread; throws std::system_error when the system has none to give. The job is
  // called with the number and the argument that Post gave it.
  explicit HelperThread(std::function<void(std::uint64_t, std::uint64_t)> job);
  ~HelperThread();
  HelperThread(const HelperThread&) = delete;
  HelperThread& operator=(const HelperThread&) = delete;

  // Posts the next job with `argument` and returns its number (1, 2, ...). The argument comes over
  // with the job's number, in the same cache line, at no further cost to the helper.
  std::uint64_t Post(std::uint64_t argument = 0);
  void Wait();

  // Whether the helper is asleep waiting for a job (for tests).
  bool Asleep() const { return asleep_.load(std::memory_order_acquire); }

 private:
  void Loop();

  std::function<void(std::uint64_t, std::uint64_t)> job_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable finished_;
  // Written by the owner, read by the helper as it spins: a line of their own.
  alignas(64) std::atomic<std::uint64_t> posted_{0};  // the number of the last job posted
  std::atomic<std::uint64_t> argument_{0};            // its argument
  std::atomic<bool> quit_{false};
  std::atomic<bool> asleep_{false};  // written by the helper only when it lies down or wakes
  // Written by the helper at the end of each job, read by the owner in Wait.
  alignas(64) std::atomic<std::uint64_t> finished_number_{0};  // the last job finished
  std::atomic<bool> owner_waiting_{false};                     // the owner sleeps in Wait
  std::thread thread_;  // last: it starts once the members above exist
};

}  // namespace calvane
