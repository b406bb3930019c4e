// Evaluator throughput: nanoseconds per point over 65536 points for four fitting formulas, each
// against a hand-written loop of the same formula (same operations in the same order, so both
// give the same bits) in the same run. After the runs the ratios evaluator / hand-written loop
// are printed next to their targets.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/point_table.h"
#include "bench/bench_reporter.h"
#include "bench/other_constants.h"
#include "engine/parallel_sums.h"
#include "formula/block_evaluator.h"
#include "formula/compiled_formula.h"
#include "formula/evaluator.h"
#include "formula/formula_check.h"

namespace calvane {
namespace {

constexpr int kPoints = 65536;

const std::vector<Point>& Points() {
  static const std::vector<Point> points = [] {
    std::vector<Point> p(kPoints);
    std::mt19937_64 rng(12345);
    std::uniform_real_distribution<double> noise(-0.01, 0.01);
    for (int i = 0; i < kPoints; ++i) {
      p[i].x = -3.0 + 6.0 * i / kPoints;
      p[i].y = std::exp(-p[i].x * p[i].x) + noise(rng);
    }
    return p;
  }();
  return points;
}

// The hand-written loops' formulas, in the order of operations the formula compiles to.
inline double Line(const double* k, double x) { return k[0] * x + k[1]; }
inline double Gaussian(const double* k, double x) {
  const double d = x - k[1];
  return k[0] * std::exp(-((d * d) / k[2]));
}
inline double Rational(const double* k, double x) {
  const double x2 = x * x;
  const double x3 = x * x2;
  const double num = ((k[0] + k[1] * x) + k[2] * x2) + k[3] * x3;
  const double den = ((1.0 + k[4] * x) + k[5] * x2) + k[6] * x3;
  return num / den;
}
inline double Sine(const double* k, double x) { return k[0] * std::sin(k[1] * x + k[2]) + k[3]; }

using HandFormula = double (*)(const double*, double);

struct BenchFormula {
  const char* name;
  const char* text;
  std::vector<double> constants;  // k0, k1, ...
  double target;                  // the ratio to stay within
};

const BenchFormula kFormulas[] = {
    {"line", "k0*x+k1", {1.5, -0.25}, 6.0},
    {"gaussian", "k0*Exp(-(x-k1)^2/k2)", {1.2, 0.3, 0.8}, 3.0},
    {"rational",
     "(k0+k1*x+k2*x^2+k3*x^3)/(1+k4*x+k5*x^2+k6*x^3)",
     {0.5, -1.25, 0.75, 0.125, 0.25, 0.5, 0.0625},
     20.0},
    {"sine", "k0*Sin(k1*x+k2)+k3", {2.0, 1.5, 0.25, -0.5}, 2.0},
};

std::unique_ptr<CompiledFormula> Compile(const BenchFormula& bf) {
  auto f = std::make_unique<CompiledFormula>();
  if (CheckFormula(*f, bf.text, LeftSide::NotSelected) != FormulaCheckCode::FormulaValid) {
    std::fprintf(stderr, "formula %s does not check\n", bf.text);
    std::abort();
  }
  for (std::size_t n = 0; n < bf.constants.size(); ++n) {
    f->paramValue[f->paramIndex[n]] = bf.constants[n];
  }
  ApplyAngleUnit(*f, AngleUnit::Radian);
  return f;
}

double EvaluatorSum(CompiledFormula& f, const std::vector<Point>& points, std::int8_t& status) {
  double sum = 0.0;
  for (const Point& p : points) sum += EvaluateFormula(f, p, status, nullptr);
  return sum;
}

template <HandFormula kFormula>
double HandSum(const double* k, const std::vector<Point>& points) {
  double sum = 0.0;
  for (const Point& p : points) sum += kFormula(k, p.x);
  return sum;
}

// Reports the time per point of the kPoints each iteration goes over.
void CountPerPoint(benchmark::State& state) {
  state.counters["per_point"] = benchmark::Counter(
      kPoints, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Evaluator(benchmark::State& state, int index) {
  const BenchFormula& bf = kFormulas[index];
  auto f = Compile(bf);
  const std::vector<Point>& points = Points();
  std::int8_t status = 0;
  const double hand = index == 0   ? HandSum<Line>(bf.constants.data(), points)
                      : index == 1 ? HandSum<Gaussian>(bf.constants.data(), points)
                      : index == 2 ? HandSum<Rational>(bf.constants.data(), points)
                                   : HandSum<Sine>(bf.constants.data(), points);
  if (EvaluatorSum(*f, points, status) != hand || status != 0) {
    state.SkipWithError("the evaluator and the hand-written loop disagree");
    return;
  }
  for (auto _ : state) {
    double sum = EvaluatorSum(*f, points, status);
    benchmark::DoNotOptimize(sum);
  }
  CountPerPoint(state);
}

// The hand-written loop, with the formula inlined.
template <HandFormula kFormula>
void BM_Hand(benchmark::State& state, int index) {
  const double* k = kFormulas[index].constants.data();
  const std::vector<Point>& points = Points();
  for (auto _ : state) {
    double sum = HandSum<kFormula>(k, points);
    benchmark::DoNotOptimize(sum);
  }
  CountPerPoint(state);
}

// The sum of squared residuals of a fit (observed y), through SumOfSquares.
void BM_EvaluatorSum(benchmark::State& state, int index) {
  auto f = Compile(kFormulas[index]);
  const std::vector<Point>& points = Points();
  SumOfSquaresTask task;
  task.points = points.data();
  task.count = kPoints;
  BlockWorkspace workspace;
  task.workspace = &workspace;
  std::int8_t status = 0;
  for (auto _ : state) {
    double sum = SumOfSquares(*f, task, status, nullptr).sum;
    benchmark::DoNotOptimize(sum);
  }
  CountPerPoint(state);
}

// The sum as a run makes it below the two-thread threshold: through the run's SumWorkers, in
// blocks on this thread, reading x and the observed values from the rows it makes once; every
// sum at other constants, as a search asks for them.
void BM_WorkersSum(benchmark::State& state, int index) {
  auto f = Compile(kFormulas[index]);
  const std::vector<Point>& points = Points();
  SumOfSquaresTask task;
  task.points = points.data();
  task.count = kPoints;
  SumWorkers workers(SumSettings{true, 0});
  std::int8_t status = 0;
  for (auto _ : state) {
    bench::MoveK0(*f);
    double sum = workers.Sum(*f, task, status, nullptr).sum;
    benchmark::DoNotOptimize(sum);
  }
  CountPerPoint(state);
}

// The Gaussian's sum as a run makes it above the two-thread threshold: the terms on two threads,
// added in point order on this one; every sum at other constants. Wall-clock time.
void BM_TwoThreadSum(benchmark::State& state, int index) {
  auto f = Compile(kFormulas[index]);
  const std::vector<Point>& points = Points();
  SumOfSquaresTask task;
  task.points = points.data();
  task.count = kPoints;
  SumWorkers workers(SumSettings{true, 1});
  std::int8_t status = 0;
  for (auto _ : state) {
    bench::MoveK0(*f);
    double sum = workers.Sum(*f, task, status, nullptr).sum;
    benchmark::DoNotOptimize(sum);
  }
}

template <HandFormula kFormula>
void BM_HandSum(benchmark::State& state, int index) {
  const double* k = kFormulas[index].constants.data();
  const std::vector<Point>& points = Points();
  for (auto _ : state) {
    double sum = 0.0;
    for (const Point& p : points) {
      const double r = p.y - kFormula(k, p.x);
      sum += r * r;
    }
    benchmark::DoNotOptimize(sum);
  }
  CountPerPoint(state);
}

// Collects the real time per benchmark so that the ratios can be printed after the runs.
class RatioReporter : public bench::TimeCollectingReporter {
 public:
  RatioReporter() : TimeCollectingReporter(Pick::kFastest) {}

  void PrintRatios() const override {
    std::printf("\nEvaluator / hand-written loop (ns per point, %d points):\n", kPoints);
    for (const BenchFormula& bf : kFormulas) {
      auto e = Time(std::string("evaluator/") + bf.name);
      auto h = Time(std::string("hand/") + bf.name);
      if (!e || !h) continue;
      const double ratio = *e / *h;
      std::printf("  %-9s evaluator %7.2f ns  hand %6.2f ns  ratio %5.2fx  (target %4.1fx) %s\n",
                  bf.name, *e / kPoints, *h / kPoints, ratio, bf.target,
                  ratio <= bf.target ? "ok" : "ABOVE TARGET");
    }
    std::printf("Sum of squared residuals, SumOfSquares / hand-written loop:\n");
    for (const BenchFormula& bf : kFormulas) {
      auto e = Time(std::string("sum/") + bf.name);
      auto h = Time(std::string("hand_sum/") + bf.name);
      if (!e || !h) continue;
      std::printf("  %-9s SumOfSquares %7.2f ns  hand %6.2f ns  ratio %5.2fx\n", bf.name,
                  *e / kPoints, *h / kPoints, *e / *h);
    }
    std::printf(
        "Sum of squared residuals as a run makes it (SumWorkers, one thread) / hand-written "
        "loop (target 1.3x, the rational 2x):\n");
    for (const BenchFormula& bf : kFormulas) {
      auto e = Time(std::string("sum_run/") + bf.name);
      auto h = Time(std::string("hand_sum/") + bf.name);
      if (!e || !h) continue;
      std::printf("  %-9s SumWorkers %7.2f ns  hand %6.2f ns  ratio %5.2fx\n", bf.name,
                  *e / kPoints, *h / kPoints, *e / *h);
    }
    auto two = RealTime("sum_two_threads/gaussian");
    auto hand = RealTime("hand_sum/gaussian");
    if (two && hand) {
      std::printf(
          "Gaussian sum on two threads / hand-written loop on one, wall clock: %.2f ns "
          "against %.2f ns, ratio %.2fx (target below 0.6x)\n",
          *two / kPoints, *hand / kPoints, *two / *hand);
    }
  }
};

// Each evaluator run is followed directly by its hand-written loop, so that both see the same
// machine load.
void Register() {
  void (*hand[])(benchmark::State&, int) = {BM_Hand<Line>, BM_Hand<Gaussian>, BM_Hand<Rational>,
                                            BM_Hand<Sine>};
  for (int i = 0; i < 4; ++i) {
    benchmark::RegisterBenchmark((std::string("evaluator/") + kFormulas[i].name).c_str(),
                                 BM_Evaluator, i);
    benchmark::RegisterBenchmark((std::string("hand/") + kFormulas[i].name).c_str(), hand[i], i);
  }
  void (*hand_sum[])(benchmark::State&, int) = {BM_HandSum<Line>, BM_HandSum<Gaussian>,
                                                BM_HandSum<Rational>, BM_HandSum<Sine>};
  for (int i = 0; i < 4; ++i) {
    benchmark::RegisterBenchmark((std::string("sum/") + kFormulas[i].name).c_str(), BM_EvaluatorSum,
                                 i);
    benchmark::RegisterBenchmark((std::string("hand_sum/") + kFormulas[i].name).c_str(),
                                 hand_sum[i], i);
    benchmark::RegisterBenchmark((std::string("sum_run/") + kFormulas[i].name).c_str(),
                                 BM_WorkersSum, i);
  }
  benchmark::RegisterBenchmark("sum_two_threads/gaussian", BM_TwoThreadSum, 1)->UseRealTime();
}

}  // namespace
}  // namespace calvane

int main(int argc, char** argv) {
  calvane::RatioReporter reporter;
  return calvane::bench::RunBenchmarks(argc, argv, calvane::Register, reporter);
}
