// The data sheet with a full table: open the 65536-row, 10-column file (about 6 MB) through to
// the sheet ready for input (read, index, controls, selection file, first paint), and scroll it
// from top to bottom a page at a time, each step repainted at once. Runs offscreen.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <QScrollBar>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/app_state.h"
#include "base/file_io.h"
#include "base/qt_ui_font.h"
#include "bench/bench_table.h"
#include "data/data_sheet_window.h"

namespace calvane {
namespace {

using bench::SilentPrompter;

// The benchmarks' table, written once to a scratch folder.
const std::string& TablePath() {
  static const std::string path = [] {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / "calvane_sheet_bench";
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "table.csv").string();
    WriteWholeFile(file, bench::TenSeriesTable());
    return file;
  }();
  return path;
}

std::string WorkDir() { return std::filesystem::path(TablePath()).parent_path().string(); }

// Counts the paint events the grid receives, so the figures are known to include painting.
class PaintCounter : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
  std::int64_t paints = 0;
};

// Shows the sheet and lets events run until its grid has been painted once.
bool ShowAndPaint(DataSheetWindow& sheet, PaintCounter& counter) {
  sheet.grid()->installEventFilter(&counter);
  sheet.show();
  for (int i = 0; i < 10000 && counter.paints == 0; ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  }
  return counter.paints > 0;
}

void BM_OpenToSheetReady(benchmark::State& state) {
  SilentPrompter prompter;
  auto app = MakeAppState(WorkDir());
  for (auto _ : state) {
    DataText text;
    if (!ReadDataFile(TablePath(), text, prompter)) state.SkipWithError("cannot read the table");
    DataSheetWindow sheet(text, *app, prompter, nullptr);
    PaintCounter counter;
    // Ready for input: shown, and the grid painted for the first time.
    if (!ShowAndPaint(sheet, counter)) state.SkipWithError("the sheet was never painted");
    benchmark::DoNotOptimize(text.row_count());
  }
  state.counters["MB"] = static_cast<double>(std::filesystem::file_size(TablePath())) / (1 << 20);
}

void BM_ScrollStep(benchmark::State& state) {
  SilentPrompter prompter;
  auto app = MakeAppState(WorkDir());
  DataText text;
  ReadDataFile(TablePath(), text, prompter);
  DataSheetWindow sheet(text, *app, prompter, nullptr);
  PaintCounter counter;
  if (!ShowAndPaint(sheet, counter)) state.SkipWithError("the sheet was never painted");
  counter.paints = 0;
  auto* vertical = qobject_cast<QScrollBar*>(sheet.Control(kSheetVerticalBar));
  auto* horizontal = qobject_cast<QScrollBar*>(sheet.Control(kSheetHorizontalBar));
  horizontal->setValue(horizontal->maximum());  // the last series: the longest walk per row
  std::int64_t steps = 0;
  for (auto _ : state) {
    // From top to bottom a page at a time, then again from the top.
    const int next = vertical->value() >= vertical->maximum() ? 0 : vertical->value() + 16;
    vertical->setValue(next);
    sheet.grid()->repaint();
    ++steps;
  }
  state.counters["full_scroll_steps"] = (vertical->maximum() + 15) / 16;
  state.SetItemsProcessed(steps);
  state.counters["paints_per_step"] =
      steps > 0 ? static_cast<double>(counter.paints) / static_cast<double>(steps) : 0.0;
}

BENCHMARK(BM_OpenToSheetReady)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ScrollStep)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace calvane

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  application.setFont(calvane::UiFont());
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
