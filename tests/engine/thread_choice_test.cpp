#include "engine/thread_choice.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace calvane {
namespace {

constexpr std::uint32_t kTrialLength = 2 + 2 * ThreadChoice::kTrialSums;

// Makes one trial in which every sum of a side takes `two_ns` or `one_ns` per block (four blocks
// each), and checks its order: two threads, one, two, ..., the first of each side not timed.
void Trial(ThreadChoice& choice, std::uint64_t two_ns, std::uint64_t one_ns) {
  for (std::uint32_t n = 0; n < kTrialLength; ++n) {
    const ThreadChoice::Decision d = choice.Next();
    ASSERT_EQ(d.two, n % 2 == 0) << "sum " << n << " of the trial";
    ASSERT_EQ(d.timed, n >= 2) << "sum " << n << " of the trial";
    choice.Record(d, 4 * (d.two ? two_ns : one_ns), 4);
  }
}

// The sums between trials: all on the chosen side, none timed.
void Between(ThreadChoice& choice, std::uint32_t sums, bool two) {
  for (std::uint32_t n = 0; n < sums; ++n) {
    const ThreadChoice::Decision d = choice.Next();
    ASSERT_EQ(d.two, two) << "sum " << n << " after the trial";
    ASSERT_FALSE(d.timed);
  }
}

TEST(ThreadChoice, TrialsKeepTheFasterSideAndGrowApartWhileItWins) {
  ThreadChoice choice;
  EXPECT_TRUE(choice.two());
  // The first sums are a trial; one thread wins it.
  Trial(choice, 900, 500);
  EXPECT_FALSE(choice.two());
  EXPECT_EQ(choice.interval(), ThreadChoice::kFirstInterval);
  Between(choice, ThreadChoice::kFirstInterval, false);
  // It wins again: the next trial comes twice as late, and so on up to the longest interval.
  std::uint32_t interval = ThreadChoice::kFirstInterval;
  while (interval < ThreadChoice::kLongestInterval) {
    Trial(choice, 900, 500);
    interval *= 2;
    EXPECT_EQ(choice.interval(), interval);
    Between(choice, interval, false);
  }
  Trial(choice, 900, 500);
  EXPECT_EQ(choice.interval(), ThreadChoice::kLongestInterval);
  Between(choice, ThreadChoice::kLongestInterval, false);
  // Two threads win: the choice changes and the trials come often again.
  Trial(choice, 300, 500);
  EXPECT_TRUE(choice.two());
  EXPECT_EQ(choice.interval(), ThreadChoice::kFirstInterval);
  Between(choice, ThreadChoice::kFirstInterval, true);
}

TEST(ThreadChoice, ComparesTimePerBlockAndIgnoresTheUntimedSums) {
  ThreadChoice choice;
  // Two threads make sums of eight blocks in 2000 ns, one thread sums of two blocks in 1000:
  // per block two threads are the faster, though each of their sums takes longer. The untimed
  // first sums of each side are reported as very slow for two threads, and must not count.
  for (std::uint32_t n = 0; n < kTrialLength; ++n) {
    const ThreadChoice::Decision d = choice.Next();
    if (!d.timed) {
      choice.Record(d, d.two ? 1'000'000 : 1, 1);
    } else if (d.two) {
      choice.Record(d, 2000, 8);
    } else {
      choice.Record(d, 1000, 2);
    }
  }
  EXPECT_TRUE(choice.two());
  Between(choice, ThreadChoice::kFirstInterval, true);
}

TEST(ThreadChoice, ATrialWithoutBlocksOnASideKeepsTheChoice) {
  ThreadChoice choice;
  Trial(choice, 900, 500);
  ASSERT_FALSE(choice.two());
  Between(choice, ThreadChoice::kFirstInterval, false);
  // Every two-thread sum of this trial stopped before its first block was added.
  for (std::uint32_t n = 0; n < kTrialLength; ++n) {
    const ThreadChoice::Decision d = choice.Next();
    choice.Record(d, d.two ? 100 : 5000, d.two ? 0 : 4);
  }
  EXPECT_FALSE(choice.two());
}

}  // namespace
}  // namespace calvane
