#include "report/fit_statistics.h"

#include <Eigen/Dense>
#include <array>
#include <boost/math/distributions/students_t.hpp>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>

#include "engine/fit_results.h"
#include "formula/evaluator.h"

namespace calvane {
namespace {

// The evaluator shows messages only while the status is 0; any failure changes this value.
constexpr std::int8_t kSilentStatus = -100;

// Singular values of the column-scaled Jacobian below this fraction of the largest are zero.
constexpr double kRankTolerance = 1e-8;
// A constant with a larger squared component in the zero space is undetermined.
constexpr double kNullComponentLimit = 1e-4;

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

// The model values at the used points with the constants in scratch.paramValue; false when one
// of them cannot be evaluated.
bool ModelValues(CompiledFormula& scratch, const std::vector<const Point*>& used,
                 Eigen::VectorXd& model) {
  std::int8_t status = kSilentStatus;
  model.resize(static_cast<Eigen::Index>(used.size()));
  for (std::size_t i = 0; i < used.size(); ++i) {
    model(static_cast<Eigen::Index>(i)) = EvaluateFormula(scratch, *used[i], status, nullptr);
  }
  return status == kSilentStatus && model.allFinite();
}

// Fills the error, limits and correlations from the Jacobian `jacobian` (columns in the order of
// stats.constants, each column marked usable or not in `usable`).
void Covariance(const Eigen::MatrixXd& jacobian, const std::vector<bool>& usable,
                FitStatistics& stats) {
  const std::size_t n = stats.constants.size();
  // The usable columns, scaled to unit length; a zero column has no influence.
  std::vector<std::size_t> kept;
  std::vector<double> scale;
  for (std::size_t j = 0; j < n; ++j) {
    if (!usable[j]) continue;
    const double norm = jacobian.col(static_cast<Eigen::Index>(j)).norm();
    if (!(norm > 0.0) || !std::isfinite(norm)) continue;
    kept.push_back(j);
    scale.push_back(norm);
  }
  stats.correlation.assign(n, std::vector<double>(n, kNotANumber));
  if (kept.empty()) return;

  const auto m = static_cast<Eigen::Index>(kept.size());
  Eigen::MatrixXd scaled(jacobian.rows(), m);
  for (Eigen::Index c = 0; c < m; ++c) {
    const auto at = static_cast<std::size_t>(c);
    scaled.col(c) = jacobian.col(static_cast<Eigen::Index>(kept[at])) / scale[at];
  }
  const Eigen::JacobiSVD<Eigen::MatrixXd> svd(scaled, Eigen::ComputeThinV);
  const Eigen::VectorXd& singular = svd.singularValues();
  const Eigen::MatrixXd& v = svd.matrixV();
  const double largest = singular(0);
  Eigen::VectorXd inverse_square = Eigen::VectorXd::Zero(m);
  std::vector<bool> zero(static_cast<std::size_t>(m), false);
  for (Eigen::Index i = 0; i < m; ++i) {
    if (singular(i) > kRankTolerance * largest) {
      inverse_square(i) = 1.0 / (singular(i) * singular(i));
    } else {
      zero[static_cast<std::size_t>(i)] = true;
    }
  }
  // The pseudo-inverse of the scaled J^T J, V S^-2 V^T over the nonzero singular values.
  Eigen::MatrixXd inverse = v * inverse_square.asDiagonal() * v.transpose();
  inverse = (0.5 * (inverse + inverse.transpose())).eval();  // symmetric to the last bit
  const double variance = stats.residual_sd * stats.residual_sd;

  std::vector<bool> determined(static_cast<std::size_t>(m), true);
  for (Eigen::Index r = 0; r < m; ++r) {
    double in_zero_space = 0.0;
    for (Eigen::Index i = 0; i < m; ++i) {
      if (zero[static_cast<std::size_t>(i)]) in_zero_space += v(r, i) * v(r, i);
    }
    if (in_zero_space > kNullComponentLimit) determined[static_cast<std::size_t>(r)] = false;
  }
  for (Eigen::Index r = 0; r < m; ++r) {
    const auto at = static_cast<std::size_t>(r);
    if (!determined[at]) continue;
    ConstantStatistics& c = stats.constants[kept[at]];
    c.determined = true;
    c.standard_error = std::sqrt(variance * inverse(r, r)) / scale[at];
    c.relative_error_percent =
        c.value == 0.0 ? kNotANumber : 100.0 * c.standard_error / std::fabs(c.value);
    c.lower_95 = c.value - stats.t_quantile * c.standard_error;
    c.upper_95 = c.value + stats.t_quantile * c.standard_error;
  }
  for (Eigen::Index r = 0; r < m; ++r) {
    for (Eigen::Index c = 0; c < m; ++c) {
      const auto ra = static_cast<std::size_t>(r);
      const auto ca = static_cast<std::size_t>(c);
      if (!determined[ra] || !determined[ca]) continue;
      const double denominator = std::sqrt(inverse(r, r) * inverse(c, c));
      stats.correlation[kept[ra]][kept[ca]] =
          r == c ? 1.0 : (denominator > 0.0 ? inverse(r, c) / denominator : kNotANumber);
    }
  }
}

}  // namespace

FitStatistics ComputeFitStatistics(const StatisticsInput& input) {
  FitStatistics stats;
  const CompiledFormula& formula = *input.formula;
  const PointTable& points = *input.points;
  const std::uint32_t step = input.data_interval == 0 ? 1u : input.data_interval;
  stats.data_interval = step;

  // The used constants in the order of k, and their constant indexes.
  std::vector<std::uint8_t> index;
  for (int k = 0; k < kMaxConstants; ++k) {
    const std::uint8_t v = formula.paramIndex[k];
    if (v >= kMaxConstants) continue;
    index.push_back(v);
    ConstantStatistics c;
    c.digit = k;
    c.value = input.values[v];
    stats.constants.push_back(c);
  }
  const std::size_t n = index.size();
  stats.constant_count = static_cast<int>(n);

  const std::uint32_t count = points.count <= kMaxPoints ? points.count : kMaxPoints;
  std::vector<const Point*> used;
  for (std::uint32_t i = 0; i < count; i += step) used.push_back(&points.records[i]);
  stats.point_count = static_cast<std::uint32_t>(used.size());
  stats.degrees_of_freedom =
      static_cast<std::int64_t>(stats.point_count) - static_cast<std::int64_t>(n);

  auto scratch = std::make_unique<CompiledFormula>();
  scratch->CopyFrom(formula);
  for (int v = 0; v < kMaxConstants; ++v) scratch->paramValue[v] = input.values[v];

  Eigen::VectorXd model;
  const bool evaluable = ModelValues(*scratch, used, model);
  const bool observed_is_x = input.left_side == LeftSide::X;
  for (std::size_t i = 0; i < used.size(); ++i) {
    const Point& p = *used[i];
    ResidualPoint r;
    r.abscissa = observed_is_x ? p.y : p.x;
    r.observed = observed_is_x ? p.x : p.y;
    r.model = model(static_cast<Eigen::Index>(i));
    r.residual = r.observed - r.model;
    stats.residuals.push_back(r);
  }
  if (!evaluable) {
    stats.verdict = StatisticsVerdict::kNotEvaluable;
    return stats;
  }
  if (stats.degrees_of_freedom < 1) {
    stats.verdict = StatisticsVerdict::kTooFewPoints;
    return stats;
  }

  // Sums of the residuals and of the observed values.
  const double big_n = static_cast<double>(stats.point_count);
  double observed_sum = 0.0;
  for (const ResidualPoint& r : stats.residuals) {
    stats.rss += r.residual * r.residual;
    observed_sum += r.observed;
  }
  const double observed_mean = observed_sum / big_n;
  double tss = 0.0;
  for (const ResidualPoint& r : stats.residuals) {
    tss += (r.observed - observed_mean) * (r.observed - observed_mean);
  }
  const double dof = static_cast<double>(stats.degrees_of_freedom);
  stats.residual_sd = std::sqrt(stats.rss / dof);
  stats.determination = tss > 0.0 ? 1.0 - stats.rss / tss : kNotANumber;
  stats.adjusted_determination = 1.0 - (1.0 - stats.determination) * (big_n - 1.0) / dof;
  const double log_likelihood_term = big_n * (std::log(2.0 * std::numbers::pi * stats.rss / big_n) +
                                              1.0);  // -2 ln L at its maximum
  const double estimated = static_cast<double>(n) + 1.0;
  stats.aic = log_likelihood_term + 2.0 * estimated;
  stats.bic = log_likelihood_term + estimated * std::log(big_n);
  const boost::math::students_t_distribution<double> t(dof);
  stats.t_quantile = boost::math::quantile(boost::math::complement(t, 0.025));

  // The main window's R^2, computed as the results display computes it.
  {
    auto r2_scratch = std::make_unique<CompiledFormula>();
    const FitResults shown =
        ComputeFitResults(formula, input.values, points, input.left_side, input.data_interval,
                          /*provisional=*/false, *r2_scratch);
    stats.r2_computed = shown.r2_computed;
    stats.r2 = shown.R2Value;
  }

  // The Jacobian by central differences: column j is (f(k + h_j) - f(k - h_j)) / (2 h_j).
  Eigen::MatrixXd jacobian(static_cast<Eigen::Index>(used.size()), static_cast<Eigen::Index>(n));
  std::vector<bool> usable(n, false);
  Eigen::VectorXd plus;
  Eigen::VectorXd minus;
  for (std::size_t j = 0; j < n; ++j) {
    const std::uint8_t v = index[j];
    const double h = input.accuracy[v];
    const double base = input.values[v];
    if (!(h > 0.0) || !std::isfinite(h)) continue;
    scratch->paramValue[v] = base + h;
    const bool plus_ok = ModelValues(*scratch, used, plus);
    scratch->paramValue[v] = base - h;
    const bool minus_ok = ModelValues(*scratch, used, minus);
    scratch->paramValue[v] = base;
    if (!plus_ok || !minus_ok) continue;
    const double width = (base + h) - (base - h);  // the step as the doubles realise it
    if (!(width > 0.0)) continue;
    jacobian.col(static_cast<Eigen::Index>(j)) = (plus - minus) / width;
    usable[j] = true;
  }
  Covariance(jacobian, usable, stats);
  return stats;
}

FitStatistics ComputeFitStatistics(const AppState& state) {
  StatisticsInput input;
  input.formula = &state.formula;
  input.values = state.engine.CurrentValue;
  input.accuracy = state.engine.Accuracy;
  input.points = &state.points;
  input.left_side = state.conditions.leftSide;
  input.data_interval = state.conditions.dataInterval;
  return ComputeFitStatistics(input);
}

}  // namespace calvane
