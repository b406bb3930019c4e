#include "engine/fit_results.h"

#include <cmath>
#include <memory>

#include "engine/engine_messages.h"
#include "formula/evaluator.h"
#include "formula/number_text.h"

namespace calvane {
namespace {

// The silent status of a refresh: the evaluator shows messages only while the status is 0, and
// any failure shows as a change of this value.
constexpr std::int8_t kSilentStatus = -100;

// Population standard deviation sqrt(n * sum of squares - sum^2) / n, or a negative value when
// the spread is 0 or not a real number (a zero, negative or non-number argument of the root), in
// which case R^2 cannot be computed.
double PopulationDeviation(double count, double sum, double sum_of_squares) {
  const double argument = count * sum_of_squares - sum * sum;
  if (!(argument > 0.0) || !std::isfinite(argument)) return -1.0;
  return SquareRoot(argument) / count;
}

}  // namespace

bool IsProvisionalState(WorkflowStateValue workflow) {
  return workflow == WorkflowStateValue::kStoppedResults || workflow == WorkflowStateValue::kPaused;
}

FitResults ComputeFitResults(const CompiledFormula& formula, const double* values,
                             const PointTable& points, LeftSide left_side,
                             std::uint8_t data_interval, bool provisional,
                             CompiledFormula& scratch) {
  FitResults results;
  const std::string mark(provisional ? text::kProvisionalMark : std::string_view());

  scratch.CopyFrom(formula);
  for (int k = 0; k < kMaxConstants; ++k) {
    const std::uint8_t v = formula.paramIndex[k];
    if (v >= kMaxConstants) continue;  // unused: the field stays empty
    results.constant_texts[static_cast<std::size_t>(k)] = FormatNumber(values[v]) + mark;
  }
  for (int v = 0; v < kMaxConstants; ++v) scratch.paramValue[v] = values[v];

  const std::uint32_t count = points.count <= kMaxPoints ? points.count : kMaxPoints;
  const std::uint32_t step = data_interval == 0 ? 1u : data_interval;

  // First pass: the sums of the two record fields, the model values and their squares (a value
  // raised to the power 2 by binary powering is exactly its product with itself).
  std::int8_t status = kSilentStatus;
  double n = 0.0;
  double sum_x = 0.0, sum_xx = 0.0, sum_y = 0.0, sum_yy = 0.0, sum_f = 0.0, sum_ff = 0.0;
  for (std::uint32_t i = 0; i < count; i += step) {
    const Point& point = points.records[i];
    const double f = EvaluateFormula(scratch, point, status, nullptr);
    n += 1.0;
    sum_x += point.x;
    sum_xx += point.x * point.x;
    sum_y += point.y;
    sum_yy += point.y * point.y;
    sum_f += f;
    sum_ff += f * f;
  }

  results.R2Value = 0.0;
  results.r2_text = text::kR2NotComputable;
  if (status != kSilentStatus || n == 0.0) return results;

  double observed_mean = 0.0;
  double observed_deviation = -1.0;
  if (left_side == LeftSide::X) {
    observed_mean = sum_x / n;
    observed_deviation = PopulationDeviation(n, sum_x, sum_xx);
  } else if (left_side == LeftSide::Y) {
    observed_mean = sum_y / n;
    observed_deviation = PopulationDeviation(n, sum_y, sum_yy);
  }
  const double model_mean = sum_f / n;
  const double model_deviation = PopulationDeviation(n, sum_f, sum_ff);
  if (observed_deviation <= 0.0 || model_deviation <= 0.0) return results;

  // Second pass: the covariance over the same points.
  double covariance = 0.0;
  for (std::uint32_t i = 0; i < count; i += step) {
    const Point& point = points.records[i];
    const double f = EvaluateFormula(scratch, point, status, nullptr);
    const double observed = left_side == LeftSide::X ? point.x : point.y;
    covariance += (observed - observed_mean) * (f - model_mean);
  }
  if (status != kSilentStatus) return results;

  const double correlation = covariance / (n * observed_deviation * model_deviation);
  const double r2 = correlation * correlation;
  if (!std::isfinite(r2)) return results;

  results.R2Value = r2;
  results.r2_computed = true;
  results.r2_text = FormatNumber(r2) + mark;
  return results;
}

FitResults ComputeFitResults(const AppState& state, bool provisional) {
  auto scratch = std::make_unique<CompiledFormula>();
  return ComputeFitResults(state.formula, state.engine.CurrentValue, state.points,
                           state.conditions.leftSide, state.conditions.dataInterval, provisional,
                           *scratch);
}

FitResults RefreshResults(AppState& state) {
  FitResults results =
      ComputeFitResults(state, IsProvisionalState(state.workflow.load(std::memory_order_acquire)));
  state.engine.R2Value = results.R2Value;
  return results;
}

}  // namespace calvane
