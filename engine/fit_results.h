#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "app/app_state.h"
#include "formula/compiled_formula.h"

namespace calvane {

// The text of the R^2 field when R^2 cannot be computed.

// The result display of one refresh: the texts of the ten constant fields and the R^2 field
// (UTF-8), and R2Value for the results report.
struct FitResults {
  // k0..k9: empty for a constant the formula does not use, else FormatNumber of its value,
  // followed by " *" when provisional.
  std::array<std::string, 10> constant_texts;
  // FormatNumber(R2Value) (+ " *" when provisional), or "計算できません".
  std::string r2_text;
  bool r2_computed = false;
  double R2Value = 0.0;  // 0 when R^2 cannot be computed
};

// True for the workflow states whose values carry the provisional mark: 2 and -1.
bool IsProvisionalState(WorkflowStateValue workflow);

// Computes the result display for the constants `values` (by constant index) over the points
// 0, d, 2d, ... below points.count, in two passes: population means and deviations of the
// observed field (by left_side: X the x value, Y the y value) and of the model, then the covariance
// over the same points; R2Value = (covariance / (n * observed deviation * model deviation))^2. When
// a model value cannot be evaluated, or either deviation is 0 or not a real number, or the result
// is not finite, R2Value is 0 and r2_text "計算できません"; the constant texts keep their values.
// Evaluates with `scratch`, an independent copy of `formula` made here (CopyFrom) with
// paramValue set to `values`, so that it never overlaps an evaluation of `formula` elsewhere.
// Pure apart from `scratch`; any thread.
FitResults ComputeFitResults(const CompiledFormula& formula, const double* values,
                             const PointTable& points, LeftSide left_side,
                             std::uint8_t data_interval, bool provisional,
                             CompiledFormula& scratch);

// The same for state.engine.CurrentValue with a scratch formula of its own. The caller must make
// sure no worker evaluates state.formula meanwhile (no run, a paused run inside the snapshot).
FitResults ComputeFitResults(const AppState& state, bool provisional);

// The result display's refresh: ComputeFitResults(state, IsProvisionalState(workflow)) and
// state.engine.R2Value set from it. Main thread.
FitResults RefreshResults(AppState& state);

}  // namespace calvane
