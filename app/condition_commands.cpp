#include "app/condition_commands.h"

#include "app/command_state.h"
#include "app/discard_check.h"
#include "app/messages.h"
#include "conditions/condition_file.h"
#include "conditions/condition_messages.h"

namespace calvane {
namespace {

constexpr FileFilter kConditionFilters[] = {
    {condition_text::kFilterLabel, condition_text::kFilterPattern}};

bool ResultsShown(std::int8_t workflow) {
  return workflow == kStoppedResults || workflow == kCompletedResults;
}

}  // namespace

AcceptResult AcceptConditionsCommand(const ConditionDialogValues& values, AppState& state,
                                     MainView& view) {
  AcceptResult result = AcceptConditions(values, state, view.prompter(), WindowId::kConditions);
  if (!result.accepted) return result;
  ApplyUpdate(view, AfterConditionsAccepted(view.Commands(), state.workflow.load(),
                                            state.conditions.formulaState,
                                            state.conditions.leftSide));
  return result;
}

void ResetConditions(AppState& state, MainView& view) {
  state.workflow.store(kDataLoaded);
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
  return FileDialogRequest{condition_text::kOpenTitle, kConditionFilters,
                           condition_text::kExtension,
                           state.first_dialog.InitialFolder(state.working_directory),
                           WindowId::kConditions};
}

FileDialogRequest SaveConditionFileRequest() {
  return FileDialogRequest{condition_text::kSaveTitle, kConditionFilters,
                           condition_text::kExtension, {}, WindowId::kConditions};
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
