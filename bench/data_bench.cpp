// Reading a full data table: index a 65536-row, 10-column file (about 6 MB) and convert two of
// its columns over every row, as the data sheet's OK does.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "app/app_state.h"
#include "bench/bench_table.h"
#include "data/data_text.h"
#include "data/range_conversion.h"

namespace calvane {
namespace {

using bench::SilentPrompter;
const std::string& TableBytes() { return bench::TenSeriesTable(); }

void BM_IndexRows(benchmark::State& state) {
  DataText text(TableBytes());
  SilentPrompter prompter;
  for (auto _ : state) {
    IndexRows(text, prompter);
    benchmark::DoNotOptimize(text.row_count());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(TableBytes().size()));
  state.counters["rows"] = text.row_count();
}

void BM_ConvertTwoColumns(benchmark::State& state) {
  DataText text(TableBytes());
  SilentPrompter prompter;
  IndexRows(text, prompter);
  auto app = MakeAppState("");
  const RangeSelection selection{3, 8, 1, static_cast<std::int32_t>(kMaxRows), 0};
  for (auto _ : state) {
    const ConversionResult result =
        ConvertRange(text, selection, app->points, app->ranges, prompter);
    if (!result.completed()) state.SkipWithError("conversion stopped");
    benchmark::DoNotOptimize(app->points.count);
  }
}

// What the user waits for between choosing the file and seeing the points: index, then convert.
void BM_IndexAndConvert(benchmark::State& state) {
  DataText text(TableBytes());
  SilentPrompter prompter;
  auto app = MakeAppState("");
  const RangeSelection selection{3, 8, 1, static_cast<std::int32_t>(kMaxRows), 0};
  for (auto _ : state) {
    IndexRows(text, prompter);
    const ConversionResult result =
        ConvertRange(text, selection, app->points, app->ranges, prompter);
    if (!result.completed()) state.SkipWithError("conversion stopped");
    benchmark::DoNotOptimize(app->points.count);
  }
  state.counters["MB"] = static_cast<double>(TableBytes().size()) / (1 << 20);
}

BENCHMARK(BM_IndexRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertTwoColumns)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IndexAndConvert)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace calvane

BENCHMARK_MAIN();
