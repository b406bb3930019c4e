#pragma once

// The evaluator's exponential and natural logarithm.
//
// glibc's exp and log are thin wrappers that only set errno around the routines that compute the
// value, and on x86-64 the wrapper costs a quarter of exp's time. The library also exports the
// computing routines themselves, without the wrapper, under its older finite-math names. The
// evaluator calls those when the library has them and they give, on a fixed set of probes, the
// very bits std::exp and std::log give; otherwise it calls std::exp and std::log. Either way
// every value is the library's own, bit for bit. The evaluator never reads errno.

namespace calvane::eval {

using MathRoutine = double (*)(double);

struct MathRoutines {
  MathRoutine exp;
  MathRoutine log;
  // Whether exp and log are the library's routines without the errno wrapper.
  bool unwrapped_exp;
  bool unwrapped_log;
};

// The routines `exp_candidate` and `log_candidate` (either may be null) where each gives the bits
// of std::exp and std::log on every probe, std::exp and std::log where not.
MathRoutines CheckedRoutines(MathRoutine exp_candidate, MathRoutine log_candidate);

// The routines of this process: looked up in the library and checked once, on first use.
const MathRoutines& Routines();

inline double Exp(double r) { return Routines().exp(r); }
inline double Ln(double r) { return Routines().log(r); }

}  // namespace calvane::eval
