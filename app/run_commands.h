#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/app_state.h"
#include "app/graph_scale.h"
#include "app/main_view.h"
#include "base/file_chooser.h"
#include "engine/calculation_driver.h"
#include "engine/fit_results.h"
#include "engine/progress_view.h"
#include "report/results_report.h"

namespace calvane {

// What the run command leaves behind for the save-results command.
struct RunRecord {
  // The last run ended before convergence (aborted or overflowed): its values and R^2 carry
  // " *" in every report of these results, also when they are saved a second time.
  bool stopped_early = false;
};

// Why the run command did not start a worker.
enum class RunRefusal {
  kNone,             // it ran
  kNoLeftSide,       // the conditions name no left side
  kFormulaInvalid,   // the accepted formula does not check (state.conditions.formulaState set)
  kDiscardDeclined,  // the user kept the unsaved results
  kLogNotOpened,     // Calculation.ini cannot be opened
};

// The run command (1128) on the main thread, shared by the windows and calvane-batch, over the
// main window's MainView and the worker's ProgressView:
//   Begin: a left side and the accepted formula are required (state.formula.formulaText is
//     checked and compiled again with the record's left side, so a run always evaluates the
//     formula of the last OK, never the leftovers of a cancelled edit); the discard check; clear
//     results; Calculation.ini; the start time in its field; workflow state 1; the graph holds
//     its formula for the run.
//   the caller starts the worker (driver().StartWorker()) and returns once it has ended, keeping
//     its event loop running meanwhile if it has one;
//   ShowPauseSnapshot: while the worker waits in a pause, shows the reached values with " *" and
//     hands the reached formula to the graph;
//   Finish: the exit code, the end time, the workflow state, the status line and the save
//     command by the exit code, the results (R2Value), a repaint.
// Run does all of it around one call of `run_window`. Main thread.
class RunCommandFlow {
 public:
  // `graph` may be null (no graph, as in calvane-batch). Every reference outlives the flow.
  RunCommandFlow(AppState& state, MainView& view, ProgressView& progress, RunRecord& record,
                 GraphScale* graph, LocalTimeSource clock = CurrentLocalTime);
  ~RunCommandFlow();
  RunCommandFlow(const RunCommandFlow&) = delete;
  RunCommandFlow& operator=(const RunCommandFlow&) = delete;

  RunRefusal Begin();
  CalculationDriver& driver() { return driver_; }
  void ShowPauseSnapshot(const PauseSnapshot& snapshot);
  // Returns the worker's exit code. Joins a worker that has not ended yet.
  int Finish();

  // Begin; when it started, `run_window(driver())`, then Finish. Returns the refusal.
  RunRefusal Run(const std::function<void(CalculationDriver&)>& run_window);

  int exit_code() const { return exit_code_; }
  // False when a write to Calculation.ini failed during the run (the message was shown).
  bool log_ok() const { return driver_.log_ok(); }

 private:
  void ShowResults(const FitResults& results);

  AppState& state_;
  MainView& view_;
  RunRecord& record_;
  GraphScale* graph_;
  CalculationDriver driver_;
  std::unique_ptr<CompiledFormula> scratch_;
  int exit_code_ = -1;
  bool begun_ = false;
};

// The report's values as the main window shows them: the start and end times read back from
// their fields (19 characters at most), the data file field in Shift-JIS cut to 499 bytes (a
// path without a Shift-JIS form keeps its own bytes), CurrentValue, paramIndex and R2Value, and
// the marks of a run that stopped early.
ReportValues ReportValuesFromWindow(const AppState& state, const MainView& view,
                                    const RunRecord& record);

// Saving results to `path` (the file already chosen): the report, then workflow state 4 and the
// status line "計算結果保存済みです。"; the save command stays enabled. Any failure was shown
// through `prompter` and changes nothing. Main thread.
SaveResultsStatus SaveResultsTo(AppState& state, MainView& view, const RunRecord& record,
                                const std::string& path, Prompter& prompter);

// The save-results command (1125): the save dialog (title "計算結果ファイルの保存", the one
// filter "計算結果ファイル(*.txt)", default extension frs), then SaveResultsTo with the main
// window's prompter. A cancelled dialog gives kCancelled and changes nothing.
SaveResultsStatus SaveResultsCommand(AppState& state, MainView& view, const RunRecord& record,
                                     FileChooser& chooser);

}  // namespace calvane
