#pragma once

#include <cstdint>
#include <vector>

#include "app/app_state.h"
#include "base/point_table.h"
#include "formula/compiled_formula.h"
#include "formula/formula_types.h"

namespace calvane {

// Whether the statistics of a run could be computed.
enum class StatisticsVerdict {
  kComputed,
  kTooFewPoints,  // N <= n: no degree of freedom is left for the residual spread
  kNotEvaluable,  // the model cannot be evaluated at some used point with the reached constants
};

// One constant the formula uses, at the reached value.
struct ConstantStatistics {
  int digit = 0;  // the k of its name
  double value = 0.0;
  // False: the points do not determine it (it has no influence on the model, or it lies in a
  // direction the points cannot resolve); its error, limits and correlations are undetermined.
  bool determined = false;
  double standard_error = 0.0;
  // 100 * standard error / |value|; not finite when the value is 0.
  double relative_error_percent = 0.0;
  double lower_95 = 0.0;  // value -+ t * standard error
  double upper_95 = 0.0;
};

// One used point: its abscissa (x, or y when x is the left side), the observed value (the left
// side's field), the model value and observed minus model.
struct ResidualPoint {
  double abscissa = 0.0;
  double observed = 0.0;
  double model = 0.0;
  double residual = 0.0;
};

struct FitStatistics {
  StatisticsVerdict verdict = StatisticsVerdict::kComputed;
  std::uint32_t point_count = 0;  // N: the points 0, d, 2d, ... used by the fit
  std::uint32_t data_interval = 1;
  int constant_count = 0;  // n: the constants the formula uses
  std::int64_t degrees_of_freedom = 0;
  double rss = 0.0;          // residual sum of squares
  double residual_sd = 0.0;  // s = sqrt(RSS / (N - n))
  // The main window's R^2, the squared correlation of observed and model values; r2_computed
  // false where the main window shows "計算できません".
  bool r2_computed = false;
  double r2 = 0.0;
  // 1 - RSS / TSS and 1 - (1 - that) (N - 1) / (N - n); not finite when the observed values do
  // not vary.
  double determination = 0.0;
  double adjusted_determination = 0.0;
  // Of the Gaussian likelihood at its maximum, with n + 1 estimated quantities (the constants
  // and the error variance): AIC = N (ln(2 pi RSS / N) + 1) + 2 (n + 1), BIC the same with
  // (n + 1) ln N. Not finite for a perfect fit.
  double aic = 0.0;
  double bic = 0.0;
  double t_quantile = 0.0;  // Student's t, N - n degrees of freedom, two-sided 95 %
  std::vector<ConstantStatistics> constants;  // the used constants in the order of k
  // correlation[i][j] between constants i and j; not finite where either is undetermined.
  std::vector<std::vector<double>> correlation;
  std::vector<ResidualPoint> residuals;  // every used point, in point order
};

// What the statistics are computed from. `values` and `accuracy` are indexed by constant index
// (paramIndex of the formula), as the engine's arrays are.
struct StatisticsInput {
  const CompiledFormula* formula = nullptr;  // with the run's angle unit applied
  const double* values = nullptr;
  const double* accuracy = nullptr;  // the central-difference step of each constant
  const PointTable* points = nullptr;
  LeftSide left_side = LeftSide::Y;
  std::uint8_t data_interval = 1;
};

// The statistics of a least-squares fit at the given constants, over the points 0, d, 2d, ...
// below points.count. The model values come from EvaluateFormula on a private copy of the
// formula (silent status), so they are the values the fit itself evaluated.
//
// The Jacobian J (N x n) is formed by central differences, constant j moved by +-accuracy[j];
// a constant whose moved model cannot be evaluated is undetermined. The covariance
// s^2 (J^T J)^-1 comes from the singular value decomposition of J with its columns scaled to
// unit length (so that the rank decision does not depend on the constants' units): singular
// values below 1e-8 of the largest count as zero. That is where J^T J, whose condition number
// is the square of J's, reaches the reciprocal of the double precision (about 1e-16), so that
// nothing beyond it can be told from rounding and difference noise. A constant with a zero column
// or with more than 1 % of its direction (squared component 1e-4) in the zero space is
// undetermined; the others get the variances of the pseudo-inverse. Pure; any thread.
FitStatistics ComputeFitStatistics(const StatisticsInput& input);

// The same for the results of the last run in `state`: formula, CurrentValue, Accuracy, the
// point table, LeftSide and dataInterval. No worker may run meanwhile. Main thread.
FitStatistics ComputeFitStatistics(const AppState& state);

}  // namespace calvane
