#pragma once

#include <cstdint>
#include <memory>

#include "engine/fit_context.h"
#include "formula/block_evaluator.h"

namespace calvane {

struct RoughPrograms;

// The rough estimate's block programs and the probes' workspace, about 180 KB: kept from one run
// to the next (RunResources), so that a run neither makes nor frees them. Everything in them is
// written by the phase before it is read.
class RoughScratch {
 public:
  RoughScratch();
  ~RoughScratch();
  RoughScratch(const RoughScratch&) = delete;
  RoughScratch& operator=(const RoughScratch&) = delete;

  // Makes both on first use; false when the memory cannot be had.
  bool Reserve();
  RoughPrograms& programs() { return *programs_; }
  BlockWorkspace& workspace() { return *workspace_; }

 private:
  std::unique_ptr<RoughPrograms> programs_;
  std::unique_ptr<BlockWorkspace> workspace_;
};

// The rough estimate: one linearised (Gauss-Newton) step from CurrentValue. Forward differences
// of the model (a hundredth of each user accuracy for the residual's derivative, the whole
// accuracy for the matrix columns, each with a doubled fallback step when the model cannot be
// evaluated) build the normal matrix and right-hand side, which Gauss-Jordan elimination solves
// without magnitude pivoting (a zero pivot is exchanged with the first later row that has a
// non-zero entry in its column). The solution is accepted only when it lowers the sum of
// squares. Writes its lines to the log and sets CycleCounter to the point reached.
// `MinSquare` is in/out (starts at 1e300 from the driver); `EvalStatus` is the run's status
// byte. Giving up (overflow at the start, a model that cannot be evaluated even at the fallback
// step, a pivot column of zeros) writes its message and "概略推測不可能" and returns kContinue with
// CurrentValue and paramValue unchanged. Returns kStopped only on abort (state.workflow -10,
// checked after every point), with CurrentValue unchanged.
// Thread: the worker thread.
PhaseEnd RoughEstimate(FitContext& ctx, double& MinSquare, int n, std::int8_t& EvalStatus);

// Solves `matrix` x = `rhs` (n x n, row-major in a 10 x 10 array) by Gauss-Jordan elimination in
// place: afterwards `matrix` is the identity (up to rounding) and `rhs` the solution. Only an
// exact 0 pivot leads to an exchange, with the first row below it whose entry in the pivot
// column is not 0. Returns false when there is none.
bool SolveGaussJordan(double (&matrix)[kMaxConstants][kMaxConstants], double (&rhs)[kMaxConstants],
                      int n);

}  // namespace calvane
