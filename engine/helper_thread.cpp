#include "engine/helper_thread.h"

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
  std::uint64_t job = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    argument_.store(argument, std::memory_order_relaxed);
    job = posted_.fetch_add(1, std::memory_order_release) + 1;
  }
  wake_.notify_one();
  return job;
}

void HelperThread::Wait() {
  const std::uint64_t job = posted_.load(std::memory_order_relaxed);
  auto finished = [&] { return finished_number_.load(std::memory_order_acquire) == job; };
  if (SpinUntil(finished)) return;
  std::unique_lock<std::mutex> lock(mutex_);
  finished_.wait(lock, finished);
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
      asleep_.store(true, std::memory_order_release);
      wake_.wait(lock, woken);
      asleep_.store(false, std::memory_order_release);
    }
    if (quit_.load(std::memory_order_acquire)) return;
    seen = posted_.load(std::memory_order_acquire);
    job_(seen, argument_.load(std::memory_order_relaxed));
    {
      std::lock_guard<std::mutex> lock(mutex_);
      finished_number_.store(seen, std::memory_order_release);
    }
    finished_.notify_one();
  }
}

}  // namespace calvane
