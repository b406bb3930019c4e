#include "formula/library_math.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace calvane::eval {
namespace {

std::uint64_t Bits(double v) { return std::bit_cast<std::uint64_t>(v); }

// The routines the evaluator calls give std::exp's and std::log's bits on far more values than
// the probes they were checked on: random bit patterns of every sign and exponent, and values
// spread over the ranges where the results are finite and normal.
TEST(LibraryMath, TheEvaluatorsRoutinesGiveTheBitsOfStdExpAndLog) {
  const MathRoutines& routines = Routines();
#if defined(__GLIBC__) && defined(__x86_64__)
  // Here the library has the routines without the errno wrapper; losing them costs speed.
  EXPECT_TRUE(routines.unwrapped_exp);
  EXPECT_TRUE(routines.unwrapped_log);
#endif
  std::mt19937_64 random(20261208);
  std::uniform_real_distribution<double> exponent(-745.0, 710.0);
  std::uniform_real_distribution<double> positive(0.0, 700.0);
  int differing = 0;
  for (int i = 0; i < 300000; ++i) {
    const double pattern = std::bit_cast<double>(random());
    const double r = exponent(random);
    const double p = std::exp(positive(random)) * (i % 2 ? 1e-300 : 1.0);
    differing += Bits(routines.exp(pattern)) != Bits(std::exp(pattern));
    differing += Bits(routines.exp(r)) != Bits(std::exp(r));
    differing += Bits(routines.log(pattern)) != Bits(std::log(pattern));
    differing += Bits(routines.log(p)) != Bits(std::log(p));
  }
  EXPECT_EQ(differing, 0);
}

double ExpOneUlpHighAbove700(double r) {
  const double e = std::exp(r);
  return r > 700.0 ? std::nextafter(e, std::numeric_limits<double>::infinity()) : e;
}
double LogOfNaNAsZero(double r) { return std::isnan(r) ? 0.0 : std::log(r); }
double LogOneUlpLowForSubnormals(double r) {
  return r > 0.0 && r < std::numeric_limits<double>::min() ? std::nextafter(std::log(r), 0.0)
                                                           : std::log(r);
}
double SameAsExp(double r) { return std::exp(r); }
double SameAsLog(double r) { return std::log(r); }

TEST(LibraryMath, ACandidateIsTakenOnlyWhereItAgreesOnEveryProbe) {
  MathRoutines taken = CheckedRoutines(SameAsExp, SameAsLog);
  EXPECT_TRUE(taken.unwrapped_exp && taken.unwrapped_log);
  EXPECT_EQ(taken.exp, &SameAsExp);

  for (MathRoutine wrong_log : {&LogOfNaNAsZero, &LogOneUlpLowForSubnormals}) {
    MathRoutines refused = CheckedRoutines(ExpOneUlpHighAbove700, wrong_log);
    EXPECT_FALSE(refused.unwrapped_exp || refused.unwrapped_log);
    EXPECT_EQ(Bits(refused.exp(709.5)), Bits(std::exp(709.5)));
    EXPECT_EQ(Bits(refused.log(4e-320)), Bits(std::log(4e-320)));
  }

  MathRoutines none = CheckedRoutines(nullptr, SameAsLog);
  EXPECT_FALSE(none.unwrapped_exp);
  EXPECT_TRUE(none.unwrapped_log);
  EXPECT_EQ(Bits(none.exp(1.0)), Bits(std::exp(1.0)));
}

}  // namespace
}  // namespace calvane::eval
