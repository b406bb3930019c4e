#pragma once

#include <cmath>
#include <cstdint>

#include "formula/library_math.h"

// The element functions of the evaluator's operations, shared by the single-point evaluator and
// the block evaluator so that both compute every value with the same expression.

namespace calvane::eval {

constexpr double kRangeLimit = 1e302;
// Whether a value lies outside [-kRangeLimit, kRangeLimit] or is not a number (status 25).
inline bool OutsideRange(double v) { return !(std::fabs(v) <= kRangeLimit); }
constexpr double kDegreesToRadians = 0.0174532925199433;
constexpr double kRadiansToDegrees = 57.2957795130823;
constexpr double kHalfTurn = 3.14159265358979;
constexpr double kQuarterTurn = 1.5707963267948966;
constexpr double kTwoTo31 = 2147483648.0;

inline bool IsWholeInt32(double r) { return r >= -kTwoTo31 && r < kTwoTo31 && r == std::floor(r); }

// Whether x^e is computed by binary powering (a whole exponent of at most 2^31 - 1 in magnitude)
// rather than by the library's power routine.
inline bool PowersBySquaring(double e) {
  return e == std::floor(e) && std::fabs(e) <= 2147483647.0;
}

// reduced(R) of the degree functions: R less its whole turns, computed as (R + t mod 360) - t
// with t the 32-bit truncation of R; for magnitudes from 2^31 on (and for non-numbers) the
// floating-point remainder, so that no out-of-range conversion happens.
inline double ReduceDegrees(double r) {
  if (std::fabs(r) < kTwoTo31) {
    const std::int32_t t = static_cast<std::int32_t>(r);
    const std::int32_t m = t % 360;
    return (r + static_cast<double>(m)) - static_cast<double>(t);
  }
  return std::fmod(r, 360.0);
}

// Valid for r within [-1, 1]; outside it the caller reports the domain error instead.
inline double AsinRadians(double r) {
  return r == -1.0  ? -kQuarterTurn
         : r == 1.0 ? kQuarterTurn
                    : std::atan(r / std::sqrt(1.0 - r * r));
}
inline double AcosRadians(double r) {
  return r == 0.0  ? kQuarterTurn
         : r > 0.0 ? std::atan(std::sqrt(1.0 - r * r) / r)
                   : std::atan(std::sqrt(1.0 - r * r) / r) + kHalfTurn;
}
inline double AsinDegrees(double r) {
  return r == -1.0  ? -90.0
         : r == 1.0 ? 90.0
                    : std::atan(r / std::sqrt(1.0 - r * r)) * kRadiansToDegrees;
}
inline double AcosDegrees(double r) {
  return r == 0.0  ? 90.0
         : r > 0.0 ? std::atan(std::sqrt(1.0 - r * r) / r) * kRadiansToDegrees
                   : std::atan(std::sqrt(1.0 - r * r) / r) * kRadiansToDegrees + 180.0;
}
inline double SinDegrees(double r) { return std::sin(ReduceDegrees(r) * kDegreesToRadians); }
inline double CosDegrees(double r) { return std::cos(ReduceDegrees(r) * kDegreesToRadians); }
inline double TanDegrees(double r) { return std::tan(ReduceDegrees(r) * kDegreesToRadians); }
inline double AtanDegrees(double r) { return std::atan(r) * kRadiansToDegrees; }
// Log is the quotient of two natural logarithms, not a base-10 function.
inline double LogTen(double r) { return Ln(r) / std::log(10.0); }
// The square root of a value of at least 0 (the evaluator's Sqrt; 0 and -0 give 0).
inline double SqrtNonNegative(double r) { return r == 0.0 ? 0.0 : std::sqrt(r); }

}  // namespace calvane::eval
