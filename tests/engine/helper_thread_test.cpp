// The run's helper thread: every job posted runs once, and what it writes is there for the owner
// after Wait, whether the two sides meet while spinning or one of them has gone to sleep, or is
// lying down.

#include "engine/helper_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <random>
#include <thread>

namespace calvane {
namespace {

TEST(HelperThread, RunsEachJobOnceWhetherTheSidesSpinOrSleep) {
  // Written by the owner before Post and read by the job, or the other way round after Wait.
  std::uint64_t input = 0;
  std::uint64_t runs = 0;
  std::uint64_t seen = 0;
  std::chrono::microseconds job_time{0};
  std::uint64_t number = 0;
  std::uint64_t argument = 0;
  HelperThread helper([&](std::uint64_t job_number, std::uint64_t job_argument) {
    ++runs;
    seen = input;
    number = job_number;
    argument = job_argument;
    const auto until = std::chrono::steady_clock::now() + job_time;
    while (std::chrono::steady_clock::now() < until) {
    }
  });
  auto run = [&](std::uint64_t value) {
    input = value;
    const std::uint64_t posted = helper.Post(value + 1);
    helper.Wait();
    EXPECT_EQ(seen, value);
    EXPECT_EQ(number, posted);
    EXPECT_EQ(argument, value + 1);
  };
  // Back to back, as a search posts its sums: the helper is still spinning for the next one.
  for (std::uint64_t job = 1; job <= 2000; ++job) run(job * 3);
  EXPECT_EQ(runs, 2000u);
  // After a pause the helper sleeps; a job wakes it.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!helper.Asleep() && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  ASSERT_TRUE(helper.Asleep());
  run(7777);
  // A job longer than the owner's spin: the owner sleeps in Wait and is woken at the end.
  job_time = 4 * HelperThread::kSpin;
  run(8888);
  EXPECT_EQ(runs, 2002u);
  EXPECT_EQ(number, 2002u);
}

// A job that tells the owner itself when it is done: the owner posts the next one at once,
// without Wait, while the helper may still be ending the last. Every job runs once, in order,
// with its own number and argument.
TEST(HelperThread, JobsPostedWithoutWaitRunInTurn) {
  std::atomic<std::uint64_t> done{0};
  std::uint64_t runs = 0;
  bool in_order = true;
  HelperThread helper([&](std::uint64_t number, std::uint64_t argument) {
    ++runs;
    in_order = in_order && argument == number * 7 && number == runs;
    done.store(number, std::memory_order_release);
  });
  for (std::uint64_t job = 1; job <= 5000; ++job) {
    ASSERT_EQ(helper.Post(job * 7), job);
    while (done.load(std::memory_order_acquire) != job) {
    }
  }
  helper.Wait();
  EXPECT_EQ(runs, 5000u);
  EXPECT_TRUE(in_order);
}

// Posts that meet the helper as it lies down after its spin: each is taken up all the same (a post
// seen by neither side is found by the helper's first nap), and Wait returns after it.
TEST(HelperThread, PostsAsTheHelperLiesDownAreTakenUp) {
  std::atomic<std::uint64_t> runs{0};
  std::uint64_t last_argument = 0;
  HelperThread helper([&](std::uint64_t, std::uint64_t argument) {
    last_argument = argument;
    runs.fetch_add(1, std::memory_order_relaxed);
  });
  std::mt19937 rng(7);
  // Around the end of the helper's spin, from well before to well after it.
  std::uniform_int_distribution<int> pause_us(static_cast<int>(HelperThread::kSpin.count()) - 30,
                                              static_cast<int>(HelperThread::kSpin.count()) + 30);
  for (std::uint64_t job = 1; job <= 300; ++job) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(pause_us(rng));
    while (std::chrono::steady_clock::now() < until) {
    }
    ASSERT_EQ(helper.Post(job * 3), job);
    helper.Wait();
    ASSERT_EQ(last_argument, job * 3);
  }
  EXPECT_EQ(runs.load(), 300u);
}

}  // namespace
}  // namespace calvane
