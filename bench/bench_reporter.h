#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace calvane::bench {

// A console reporter that also keeps the CPU time of each benchmark, by name, so that a
// benchmark program can print the ratios its targets are stated in after the usual table.
// CPU time keeps the load of other processes out of ratios whose two sides run on this thread.
class TimeCollectingReporter : public benchmark::ConsoleReporter {
 public:
  // Which run stands for a benchmark when it is repeated.
  enum class Pick {
    kFastest,  // the fastest repetition: on a shared machine the slower ones measure neighbours
    kMedian,   // the median aggregate (the single run when not repeated)
  };

  explicit TimeCollectingReporter(Pick pick) : pick_(pick) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const std::string name = run.run_name.function_name;
      const double t = run.GetAdjustedCPUTime();
      const double real = run.GetAdjustedRealTime();
      if (pick_ == Pick::kFastest) {
        if (run.run_type != Run::RT_Iteration) continue;
        auto it = times_.find(name);
        if (it == times_.end() || t < it->second) times_[name] = t;
        auto rt = real_times_.find(name);
        if (rt == real_times_.end() || real < rt->second) real_times_[name] = real;
      } else if ((run.run_type == Run::RT_Iteration && run.repetitions <= 1) ||
                 (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")) {
        times_[name] = t;
        real_times_[name] = real;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // The time kept for a benchmark, in the reporter's time unit, or nullopt when it did not run.
  std::optional<double> Time(const std::string& name) const {
    auto it = times_.find(name);
    if (it == times_.end()) return std::nullopt;
    return it->second;
  }

  // The real (wall-clock) time kept for a benchmark: for work spread over several threads.
  std::optional<double> RealTime(const std::string& name) const {
    auto it = real_times_.find(name);
    if (it == real_times_.end()) return std::nullopt;
    return it->second;
  }

  // Printed once every benchmark has run.
  virtual void PrintRatios() const = 0;

 private:
  Pick pick_;
  std::map<std::string, double> times_;
  std::map<std::string, double> real_times_;
};

// The body of a benchmark program's main(): registers the benchmarks, runs them with
// `reporter` and prints its ratios.
inline int RunBenchmarks(int argc, char** argv, void (*register_benchmarks)(),
                         TimeCollectingReporter& reporter) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  register_benchmarks();
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}

}  // namespace calvane::bench
