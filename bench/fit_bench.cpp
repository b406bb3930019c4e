// Whole fits of k0*Exp(-(x-k1)^2/k2) on the Gaussian anchor data (1000 and 65536 rows, the
// generator below writes the same bytes as the anchor script gen_gauss.py), with the conditions
// of bench/data/gauss.ccn (start 2, 0.2, 1; accuracy 1e-6), rough estimation on and off, by the
// lattice search and by "LM only"; and the
// cost of one probe sum against the evaluations it makes over the same points.
//
//   fit_bench [benchmark flags]              runs the benchmarks and prints the ratios
//   fit_bench --write-gauss N OUT [--seed S] writes the anchor data file and exits

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_state.h"
#include "app/batch_driver.h"
#include "base/file_io.h"
#include "bench/bench_reporter.h"
#include "bench/other_constants.h"
#include "conditions/condition_accept.h"
#include "conditions/condition_file.h"
#include "data/data_text.h"
#include "data/range_conversion.h"
#include "engine/calculation_driver.h"
#include "engine/calculation_log.h"
#include "engine/progress_view.h"
#include "engine/sum_of_squares.h"
#include "engine/worker.h"
#include "formula/evaluator.h"
#include "formula/number_text.h"

namespace calvane {
namespace {

// ---- The anchor data, byte for byte as gen_gauss.py writes it ----

// splitmix64 uniforms in [0, 1), 53 bits each.
class Uniforms {
 public:
  explicit Uniforms(std::uint64_t seed) : state_(seed) {}
  double Next() {
    state_ += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1p-53;
  }

 private:
  std::uint64_t state_;
};

// The shortest text that reads back as `value`, in the form the anchor script's number output
// has: fixed notation for decimal exponents -4..15 (at least one digit after the point), else
// d.ddde-XX / d.ddde+XX with at least two exponent digits.
std::string ShortestRoundTrip(double value) {
  char buffer[64];
  auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  if (error != std::errc()) return "nan";
  std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
  bool negative = text.front() == '-';
  if (negative) text.remove_prefix(1);
  std::size_t e = text.find('e');
  std::string digits;
  for (char c : text.substr(0, e)) {
    if (c != '.') digits.push_back(c);
  }
  int exponent = 0;
  std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(),
                  exponent);
  std::string out = negative ? "-" : "";
  if (exponent >= -4 && exponent < 16) {
    if (exponent < 0) {
      out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    } else {
      std::size_t whole = static_cast<std::size_t>(exponent) + 1;
      if (digits.size() <= whole) {
        out += digits + std::string(whole - digits.size(), '0') + ".0";
      } else {
        out += digits.substr(0, whole) + "." + digits.substr(whole);
      }
    }
    return out;
  }
  out += digits.substr(0, 1);
  if (digits.size() > 1) out += "." + digits.substr(1);
  char exp_text[16];
  std::snprintf(exp_text, sizeof exp_text, "e%c%02d", exponent < 0 ? '-' : '+',
                exponent < 0 ? -exponent : exponent);
  return out + exp_text;
}

// N rows "x,y" CR LF over a uniform grid on [-5, 5], y = 3 exp(-(x - 0.5)^2 / 2) + 0.01 e with
// e the sum of twelve uniforms minus 6.
// The square is the C library's pow, as the script's ** is: the compiler would otherwise turn
// pow(d, 2.0) into d * d, which differs from the library's result in the last bit now and then.
std::string GaussCsv(int n, std::uint64_t seed = 20240601) {
  Uniforms u(seed);
  volatile double two = 2.0;
  std::string csv;
  csv.reserve(static_cast<std::size_t>(n) * 44);
  for (int i = 0; i < n; ++i) {
    const double x = -5.0 + 10.0 * (static_cast<double>(i) / static_cast<double>(n - 1));
    double e = 0.0;
    for (int j = 0; j < 12; ++j) e += u.Next();
    e -= 6.0;
    const double y = 3.0 * std::exp(-std::pow(x - 0.5, two) / 2.0) + 0.01 * e;
    csv += ShortestRoundTrip(x) + "," + ShortestRoundTrip(y) + "\r\n";
  }
  return csv;
}

// ---- A prepared fit ----

class SilentPrompter : public Prompter {
 public:
  void Show(std::string_view text, std::string_view caption, WindowId) override {
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
  }
  Answer Ask(std::string_view, std::string_view, Buttons, WindowId) override { return Answer::kNo; }
};

using SilentView = SilentProgressView;

// A working folder holding the data file and the conditions, removed at exit.
struct BenchFolder {
  std::string path;
  BenchFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "calvane-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path = pattern;
  }
  ~BenchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

struct PreparedFit {
  BenchFolder folder;
  std::unique_ptr<AppState> state;
  bool ok = false;
};

// Data converted and conditions accepted exactly as calvane-batch does before its run.
std::unique_ptr<PreparedFit> Prepare(int points) {
  auto fit = std::make_unique<PreparedFit>();
  const std::string csv = GaussCsv(points);
  std::optional<std::string> ccn =
      ReadWholeFile(std::string(CALVANE_SOURCE_DIR) + "/bench/data/gauss.ccn");
  if (!ccn || !WriteWholeFile(JoinPath(fit->folder.path, "data.csv"), csv) ||
      !WriteWholeFile(JoinPath(fit->folder.path, "gauss.ccn"), *ccn)) {
    return fit;
  }
  SilentPrompter prompter;
  fit->state = MakeAppState(fit->folder.path);
  AppState& state = *fit->state;
  DataText text(csv);
  IndexRows(text, prompter);
  RangeSelection selection{1, 2, 1, 0, 1};
  selection = ApplyUseToLastRow(selection, text);
  if (!ConvertRange(text, selection, state.points, state.ranges, prompter).completed()) return fit;
  state.workflow.store(WorkflowStateValue::kDataLoaded);
  ConditionDialogValues dialog = DialogValuesFromRecord(state);
  LoadConditionFile(*ccn, dialog, state);
  AcceptResult accepted = AcceptConditions(dialog, state, prompter);
  fit->ok = accepted.accepted && state.conditions.formulaState == FormulaState::Valid;
  return fit;
}

PreparedFit& Fit(int points) {
  static std::map<int, std::unique_ptr<PreparedFit>> fits;
  auto& fit = fits[points];
  if (!fit) fit = Prepare(points);
  return *fit;
}

// Constants at the start of the fit, as the worker sets them (k0..k2 are indices 0..2).
void SetStartValues(CompiledFormula& formula) {
  const double start[3] = {2.0, 0.2, 1.0};
  for (int k = 0; k < 3; ++k) formula.paramValue[formula.paramIndex[k]] = start[k];
  ApplyAngleUnit(formula, AngleUnit::Radian);
}

// Real time of one full sum over the fit's points, measured outside the benchmark loop.
double SecondsPerFullSum(PreparedFit& fit) {
  CompiledFormula formula;
  formula.CopyFrom(fit.state->formula);
  SetStartValues(formula);
  SumPoints points = MakeSumPoints(*fit.state);
  std::int8_t status = 0;
  double sink = 0.0;
  const int repeats = std::max(20, 2000000 / static_cast<int>(points.count));
  auto t0 = std::chrono::steady_clock::now();
  for (int r = 0; r < repeats; ++r) sink += FullSum(formula, points, status, nullptr);
  auto t1 = std::chrono::steady_clock::now();
  benchmark::DoNotOptimize(sink);
  return std::chrono::duration<double>(t1 - t0).count() / repeats;
}

void BM_WholeFit(benchmark::State& bench, int points, int rough,
                 SearchMethod method = SearchMethod::Lattice) {
  PreparedFit& fit = Fit(points);
  if (!fit.ok) {
    bench.SkipWithError("the data or the conditions were refused");
    return;
  }
  AppState& state = *fit.state;
  state.conditions.roughEstimation = static_cast<std::uint8_t>(rough);
  state.conditions.searchMethod = method;
  SilentView view;
  int exit_code = -1;
  double fit_seconds = 0.0;
  for (auto _ : bench) {
    state.workflow.store(WorkflowStateValue::kDataLoaded);
    auto t0 = std::chrono::steady_clock::now();
    RunOutcome outcome = RunFit(state, view);
    fit_seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    exit_code = outcome.exit_code;
  }
  state.conditions.searchMethod = SearchMethod::Lattice;
  if (exit_code != 0) {
    bench.SkipWithError("the fit did not complete");
    return;
  }
  const double full_sum = SecondsPerFullSum(fit);
  bench.counters["full_sum_us"] = full_sum * 1e6;
  // How many full sums one whole fit costs (early-stopped probes cost less than one).
  bench.counters["sum_equivalents"] =
      fit_seconds / static_cast<double>(bench.iterations()) / full_sum;
  std::string label;
  for (int k = 0; k < 3; ++k) {
    label += (k ? " k" : "k") + std::to_string(k) + "=" +
             FormatNumber(state.engine.CurrentValue[state.formula.paramIndex[k]]);
  }
  bench.SetLabel(label);
}

// The worker of a whole fit on the benchmark's thread, with the sums computed point by point
// (the single-point path), in blocks, or in blocks on two threads as a run sums: the CPU time
// of the process (both threads), which other processes' load does not inflate.
void BM_WorkerCpu(benchmark::State& bench, int points, int rough, int mode) {
  PreparedFit& fit = Fit(points);
  if (!fit.ok) {
    bench.SkipWithError("the data or the conditions were refused");
    return;
  }
  AppState& state = *fit.state;
  state.conditions.roughEstimation = static_cast<std::uint8_t>(rough);
  const SumSettings settings{mode != 0, mode == 2 ? kTwoThreadPoints : 0u};
  SilentView view;
  int exit_code = -1;
  for (auto _ : bench) {
    state.workflow.store(WorkflowStateValue::kDataLoaded);
    CalculationLog log;
    if (!log.Open(JoinPath(fit.folder.path, "Calculation.ini"))) std::abort();
    exit_code = RunWorker(state, view, log, settings);
  }
  if (exit_code != 0) bench.SkipWithError("the fit did not complete");
}

// The fixed costs of a run: the whole fit on the 1000-point data with a data interval of 100, so
// that its sums cover 10 points and the time is that of the files (FittingCondition.ini, the
// log and its lines), the worker thread and the run's setup. The folder is under TMPDIR, and
// each run creates two files there (each written beside its old one, then exchanged with it),
// so the file system's cost of creating and removing a file is part of the figure: on an ext4
// root it has read up to two and a half times its figure on tmpfs (TMPDIR=/dev/shm).
void BM_RunFixedCosts(benchmark::State& bench) {
  PreparedFit& fit = Fit(1000);
  if (!fit.ok) {
    bench.SkipWithError("the data or the conditions were refused");
    return;
  }
  AppState& state = *fit.state;
  state.conditions.roughEstimation = 1;
  const std::uint8_t interval = state.conditions.dataInterval;
  state.conditions.dataInterval = 100;
  SilentView view;
  int exit_code = -1;
  for (auto _ : bench) {
    state.workflow.store(WorkflowStateValue::kDataLoaded);
    exit_code = RunFit(state, view).exit_code;
  }
  state.conditions.dataInterval = interval;
  if (exit_code != 0) bench.SkipWithError("the fit did not complete");
}

// The formula (an own copy, at the start values) and the sum points of the fit on `points`
// points, for the probe-sum benchmarks. False, with the benchmark skipped, when the fit's data
// or conditions were refused.
bool PrepareProbe(benchmark::State& bench, int points, CompiledFormula& formula,
                  SumPoints& sum_points) {
  PreparedFit& fit = Fit(points);
  if (!fit.ok) {
    bench.SkipWithError("the data or the conditions were refused");
    return false;
  }
  formula.CopyFrom(fit.state->formula);
  SetStartValues(formula);
  sum_points = MakeSumPoints(*fit.state);
  return true;
}

// One probe sum as the lattice search makes it: a full sum of squared residuals near the start,
// each at other constants. In blocks, on the calling thread, or with `two_threads` as a run sums
// (on two threads from kTwoThreadPoints points), the time then measured on the wall clock.
void BM_ProbeSum(benchmark::State& bench, int points, bool two_threads) {
  CompiledFormula formula;
  SumPoints sum_points;
  if (!PrepareProbe(bench, points, formula, sum_points)) return;
  SumWorkers workers(SumSettings{true, two_threads ? kTwoThreadPoints : 0u});
  sum_points.workers = &workers;
  std::int8_t status = 0;
  for (auto _ : bench) {
    bench::MoveK0(formula);
    double sum = FullSum(formula, sum_points, status, nullptr);
    benchmark::DoNotOptimize(sum);
  }
  bench.counters["per_point"] = benchmark::Counter(
      points, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Two probe sums of k1 as a scan makes them (each at other constants), on two threads as a run
// sums them: with `announced` the second is announced before the first (SumWorkers::Anticipate)
// and computed on the helper beside it.
void BM_ProbePair(benchmark::State& bench, int points, bool announced) {
  CompiledFormula formula;
  SumPoints sum_points;
  if (!PrepareProbe(bench, points, formula, sum_points)) return;
  SumSettings settings = RunSumSettings(2);
  if (!announced) settings.anticipate_points = 0;
  SumWorkers workers(settings);
  sum_points.workers = &workers;
  sum_points.varied_constant = formula.paramIndex[1];
  double& k1 = formula.paramValue[formula.paramIndex[1]];
  const double start = k1;
  std::int8_t status = 0;
  for (auto _ : bench) {
    bench::MoveK0(formula);
    k1 = start + 1e-3;
    AnticipateSum(formula, sum_points, false, 0.0);
    k1 = start;
    double first = FullSum(formula, sum_points, status, nullptr);
    k1 = start + 1e-3;
    double second = FullSum(formula, sum_points, status, nullptr);
    benchmark::DoNotOptimize(first);
    benchmark::DoNotOptimize(second);
  }
}

// The evaluations that one probe sum makes, alone: the model at the same points, summed.
void BM_Evaluations(benchmark::State& bench, int points) {
  CompiledFormula formula;
  SumPoints p;
  if (!PrepareProbe(bench, points, formula, p)) return;
  std::int8_t status = 0;
  for (auto _ : bench) {
    double sum = 0.0;
    for (std::uint32_t i = 0; i < p.count; i += p.interval) {
      sum += EvaluateFormula(formula, p.points[i], status, nullptr);
    }
    benchmark::DoNotOptimize(sum);
  }
  bench.counters["per_point"] = benchmark::Counter(
      points, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// calvane-batch's whole path in-process: read and convert the data file, load and accept the
// conditions, run, write the report.
void BM_BatchPath(benchmark::State& bench, int points) {
  PreparedFit& fit = Fit(points);
  if (!fit.ok) {
    bench.SkipWithError("the data or the conditions were refused");
    return;
  }
  class NullOutput : public BatchOutput {
   public:
    void Out(std::string_view) override {}
    void Err(std::string_view) override {}
  } output;
  const std::vector<std::string> args = {"--data",        "data.csv",
                                         "--x",           "1",
                                         "--y",           "2",
                                         "--start",       "1",
                                         "--to-last-row", "--conditions",
                                         "gauss.ccn",     "--report",
                                         "result.frs",    "--overwrite"};
  int exit_code = -1;
  for (auto _ : bench) exit_code = RunBatch(args, fit.folder.path, output);
  if (exit_code != 0) bench.SkipWithError("calvane-batch did not complete");
}

// Both sides of the probe-sum ratio run on this thread; with repetitions the median stands for
// a benchmark.
class RatioReporter : public bench::TimeCollectingReporter {
 public:
  RatioReporter() : TimeCollectingReporter(Pick::kMedian) {}

  void PrintRatios() const override {
    std::printf("\nProbe sum / the evaluations it makes (same points; target at most 1.10):\n");
    for (int points : {1000, 65536}) {
      auto s = Time("probe_sum/" + std::to_string(points));
      auto e = Time("evaluations/" + std::to_string(points));
      if (!s || !e) continue;
      const double ratio = *s / *e;
      std::printf("  %5d points: probe sum %9.1f ns, evaluations %9.1f ns (CPU), ratio %.3f %s\n",
                  points, *s, *e, ratio, ratio <= 1.10 ? "ok" : "ABOVE TARGET");
    }
  }
};

void Register() {
  for (int points : {1000, 65536}) {
    for (int rough : {1, 0}) {
      std::string name = "whole_fit/" + std::to_string(points) + (rough ? "/rough" : "/no_rough");
      benchmark::RegisterBenchmark(name.c_str(), BM_WholeFit, points, rough, SearchMethod::Lattice)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
      // The same fit by the Levenberg-Marquardt phase in place of the lattice search.
      std::string lm_name =
          "whole_fit/" + std::to_string(points) + (rough ? "/lm_rough" : "/lm_no_rough");
      benchmark::RegisterBenchmark(lm_name.c_str(), BM_WholeFit, points, rough,
                                   SearchMethod::LmOnly)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
    benchmark::RegisterBenchmark(("probe_sum/" + std::to_string(points)).c_str(), BM_ProbeSum,
                                 points, false);
    benchmark::RegisterBenchmark(("probe_sum/" + std::to_string(points) + "/two_threads").c_str(),
                                 BM_ProbeSum, points, true)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("evaluations/" + std::to_string(points)).c_str(), BM_Evaluations,
                                 points);
    for (bool announced : {false, true}) {
      benchmark::RegisterBenchmark(
          ("probe_pair/" + std::to_string(points) + (announced ? "/announced" : "/as_usual"))
              .c_str(),
          BM_ProbePair, points, announced)
          ->UseRealTime();
    }
  }
  for (int points : {1000, 65536}) {
    for (int rough : {1, 0}) {
      for (int mode : {0, 1, 2}) {
        std::string name = "worker_cpu/" + std::to_string(points) +
                           (rough ? "/rough" : "/no_rough") +
                           (mode == 0   ? "/points"
                            : mode == 1 ? "/blocks"
                                        : "/two_threads");
        benchmark::RegisterBenchmark(name.c_str(), BM_WorkerCpu, points, rough, mode)
            ->Unit(benchmark::kMillisecond)
            ->MeasureProcessCPUTime();
      }
    }
  }
  benchmark::RegisterBenchmark("run_fixed_costs/1000", BM_RunFixedCosts)
      ->Unit(benchmark::kMicrosecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("batch_path/65536", BM_BatchPath, 65536)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
}

int WriteGauss(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: fit_bench --write-gauss N OUT.csv [--seed S]\n");
    return 2;
  }
  std::size_t position = 0;
  ParseStatus status = ParseStatus::ParseOk;
  double n = ParseNumber(argv[2], position, status);
  if (status != ParseStatus::ParseOk || !(n >= 2 && n <= 65536) || std::trunc(n) != n) {
    std::fprintf(stderr, "N must be 2..65536\n");
    return 2;
  }
  std::uint64_t seed = 20240601;
  if (argc >= 6 && std::strcmp(argv[4], "--seed") == 0) {
    auto [p, error] = std::from_chars(argv[5], argv[5] + std::strlen(argv[5]), seed);
    if (error != std::errc()) return 2;
    (void)p;
  }
  return WriteWholeFile(argv[3], GaussCsv(static_cast<int>(n), seed)) ? 0 : 1;
}

}  // namespace
}  // namespace calvane

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--write-gauss") == 0) {
    return calvane::WriteGauss(argc, argv);
  }
  calvane::RatioReporter reporter;
  return calvane::bench::RunBenchmarks(argc, argv, calvane::Register, reporter);
}
