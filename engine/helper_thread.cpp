#include "engine/helper_thread.h"

#include <utility>

namespace calvane {

HelperThread::HelperThread(std::function<void()> job)
    : job_(std::move(job)), thread_([this] { Loop(); }) {}

HelperThread::~HelperThread() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void HelperThread::Post() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++job_number_;
    busy_ = true;
  }
  wake_.notify_one();
}

void HelperThread::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  finished_.wait(lock, [&] { return !busy_; });
}

void HelperThread::Loop() {
  std::uint64_t seen = 0;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return quit_ || job_number_ != seen; });
      if (quit_) return;
      seen = job_number_;
    }
    job_();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      busy_ = false;
    }
    finished_.notify_one();
  }
}

}  // namespace calvane
