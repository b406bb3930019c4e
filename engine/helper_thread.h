#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace calvane {

// A second thread made once for a run and kept for one kind of job: Post starts the job on it,
// Wait returns once the job has finished. The owner sets the job's data before Post and reads
// its results after Wait; the mutex hand-over makes them visible to the other thread. One job
// at a time, posted and waited for by one owning thread.
class HelperThread {
 public:
  // Starts the thread; throws std::system_error when the system has none to give.
  explicit HelperThread(std::function<void()> job);
  ~HelperThread();
  HelperThread(const HelperThread&) = delete;
  HelperThread& operator=(const HelperThread&) = delete;

  void Post();
  void Wait();

 private:
  void Loop();

  std::function<void()> job_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable finished_;
  std::uint64_t job_number_ = 0;  // under mutex_
  bool busy_ = false;             // under mutex_
  bool quit_ = false;             // under mutex_
  std::thread thread_;            // last: it starts once the members above exist
};

}  // namespace calvane
