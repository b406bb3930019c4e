#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/prompter.h"
#include "base/workflow_state.h"
#include "engine/progress_view.h"

namespace calvane {

// Exit codes of calvane-batch.
enum BatchExitCode : int {
  kBatchCompleted = 0,       // the fit converged
  kBatchConditionError = 1,  // the worker refused the conditions (a missing constant text)
  kBatchStopped = 2,         // overflow, or an abort (SIGINT): the reached values carry " *"
  kBatchRefused = 3,         // bad or missing option, range or data error, refused conditions or
                             // formula, existing report, a file that cannot be read or written
};

// The command line of calvane-batch, after parsing.
struct BatchOptions {
  std::string data_file;
  std::string conditions_file;
  std::string report_file;   // empty: no report
  std::string details_file;  // empty: no details of the statistics
  std::int32_t x_series = 0;
  std::int32_t y_series = 0;
  std::int32_t start_row = 0;
  std::int32_t end_row = 0;
  bool to_last_row = false;
  bool overwrite = false;
  bool skip_blank_rows = false;
  bool help = false;
};

struct BatchParse {
  bool ok = false;
  BatchOptions options;
  std::string error;  // UTF-8, why the command line was refused (when !ok)
};

// The usage text that --help prints, two lines, each ending in "\n".
std::string_view BatchUsage();

// Parses the arguments after the program name. Every option but --help is refused when given
// twice; numbers must be whole and within the signed 32-bit range (their own range is checked
// later, with the data sheet's messages). --help alone is enough; with it nothing else is checked.
BatchParse ParseBatchArguments(const std::vector<std::string>& args);

// Where calvane-batch writes. Each call is one line, without its line end. Err may be called
// from the worker thread while the main thread waits for it; implementations keep whole lines.
class BatchOutput {
 public:
  virtual ~BatchOutput() = default;
  virtual void Out(std::string_view line) = 0;
  virtual void Err(std::string_view line) = 0;
};

// One stderr line for a message box: "CAPTION: TEXT", every carriage return inside TEXT (with the
// line feed that may follow it) shown as " / ".
std::string TerminalLine(std::string_view caption, std::string_view text);

// The Prompter of calvane-batch: prints every message and question as a terminal line and
// answers the questions as the command line says: the blank-row question (Yes/No) Yes only with
// --skip-blank-rows, the overwrite question (OK/Cancel) OK only with --overwrite.
class TerminalPrompter : public Prompter {
 public:
  TerminalPrompter(BatchOutput& output, bool answer_yes, bool answer_ok)
      : output_(output), answer_yes_(answer_yes), answer_ok_(answer_ok) {}
  void Show(std::string_view text, std::string_view caption, WindowId owner) override;
  Answer Ask(std::string_view text, std::string_view caption, Buttons buttons,
             WindowId owner) override;

 private:
  BatchOutput& output_;
  bool answer_yes_;
  bool answer_ok_;
};

// The ProgressView of calvane-batch: prints what the progress window would show as lines
// "計算中: ..." (status, phase, step and cycle, messages), error boxes as "エラー: ...", and the
// reached values of a pause. The counters are printed when the step changes and otherwise at
// most every 1.5 s, as the window's timer would show them. Called on the worker thread.
class TerminalProgressView : public ProgressView {
 public:
  explicit TerminalProgressView(BatchOutput& output) : output_(output) {}

  void SetStatusText(std::string_view text) override;
  void SetPhaseText(std::string_view text) override;
  void SetStepTotal(std::string_view text) override;
  void SetCycleTotal(std::string_view text) override;
  void SetCycleSlash(std::string_view text) override;
  void SetStepValue(std::string_view text) override;
  void SetMessage(std::string_view text) override;
  void EnableButton(ProgressButton button, bool enabled) override;
  void RefreshCounters(std::uint32_t step, std::uint32_t cycle) override;
  void ShowConditionError() override;
  void StopTimer() override;
  void Beep() override;
  void ShowErrorBox(std::string_view text, std::string_view caption) override;
  void ShowPauseSnapshot(const PauseSnapshot& snapshot) override;

  // The last text of the message area (what exit code 1 prints).
  const std::string& message() const { return message_; }

 private:
  void PrintCounters(std::uint32_t step, std::uint32_t cycle);

  BatchOutput& output_;
  std::string step_total_ = "0";
  std::string cycle_total_ = "0";
  std::string cycle_slash_ = "/";
  std::string message_;
  std::int64_t last_step_ = -1;
  std::int64_t last_print_ms_ = 0;
};

// Hooks for the caller around the run: `run_started` is called on the calling thread once the
// workflow state is 1 and before the worker runs, on that same thread (calvane-batch points its
// SIGINT handler at the state; tests start a thread that pauses and aborts); `run_finished` after
// the worker has ended and before anything else reads the state.
struct BatchHooks {
  std::function<void(WorkflowState&)> run_started;
  std::function<void()> run_finished;
};

// Makes SIGINT act as the progress window's abort button: while RunBatch runs a fit, the
// signal sets its workflow state to -10 (the worker commits the reached point and ends with code
// 2); outside a fit the signal ends the program as usual. Call once, on the main thread.
void InstallInterruptHandler();

// The whole of calvane-batch: reads the data file and converts the range (DataReadCondition.ini),
// loads and accepts the condition file (Formula.ini), refuses an existing report unless
// --overwrite, runs the fit in `working_directory` (Calculation.ini, FittingCondition.ini), writes
// the report, prints the eleven result lines on Out and everything else on Err. Relative paths
// are taken from `working_directory`. Returns the exit code. Calling thread; the fit runs on a
// worker thread of its own.
int RunBatch(const std::vector<std::string>& args, const std::string& working_directory,
             BatchOutput& output, const BatchHooks& hooks = {});

}  // namespace calvane
