#include "app/run_commands.h"

#include <array>
#include <cstring>
#include <optional>

#include "app/command_state.h"
#include "app/messages.h"
#include "base/cp932.h"
#include "conditions/condition_accept.h"
#include "engine/fit_results.h"
#include "formula/formula_check.h"

namespace calvane {
namespace {

// How much of each field the report takes.
constexpr std::size_t kTimeFieldBytes = 19;
constexpr std::size_t kDataPathBytes = 499;

}  // namespace

RunCommandFlow::RunCommandFlow(AppState& state, MainView& view, ProgressView& progress,
                               RunRecord& record, GraphScale* graph, LocalTimeSource clock)
    : state_(state),
      view_(view),
      record_(record),
      graph_(graph),
      driver_(state, progress, std::move(clock)),
      scratch_(std::make_unique<CompiledFormula>()) {}

RunCommandFlow::~RunCommandFlow() {
  // A flow left between Begin and Finish still ends its run properly.
  if (begun_) Finish();
}

RunRefusal RunCommandFlow::Begin() {
  Prompter& prompter = view_.prompter();
  if (state_.conditions.leftSide == LeftSide::NotSelected) {
    prompter.Show(text::kStatusSetConditions, text::kCaptionError, WindowId::kMain);
    return RunRefusal::kNoLeftSide;
  }
  // The accepted formula, compiled again: a check that the conditions dialog ran on an edit it
  // then cancelled left its program behind, and the accepted text may be empty.
  const std::size_t length = strnlen(state_.formula.formulaText, kFormulaTextSize);
  const FormulaCheckCode code =
      CheckFormula(state_.formula, std::string_view(state_.formula.formulaText, length),
                   state_.conditions.leftSide);
  if (code != FormulaCheckCode::FormulaValid) {
    state_.conditions.formulaState =
        code == FormulaCheckCode::FormulaEmpty ? FormulaState::NotEntered : FormulaState::Invalid;
    std::string_view message = FormulaCheckMessage(code);
    if (message.empty()) message = FormulaStatusLabel(code);
    prompter.Show(message, text::kCaptionError, WindowId::kMain);
    CommandState commands = view_.Commands();
    commands.run = false;
    view_.SetCommands(commands);
    view_.SetStatusLine(text::kStatusSetConditions);
    return RunRefusal::kFormulaInvalid;
  }
  if (!view_.ConfirmDiscard()) return RunRefusal::kDiscardDeclined;
  view_.ClearResults();
  if (!driver_.Begin()) {
    prompter.Show(text::kMsgFileOpenFailed, text::kCaptionError, WindowId::kMain);
    return RunRefusal::kLogNotOpened;
  }
  view_.SetFieldText(kCtlStartTime, driver_.start_time());
  if (graph_ != nullptr) graph_->HoldForRun();
  begun_ = true;
  return RunRefusal::kNone;
}

void RunCommandFlow::ShowPauseSnapshot(const PauseSnapshot& snapshot) {
  if (snapshot.formula == nullptr || snapshot.values == nullptr) return;
  // The worker waits until this returns; its formula holds the reached point meanwhile.
  const FitResults results =
      ComputeFitResults(*snapshot.formula, snapshot.values, state_.points,
                        state_.conditions.leftSide, state_.conditions.dataInterval,
                        /*provisional=*/true, *scratch_);
  state_.engine.R2Value = results.R2Value;
  ShowResults(results);
  if (graph_ != nullptr) graph_->TakeSnapshot(*snapshot.formula);
  view_.Repaint();
}

void RunCommandFlow::ShowResults(const FitResults& results) {
  for (int k = 0; k < kMaxConstants; ++k) {
    view_.SetFieldText(kCtlConstant0 + k, results.constant_texts[static_cast<std::size_t>(k)]);
  }
  view_.SetFieldText(kCtlR2, results.r2_text);
}

int RunCommandFlow::Finish() {
  if (!begun_) return exit_code_;
  begun_ = false;
  exit_code_ = driver_.Finish();
  if (graph_ != nullptr) graph_->FollowShared();
  view_.SetFieldText(kCtlEndTime, driver_.end_time());
  const WorkflowStateValue workflow = state_.workflow.load(std::memory_order_acquire);
  ApplyUpdate(view_, AfterRunEnded(view_.Commands(), workflow));
  if (EffectsOfExitCode(exit_code_).refresh_results) ShowResults(RefreshResults(state_));
  record_.stopped_early = workflow == WorkflowStateValue::kStoppedResults;
  view_.Repaint();
  if (!driver_.log_ok()) {
    view_.prompter().Show(text::kMsgFileWriteFailed, text::kCaptionError, WindowId::kMain);
  }
  return exit_code_;
}

RunRefusal RunCommandFlow::Run(const std::function<void(CalculationDriver&)>& run_window) {
  const RunRefusal refusal = Begin();
  if (refusal != RunRefusal::kNone) return refusal;
  run_window(driver_);
  Finish();
  return RunRefusal::kNone;
}

ReportValues ReportValuesFromWindow(const AppState& state, const MainView& view,
                                    const RunRecord& record) {
  ReportValues values;
  values.start_time = view.FieldText(kCtlStartTime).substr(0, kTimeFieldBytes);
  values.end_time = view.FieldText(kCtlEndTime).substr(0, kTimeFieldBytes);
  const std::string path = view.FieldText(kCtlDataFile);
  const std::optional<std::string> path_cp932 = Utf8ToCp932(path);
  values.data_path = CutShiftJis(path_cp932 ? *path_cp932 : path, kDataPathBytes);
  for (int v = 0; v < kMaxConstants; ++v) values.CurrentValue[v] = state.engine.CurrentValue[v];
  for (int k = 0; k < kMaxConstants; ++k) values.paramIndex[k] = state.formula.paramIndex[k];
  values.R2Value = state.engine.R2Value;
  values.stopped_early = record.stopped_early;
  return values;
}

SaveResultsStatus SaveResultsTo(AppState& state, MainView& view, const RunRecord& record,
                                const std::string& path, Prompter& prompter) {
  const SaveResultsStatus status = SaveResultsReport(ReportValuesFromWindow(state, view, record),
                                                     path, state.working_directory, prompter);
  if (status != SaveResultsStatus::kSaved) return status;
  state.workflow.store(WorkflowStateValue::kResultsSaved, std::memory_order_release);
  ApplyUpdate(view, AfterResultsSaved(view.Commands()));
  return status;
}

SaveResultsStatus SaveResultsCommand(AppState& state, MainView& view, const RunRecord& record,
                                     FileChooser& chooser) {
  static constexpr std::array<FileFilter, 1> kFilters{
      FileFilter{text::kResultsFilterLabel, text::kResultsFilterPattern}};
  FileDialogRequest request;
  request.title = text::kSaveResultsTitle;
  request.filters = kFilters;
  request.default_extension = text::kResultsDefaultExtension;
  request.owner = WindowId::kMain;
  const std::optional<std::string> path = chooser.ChooseSave(request);
  if (!path) return SaveResultsStatus::kCancelled;
  return SaveResultsTo(state, view, record, *path, view.prompter());
}

}  // namespace calvane
