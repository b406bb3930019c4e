#pragma once

#include <cstdint>

#include "app/app_state.h"
#include "engine/calculation_log.h"
#include "engine/progress_view.h"
#include "formula/evaluator.h"

namespace calvane {
class RoughScratch;
class SumWorkers;
}  // namespace calvane

namespace calvane {

// What the worker and its phases share during one run, on the worker thread.
struct FitContext {
  AppState& state;
  ProgressView& view;
  CalculationLog& log;
  FormulaMessages* messages;  // the evaluator's messages (to the view); may be null
  SumWorkers* sums;           // how the sums are computed; null: one evaluation per point
  RoughScratch* rough;        // the rough estimate's programs; null: the phase makes its own
};

// How a phase ended: the run goes on, or the worker ends with exit code 2 (abort or overflow).
enum class PhaseEnd { kContinue, kStopped };

// The engine's value for a sum of squares that cannot be computed.
constexpr double kUncomputableSum = 1e300;

// A residual at least this large at the start of a phase ends it (overflow).
constexpr double kOverflowResidual = 1e100;

}  // namespace calvane
