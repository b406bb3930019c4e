#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/batch_driver.h"
#include "base/file_io.h"
#include "tests/support/test_paths.h"

namespace calvane::test {

// Collects calvane-batch's lines. Err may come from the worker thread; a test thread can wait
// until some line has arrived (woken by each new line, never by a timer).
class CapturedOutput : public BatchOutput {
 public:
  void Out(std::string_view line) override {
    std::lock_guard<std::mutex> lock(mutex_);
    out_.emplace_back(line);
  }
  void Err(std::string_view line) override {
    std::function<void(std::string_view)> observer;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      err_.emplace_back(line);
      observer = on_err_;
    }
    changed_.notify_all();
    if (observer) observer(line);
  }

  // Called on the thread that writes each stderr line, after it is recorded.
  void OnErr(std::function<void(std::string_view)> observer) {
    std::lock_guard<std::mutex> lock(mutex_);
    on_err_ = std::move(observer);
  }

  // Blocks until some stderr line contains `text`.
  void WaitForErr(std::string_view text) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] {
      return std::any_of(err_.begin(), err_.end(),
                         [&](const std::string& l) { return l.find(text) != std::string::npos; });
    });
  }

  std::vector<std::string> out() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return out_;
  }
  std::vector<std::string> err() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return err_;
  }
  // stdout as the program writes it: each line followed by "\n".
  std::string OutText() const {
    std::string text;
    for (const std::string& line : out()) text += line + "\n";
    return text;
  }
  bool ErrContains(std::string_view text) const {
    for (const std::string& line : err()) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }
  std::string ErrText() const {
    std::string text;
    for (const std::string& line : err()) text += line + "\n";
    return text;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> out_;
  std::vector<std::string> err_;
  std::function<void(std::string_view)> on_err_;
};

// The condition file of one NIST problem from NIST start 1 or 2: left side y, angle unit Radian,
// rough estimation on, data interval 1, then the "[Search Method]" section when `method` is not
// empty. `problem` has the formula and per constant start1, start2, lower, upper and accuracy.
template <typename Problem>
std::string NistConditionFile(const Problem& problem, int start, std::string_view method = {}) {
  std::string text = "[Formula]\r\ny=\r\n" + std::string(problem.formula) +
                     "\r\n[Initial, Minimum, Maximum and Accuracy]\r\n";
  for (std::size_t i = 0; i < 10; ++i) {
    if (i < problem.constants.size()) {
      const auto& c = problem.constants[i];
      text += std::string(start == 1 ? c.start1 : c.start2) + "," + c.lower + "," + c.upper + "," +
              c.accuracy + "\r\n";
    } else {
      text += ",,,\r\n";
    }
  }
  text += "[Angle Unit]\r\nRadian\r\n[No Wild Guess]\r\nInvalid\r\n[Valid Data Interval]\r\n1";
  if (!method.empty()) text += "\r\n[Search Method]\r\n" + std::string(method);
  return text + '\0';
}

// Reads a fixture under tests/end_to_end/data/.
inline std::string Fixture(const std::string& relative) {
  std::optional<std::string> bytes = ReadWholeFile(SourcePath("tests/end_to_end/data/" + relative));
  EXPECT_TRUE(bytes.has_value()) << "missing fixture " << relative;
  return bytes.value_or("");
}

// Copies a fixture into `directory` under `name`.
inline void CopyFixture(const std::string& relative, const std::string& directory,
                        const std::string& name) {
  ASSERT_TRUE(WriteWholeFile(JoinPath(directory, name), Fixture(relative))) << name;
}

// Empty when the two byte strings are equal; otherwise the first differing offset and a hex
// window of both around it.
inline std::string DescribeDifference(std::string_view actual, std::string_view expected) {
  std::size_t common = std::min(actual.size(), expected.size());
  std::size_t offset = 0;
  while (offset < common && actual[offset] == expected[offset]) ++offset;
  if (offset == common && actual.size() == expected.size()) return "";
  auto window = [offset](std::string_view bytes) {
    std::size_t from = offset >= 16 ? offset - 16 : 0;
    std::size_t to = std::min(bytes.size(), offset + 16);
    std::string hex;
    char cell[8];
    for (std::size_t i = from; i < to; ++i) {
      std::snprintf(cell, sizeof cell, i == offset ? "[%02x]" : " %02x",
                    static_cast<unsigned char>(bytes[i]));
      hex += cell;
    }
    return hex;
  };
  char head[96];
  std::snprintf(head, sizeof head, "first difference at offset %zu (0x%zx); sizes %zu vs %zu\n",
                offset, offset, actual.size(), expected.size());
  return std::string(head) + "  actual:   " + window(actual) + "\n  expected: " + window(expected);
}

// Expects the file `name` of `directory` to hold exactly `expected`.
inline void ExpectFileBytes(const std::string& directory, const std::string& name,
                            std::string_view expected) {
  std::optional<std::string> actual = ReadWholeFile(JoinPath(directory, name));
  ASSERT_TRUE(actual.has_value()) << name << " was not written";
  std::string difference = DescribeDifference(*actual, expected);
  EXPECT_TRUE(difference.empty()) << name << ": " << difference;
}

// `text` with every occurrence of `from` replaced by `to`.
inline std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// Runs calvane-batch's whole path in-process in `directory`.
inline int RunBatchIn(const std::string& directory, const std::vector<std::string>& args,
                      CapturedOutput& output, const BatchHooks& hooks = {}) {
  return RunBatch(args, directory, output, hooks);
}

}  // namespace calvane::test
