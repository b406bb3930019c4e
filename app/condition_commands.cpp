#include "app/condition_commands.h"

#include "app/command_state.h"
#include "app/discard_check.h"
#include "app/messages.h"
#include "conditions/condition_file.h"
#include "conditions/condition_messages.h"

namespace calvane {
namespace {

constexpr FileFilter kConditionFilters[] = {{text::kFilterLabel, text::kFilterPattern}};

bool ResultsShown(WorkflowStateValue workflow) {
  return workflow == WorkflowStateValue::kStoppedResults ||
         workflow == WorkflowStateValue::kCompletedResults;
}

}  // namespace

AcceptResult AcceptConditionsCommand(const ConditionDialogValues& values, AppState& state,
                                     MainView& view) {
  AcceptResult result = AcceptConditions(values, state, view.prompter(), WindowId::kConditions);
  if (!result.accepted) return result;
  ApplyUpdate(view,
              AfterConditionsAccepted(view.Commands(), state.workflow.load(),
                                      state.conditions.formulaState, state.conditions.leftSide));
  return result;
}

void ResetConditions(AppState& state, MainView& view) {
  state.workflow.store(WorkflowStateValue::kDataLoaded);
  view.SetStatusLine(text::kStatusRun);
}

bool ResetConditionsCommand(AppState& state, MainView& view) {
  if (!DiscardCheck(state.workflow.load(), view.prompter(), WindowId::kConditions)) return false;
  view.ClearResults();
  ResetConditions(state, view);
  return true;
}

bool PrepareDetailedConditions(AppState& state, MainView& view) {
  if (!DiscardCheck(state.workflow.load(), view.prompter(), WindowId::kConditions)) return false;
  view.ClearResults();
  if (ResultsShown(state.workflow.load())) ResetConditions(state, view);
  return true;
}

FileDialogRequest OpenConditionFileRequest(const AppState& state) {
  return FileDialogRequest{text::kOpenTitle, kConditionFilters, text::kExtension,
                           state.first_dialog.InitialFolder(state.working_directory),
                           WindowId::kConditions};
}

FileDialogRequest SaveConditionFileRequest() {
  return FileDialogRequest{
      text::kSaveTitle, kConditionFilters, text::kExtension, {}, WindowId::kConditions};
}

bool OpenConditionFileCommand(ConditionDialogValues& values, AppState& state, MainView& view,
                              FileChooser& chooser) {
  if (!DiscardCheck(state.workflow.load(), view.prompter(), WindowId::kConditions)) return false;
  const std::optional<std::string> path = chooser.ChooseOpen(OpenConditionFileRequest(state));
  if (!path) return false;
  state.first_dialog.MarkChosen();
  if (!ReadConditionFile(*path, values, state, view.prompter(), WindowId::kConditions)) {
    return false;
  }
  view.ClearResults();
  if (ResultsShown(state.workflow.load())) ResetConditions(state, view);
  return true;
}

bool SaveConditionFileCommand(const ConditionDialogValues& values, const AppState& state,
                              MainView& view, FileChooser& chooser) {
  const std::optional<std::string> path = chooser.ChooseSave(SaveConditionFileRequest());
  if (!path) return false;
  return SaveConditionFile(*path, state, values, view.prompter(), WindowId::kConditions);
}

}  // namespace calvane
