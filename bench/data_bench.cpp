// Reading a full data table: index a 65536-row, 10-column file (about 6 MB) and convert two of
// its columns over every row, as the data sheet's OK does.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>

#include "app/app_state.h"
#include "data/data_text.h"
#include "data/range_conversion.h"
#include "formula/number_text.h"

namespace calvane {
namespace {

class SilentPrompter : public Prompter {
 public:
  void Show(std::string_view, std::string_view, WindowId) override {}
  Answer Ask(std::string_view, std::string_view, Buttons, WindowId) override { return Answer::kNo; }
};

// 65536 rows of ten comma-separated numbers of 7 to 10 characters, CR LF line ends.
const std::string& TableBytes() {
  static const std::string bytes = [] {
    std::mt19937 random(42);
    std::uniform_real_distribution<double> value(-1000.0, 1000.0);
    std::string out;
    out.reserve(7u << 20);
    for (std::uint32_t row = 0; row < kMaxRows; ++row) {
      for (int column = 0; column < 10; ++column) {
        if (column > 0) out += ',';
        // Four decimals keep the fields short, like measured data.
        out += FormatNumber(static_cast<double>(static_cast<int>(value(random) * 1e4)) / 1e4);
      }
      out += "\r\n";
    }
    return out;
  }();
  return bytes;
}

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
