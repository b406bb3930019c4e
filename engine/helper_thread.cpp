#include "engine/helper_thread.h"

#include <sched.h>

#include <algorithm>
#include <chrono>
#include <utility>

namespace calvane {
namespace {

// Spins until done() holds or kSpin has passed; whether it holds.
template <class Done>
bool SpinUntil(Done done) {
  const auto give_up = std::chrono::steady_clock::now() + HelperThread::kSpin;
  for (int round = 0;; ++round) {
    if (done()) return true;
    SpinPause();
    if (round % 64 == 63 && std::chrono::steady_clock::now() >= give_up) return done();
  }
}

}  // namespace

int UsableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return std::max(CPU_COUNT(&set), 1);
}

HelperThread::HelperThread(std::function<void(std::uint64_t, std::uint64_t)> job)
    : job_(std::move(job)), thread_([this] { Loop(); }) {}

HelperThread::~HelperThread() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_.store(true, std::memory_order_release);
  }
  wake_.notify_one();
  thread_.join();
}

std::uint64_t HelperThread::Post(std::uint64_t argument) {
  // Plain stores: a spinning helper sees them as they come over, and this thread goes on at
  // once; a locked instruction here would wait for every store before it to be written through.
  argument_.store(argument, std::memory_order_relaxed);
  const std::uint64_t job = posted_.load(std::memory_order_relaxed) + 1;
  posted_.store(job, std::memory_order_release);
  if (asleep_.load(std::memory_order_acquire)) {
    // Taking the mutex orders the post before the sleeper's next test, or after it has begun to
    // wait: either way it sees the job. (A post that meets the helper just as it lies down, unseen
    // by this test, is found by the helper's next nap, see Loop.)
    { std::lock_guard<std::mutex> lock(mutex_); }
    wake_.notify_one();
  }
  return job;
}

void HelperThread::Wait() {
  const std::uint64_t job = posted_.load(std::memory_order_relaxed);
  auto finished = [&] { return finished_number_.load(std::memory_order_seq_cst) == job; };
  if (SpinUntil(finished)) return;
  std::unique_lock<std::mutex> lock(mutex_);
  // Both sides store, then read the other's word, in the single total order: the helper either
  // sees this thread waiting or its finished number is seen here.
  owner_waiting_.store(true, std::memory_order_seq_cst);
  finished_.wait(lock, finished);
  owner_waiting_.store(false, std::memory_order_relaxed);
}

void HelperThread::Loop() {
  std::uint64_t seen = 0;
  for (;;) {
    auto woken = [&] {
      return quit_.load(std::memory_order_acquire) ||
             posted_.load(std::memory_order_acquire) != seen;
    };
    if (!SpinUntil(woken)) {
      std::unique_lock<std::mutex> lock(mutex_);
      asleep_.store(true, std::memory_order_seq_cst);
      // Post does not fence between its store of the job and its test of asleep_, so a post made
      // as the helper lies down may be seen by neither side; the helper then naps and looks
      // again, in naps that lengthen while no job comes.
      auto nap = kFirstNap;
      while (!woken()) {
        wake_.wait_for(lock, nap);
        nap = std::min(nap * 2, kLongestNap);
      }
      asleep_.store(false, std::memory_order_relaxed);
    }
    if (quit_.load(std::memory_order_acquire)) return;
    seen = posted_.load(std::memory_order_acquire);
    job_(seen, argument_.load(std::memory_order_relaxed));
    finished_number_.store(seen, std::memory_order_seq_cst);
    if (owner_waiting_.load(std::memory_order_seq_cst)) {
      { std::lock_guard<std::mutex> lock(mutex_); }
      finished_.notify_one();
    }
  }
}

}  // namespace calvane
