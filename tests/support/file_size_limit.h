#pragma once

#include <sys/resource.h>

#include <csignal>

namespace calvane::test {

// Lowers the process's file-size limit (RLIMIT_FSIZE) for the lifetime of the object, with
// SIGXFSZ ignored, so that every write beyond `bytes` into a regular file fails with EFBIG
// part-way through, as on a full disk. Unlike a read-only folder, root cannot bypass it.
// Process-wide: create it only around the calls under test, never while another thread writes.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    saved_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    active_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, saved_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  bool active() const { return active_; }

 private:
  rlimit saved_{};
  void (*saved_handler_)(int) = SIG_DFL;
  bool active_ = false;
};

}  // namespace calvane::test
