#include "formula/library_math.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#if defined(__GLIBC__) && __has_include(<dlfcn.h>)
#include <dlfcn.h>
#define CALVANE_LOOKS_UP_UNWRAPPED_MATH 1
#endif

namespace calvane::eval {
namespace {

double WrappedExp(double r) { return std::exp(r); }
double WrappedLog(double r) { return std::log(r); }

bool SameBits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// Whether `candidate` gives the bits of `reference` on every probe: the special values, the
// edges of overflow and underflow, a sweep across the range where results are finite, and
// pseudo-random bit patterns of every sign and exponent. The candidates are the library's own
// routines under other names; the probes are there to refuse a symbol that turns out to be
// something else, which shows on almost any input. They are few, since every process checks
// them once, in its first evaluation.
bool AgreesOnProbes(MathRoutine candidate, MathRoutine reference) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  constexpr double kSpecial[] = {0.0,
                                 -0.0,
                                 kInf,
                                 -kInf,
                                 std::numeric_limits<double>::quiet_NaN(),
                                 std::numeric_limits<double>::denorm_min(),
                                 std::numeric_limits<double>::min(),
                                 std::numeric_limits<double>::max(),
                                 -std::numeric_limits<double>::max(),
                                 1.0,
                                 -1.0,
                                 709.782712893384,
                                 709.7827128933841,
                                 -708.3964185322641,
                                 -745.1332191019411,
                                 -745.1332191019412,
                                 0x1p-54,
                                 -0x1p-54};
  for (double r : kSpecial) {
    if (!SameBits(candidate(r), reference(r))) return false;
  }
  for (int i = -400; i <= 400; ++i) {
    const double r = i * 1.8631;
    if (!SameBits(candidate(r), reference(r))) return false;
  }
  std::uint64_t state = 0x9e3779b97f4a7c15u;
  for (int i = 0; i < 256; ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    const double r = std::bit_cast<double>(state);
    if (!SameBits(candidate(r), reference(r))) return false;
  }
  return true;
}

#ifdef CALVANE_LOOKS_UP_UNWRAPPED_MATH
// The routine exported under `name` at the version it was first exported with on this system's
// processor (x86-64, then AArch64); null where there is none.
MathRoutine LookUp(const char* name) {
  constexpr const char* kVersions[] = {"GLIBC_2.15", "GLIBC_2.17"};
  for (const char* version : kVersions) {
    if (void* routine = dlvsym(RTLD_DEFAULT, name, version)) {
      return reinterpret_cast<MathRoutine>(routine);
    }
  }
  return nullptr;
}
#endif

}  // namespace

MathRoutines CheckedRoutines(MathRoutine exp_candidate, MathRoutine log_candidate) {
  MathRoutines routines{WrappedExp, WrappedLog, false, false};
  if (exp_candidate != nullptr && AgreesOnProbes(exp_candidate, WrappedExp)) {
    routines.exp = exp_candidate;
    routines.unwrapped_exp = true;
  }
  if (log_candidate != nullptr && AgreesOnProbes(log_candidate, WrappedLog)) {
    routines.log = log_candidate;
    routines.unwrapped_log = true;
  }
  return routines;
}

const MathRoutines& Routines() {
#ifdef CALVANE_LOOKS_UP_UNWRAPPED_MATH
  static const MathRoutines routines =
      CheckedRoutines(LookUp("__exp_finite"), LookUp("__log_finite"));
#else
  static const MathRoutines routines = CheckedRoutines(nullptr, nullptr);
#endif
  return routines;
}

}  // namespace calvane::eval
