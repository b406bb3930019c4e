// calvane-batch: one fit from the command line, with the current directory as the working
// directory. Results on stdout, everything else on stderr; see BatchUsage().

#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "app/batch_driver.h"

namespace {

// Whole lines to stdout and stderr; the worker thread writes progress lines too.
class StandardStreams : public calvane::BatchOutput {
 public:
  void Out(std::string_view line) override { Write(stdout, line); }
  void Err(std::string_view line) override { Write(stderr, line); }

 private:
  void Write(std::FILE* stream, std::string_view line) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
  }
  std::mutex mutex_;
};

std::string CurrentDirectory() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (buffer.size() > (1u << 20)) return ".";
    buffer.resize(buffer.size() * 2);
  }
  return std::string(buffer.data());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  StandardStreams streams;
  calvane::InstallInterruptHandler();
  return calvane::RunBatch(args, CurrentDirectory(), streams);
}
