#include "app/batch_driver.h"
#include "base/base_messages.h"

#include <signal.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <optional>

#include "app/app_state.h"
#include "app/condition_commands.h"
#include "app/data_commands.h"
#include "app/headless_main_view.h"
#include "app/main_view.h"
#include "app/messages.h"
#include "app/run_commands.h"
#include "base/cp932.h"
#include "base/file_io.h"
#include "conditions/condition_accept.h"
#include "conditions/condition_file.h"
#include "data/data_selection.h"
#include "data/data_text.h"
#include "data/range_conversion.h"
#include "data/selection_file.h"
#include "engine/calculation_driver.h"
#include "engine/engine_messages.h"
#include "engine/fit_results.h"
#include "engine/worker.h"
#include "formula/formula_check.h"
#include "formula/number_text.h"
#include "report/fit_details.h"
#include "report/fit_statistics.h"
#include "report/results_report.h"

namespace calvane {
namespace {

// A whole number within the signed 32-bit range, read by the one number parser.
std::optional<std::int32_t> ParseWholeNumber(const std::string& text) {
  std::size_t position = 0;
  ParseStatus status = ParseStatus::ParseOk;
  double value = ParseNumber(text.c_str(), position, status);
  if (status != ParseStatus::ParseOk || position != text.size()) return std::nullopt;
  if (!(value >= -2147483648.0 && value <= 2147483647.0) || std::trunc(value) != value) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

// `path` taken from `directory` when relative, made absolute and lexically normal.
std::string ResolvePath(const std::string& directory, const std::string& path) {
  std::filesystem::path full = std::filesystem::path(directory) / std::filesystem::path(path);
  return full.lexically_normal().string();
}

// Reads a whole input file; on failure prints why (it does not exist or cannot be opened, or it
// cannot be read) and gives nullopt.
std::optional<std::string> ReadInput(const std::string& path, Prompter& prompter) {
  std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes) {
    prompter.Show(FileExists(path) ? text::kMsgFileReadFailed : text::kMsgFileOpenFailed,
                  text::kCaptionError, WindowId::kMain);
  }
  return bytes;
}

std::int64_t SteadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string Decimal(std::uint32_t value) { return FormatNumber(static_cast<double>(value)); }

// The workflow state of the fit in progress, for the SIGINT handler; null outside a fit.
std::atomic<WorkflowState*> g_running_state{nullptr};
static_assert(WorkflowState::is_always_lock_free, "the SIGINT handler stores into the state");
static_assert(std::atomic<WorkflowState*>::is_always_lock_free,
              "the SIGINT handler reads the state pointer");

extern "C" void OnInterrupt(int signal_number) {
  WorkflowState* state = g_running_state.load();
  if (state != nullptr) {
    state->store(WorkflowStateValue::kAbortRequested);
    return;
  }
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

// Publishes the running fit's workflow state to the SIGINT handler for its lifetime.
class InterruptTarget {
 public:
  explicit InterruptTarget(WorkflowState& state) { g_running_state.store(&state); }
  ~InterruptTarget() { g_running_state.store(nullptr); }
  InterruptTarget(const InterruptTarget&) = delete;
  InterruptTarget& operator=(const InterruptTarget&) = delete;
};

}  // namespace

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
}

std::string_view BatchUsage() { return text::kBatchUsage; }

BatchParse ParseBatchArguments(const std::vector<std::string>& args) {
  BatchParse parse;
  BatchOptions& o = parse.options;
  for (const std::string& arg : args) {
    if (arg == "--help") {
      o.help = true;
      parse.ok = true;
      return parse;
    }
  }
  // Every option once: a value of text, a whole number, or a flag.
  struct Option {
    std::string_view name;
    std::string* text = nullptr;
    std::int32_t* number = nullptr;
    bool* flag = nullptr;
    bool required = false;
    bool seen = false;
  };
  Option options[] = {
      {"--data", &o.data_file, nullptr, nullptr, true},
      {"--x", nullptr, &o.x_series, nullptr, true},
      {"--y", nullptr, &o.y_series, nullptr, true},
      {"--start", nullptr, &o.start_row, nullptr, true},
      {"--end", nullptr, &o.end_row, nullptr, false},
      {"--to-last-row", nullptr, nullptr, &o.to_last_row, false},
      {"--conditions", &o.conditions_file, nullptr, nullptr, true},
      {"--report", &o.report_file, nullptr, nullptr, false},
      {"--details", &o.details_file, nullptr, nullptr, false},
      {"--overwrite", nullptr, nullptr, &o.overwrite, false},
      {"--skip-blank-rows", nullptr, nullptr, &o.skip_blank_rows, false},
  };
  auto refuse = [&parse](std::string text) {
    parse.ok = false;
    parse.error = std::move(text);
    return parse;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    Option* option = nullptr;
    for (Option& candidate : options) {
      if (candidate.name == arg) option = &candidate;
    }
    if (option == nullptr) return refuse(std::string(text::kBatchUnknownOption) + arg);
    if (option->seen) return refuse(std::string(text::kBatchRepeatedOption) + arg);
    option->seen = true;
    if (option->flag != nullptr) {
      *option->flag = true;
      continue;
    }
    if (i + 1 >= args.size() || args[i + 1].empty()) {
      return refuse(std::string(text::kBatchMissingValue) + arg);
    }
    const std::string& value = args[++i];
    if (option->text != nullptr) {
      *option->text = value;
      continue;
    }
    std::optional<std::int32_t> number = ParseWholeNumber(value);
    if (!number) return refuse(std::string(text::kBatchNotWholeNumber) + arg + " " + value);
    *option->number = *number;
  }
  bool end_given = false;
  for (const Option& option : options) {
    if (option.required && !option.seen) {
      return refuse(std::string(text::kBatchMissingOption) + std::string(option.name));
    }
    if (option.name == "--end") end_given = option.seen;
  }
  // The end row comes from exactly one of --end and --to-last-row.
  if (o.to_last_row == end_given) {
    return refuse(std::string(o.to_last_row ? text::kBatchEndTwice : text::kBatchEndMissing));
  }
  parse.ok = true;
  return parse;
}

std::string TerminalLine(std::string_view caption, std::string_view text) {
  std::string line(caption);
  line.append(": ");
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      line.append(" / ");
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line.push_back(c);
    }
  }
  return line;
}

void TerminalPrompter::Show(std::string_view text, std::string_view caption, WindowId) {
  output_.Err(TerminalLine(caption, text));
}

Answer TerminalPrompter::Ask(std::string_view text, std::string_view caption, Buttons buttons,
                             WindowId) {
  output_.Err(TerminalLine(caption, text));
  switch (buttons) {
    case Buttons::kYesNo:
      return answer_yes_ ? Answer::kYes : Answer::kNo;
    case Buttons::kOkCancel:
      return answer_ok_ ? Answer::kOk : Answer::kCancel;
    case Buttons::kOk:
      break;
  }
  return Answer::kOk;
}

void TerminalProgressView::SetStatusText(std::string_view text) {
  if (!text.empty()) output_.Err(TerminalLine(text::kProgressCaption, text));
}

void TerminalProgressView::SetPhaseText(std::string_view text) {
  // A new phase counts its steps afresh: its first counters are always shown.
  last_step_ = -1;
  if (!text.empty()) output_.Err(TerminalLine(text::kProgressCaption, text));
}

void TerminalProgressView::SetStepTotal(std::string_view text) { step_total_ = text; }
void TerminalProgressView::SetCycleTotal(std::string_view text) { cycle_total_ = text; }
void TerminalProgressView::SetCycleSlash(std::string_view text) { cycle_slash_ = text; }

void TerminalProgressView::SetStepValue(std::string_view text) {
  output_.Err(TerminalLine(text::kProgressCaption, std::string(text::kStepLabel) + " " +
                                                       std::string(text) + "/" + step_total_));
}

void TerminalProgressView::SetMessage(std::string_view text) {
  message_ = text;
  if (!text.empty()) output_.Err(TerminalLine(text::kProgressCaption, text));
}

void TerminalProgressView::EnableButton(ProgressButton, bool) {}

void TerminalProgressView::RefreshCounters(std::uint32_t step, std::uint32_t cycle) {
  std::int64_t now = SteadyMilliseconds();
  if (static_cast<std::int64_t>(step) != last_step_ || now - last_print_ms_ >= 1500) {
    last_step_ = step;
    last_print_ms_ = now;
    PrintCounters(step, cycle);
  }
}

void TerminalProgressView::PrintCounters(std::uint32_t step, std::uint32_t cycle) {
  output_.Err(TerminalLine(text::kProgressCaption,
                           std::string(text::kStepLabel) + " " + Decimal(step) + "/" + step_total_ +
                               " " + std::string(text::kCycleLabel) + " " + Decimal(cycle) +
                               cycle_slash_ + cycle_total_));
}

void TerminalProgressView::ShowConditionError() {
  output_.Err(TerminalLine(text::kProgressCaption, text::kConditionError));
}

void TerminalProgressView::StopTimer() {}
void TerminalProgressView::Beep() {}

void TerminalProgressView::ShowErrorBox(std::string_view text, std::string_view caption) {
  output_.Err(TerminalLine(caption, text));
}

void TerminalProgressView::ShowPauseSnapshot(const PauseSnapshot& snapshot) {
  output_.Err(TerminalLine(text::kProgressCaption,
                           std::string(text::kStopped) + " " + std::string(text::kStepLabel) + " " +
                               Decimal(snapshot.step) + " " + std::string(text::kCycleLabel) + " " +
                               Decimal(snapshot.cycle)));
  if (snapshot.formula == nullptr || snapshot.values == nullptr) return;
  // The reached point, as the main window's result fields show it during a pause.
  for (int k = 0; k < 10; ++k) {
    std::uint8_t index = snapshot.formula->paramIndex[k];
    if (index >= snapshot.variable_count || index >= 10) continue;
    std::string line = "k";
    line.push_back(static_cast<char>('0' + k));
    line += ", " + ReportValueText(snapshot.values[index], true);
    output_.Err(TerminalLine(text::kMainCaption, line));
  }
}

int RunBatch(const std::vector<std::string>& args, const std::string& working_directory,
             BatchOutput& output, const BatchHooks& hooks) {
  BatchParse parse = ParseBatchArguments(args);
  if (!parse.ok) {
    output.Err(TerminalLine(text::kCaptionError, parse.error));
    output.Err(TerminalLine(text::kCaptionError, text::kBatchUsageHint));
    return kBatchRefused;
  }
  const BatchOptions& options = parse.options;
  if (options.help) {
    std::string_view usage = text::kBatchUsage;
    while (!usage.empty()) {
      std::size_t end = usage.find('\n');
      output.Out(usage.substr(0, end));
      usage.remove_prefix(end + 1);
    }
    return kBatchCompleted;
  }

  TerminalPrompter prompter(output, options.skip_blank_rows, options.overwrite);
  std::unique_ptr<AppState> state = MakeAppState(working_directory);

  // 1. The data file, read whole and indexed, then the selection accepted as the data sheet's OK
  //    accepts it (DataReadCondition.ini written) and published as open data publishes it.
  const std::string data_path = ResolvePath(working_directory, options.data_file);
  HeadlessMainView main_view(*state, prompter);
  {
    DataText text;
    if (!ReadDataFile(data_path, text, prompter, WindowId::kMain)) return kBatchRefused;
    IndexRows(text, prompter, WindowId::kDataSheet);
    RangeSelection selection;
    selection.x_series = options.x_series;
    selection.y_series = options.y_series;
    selection.start_row = options.start_row;
    selection.end_row = options.end_row;
    selection.use_to_last_row = options.to_last_row ? 1 : 0;
    const SelectionAcceptance acceptance =
        AcceptDataSelection(text, selection, *state, prompter, WindowId::kDataSheet);
    if (!acceptance.accepted()) return kBatchRefused;
    if (!acceptance.selection_file_written) {
      prompter.Show(text::kMsgFileWriteFailed, text::kCaptionError, WindowId::kMain);
      return kBatchRefused;
    }
  }
  PublishAcceptedData(main_view, *state, data_path);

  // 2. The condition file, opened as the conditions dialog's open command does, then accepted
  //    as its OK does (Formula.ini written).
  std::optional<std::string> condition_bytes =
      ReadInput(ResolvePath(working_directory, options.conditions_file), prompter);
  if (!condition_bytes) return kBatchRefused;
  ConditionDialogValues dialog = DialogValuesFromRecord(*state);
  FormulaCheckCode check_code = LoadConditionFile(*condition_bytes, dialog, *state);
  AcceptResult accepted = AcceptConditionsCommand(dialog, *state, main_view);
  if (!accepted.accepted) return kBatchRefused;
  if (state->conditions.formulaState != FormulaState::Valid) {
    std::string_view message = FormulaCheckMessage(check_code);
    if (message.empty()) message = FormulaStatusLabel(check_code);
    if (message.empty()) message = dialog.formula_status;
    prompter.Show(message, text::kCaptionError, WindowId::kConditions);
    return kBatchRefused;
  }
  if (state->conditions.leftSide == LeftSide::NotSelected) {
    prompter.Show(text::kStatusSetConditions, text::kCaptionError, WindowId::kMain);
    return kBatchRefused;
  }

  // 3. An existing report is refused before anything runs, unless it may be replaced.
  std::string report_path;
  if (!options.report_file.empty()) {
    report_path = ResolvePath(working_directory, options.report_file);
    if (FileExists(report_path) && !options.overwrite) {
      prompter.Show(text::kMsgOverwriteQuestion, text::kCaptionConfirm, WindowId::kMain);
      return kBatchRefused;
    }
  }

  // The details file likewise.
  std::string details_path;
  if (!options.details_file.empty()) {
    details_path = ResolvePath(working_directory, options.details_file);
    if (FileExists(details_path) && !options.overwrite) {
      prompter.Show(text::kMsgOverwriteQuestion, text::kCaptionConfirm, WindowId::kMain);
      return kBatchRefused;
    }
  }

  // 4. The run, as the run command does it; the progress goes to stderr, the main window's
  //    fields are kept as values.
  TerminalProgressView view(output);
  RunRecord record;
  RunCommandFlow run(*state, main_view, view, record, /*graph=*/nullptr);
  const RunRefusal refusal = run.Run([&](CalculationDriver& driver) {
    {
      InterruptTarget interrupt(state->workflow);
      if (hooks.run_started) hooks.run_started(state->workflow);
      driver.RunWorkerHere();
    }
    if (hooks.run_finished) hooks.run_finished();
  });
  if (refusal != RunRefusal::kNone || !run.log_ok()) return kBatchRefused;
  const int exit_code = run.exit_code();

  // 5. A condition error ends without results.
  if (exit_code == kWorkerConditionError) {
    output.Err(TerminalLine(text::kConditionError, view.message()));
    return kBatchConditionError;
  }
  const bool stopped_early = exit_code != kWorkerCompleted;
  const ReportValues values = ReportValuesFromWindow(*state, main_view, record);
  if (!report_path.empty() && SaveResultsTo(*state, main_view, record, report_path, prompter) !=
                                  SaveResultsStatus::kSaved) {
    return kBatchRefused;
  }

  // The details of the statistics, the text the details window saves.
  if (!details_path.empty()) {
    const FitStatistics stats = ComputeFitStatistics(*state);
    const FitDetails details =
        MakeFitDetails(stats, state->conditions.leftSide, record.stopped_early);
    if (SaveFitDetails(details, stats, details_path, prompter, WindowId::kMain) !=
        SaveResultsStatus::kSaved) {
      return kBatchRefused;
    }
  }

  // 6. The eleven result lines.
  for (const std::string& line : ReportValueLines(values)) output.Out(line);
  return stopped_early ? kBatchStopped : kBatchCompleted;
}

}  // namespace calvane
