#include "app/data_commands.h"

#include <array>
#include <optional>

#include "app/command_state.h"
#include "data/data_messages.h"
#include "data/range_conversion.h"

namespace calvane {

std::span<const FileFilter> OpenDataFilters() {
  static constexpr std::array<FileFilter, 3> kFilters = {{
      {text::kFilterCsvLabel, "*.csv"},
      {text::kFilterTextLabel, "*.txt"},
      {text::kFilterAllLabel, "*.*"},
  }};
  return kFilters;
}

FileDialogRequest OpenDataRequest(const AppState& state) {
  FileDialogRequest request;
  request.title = text::kOpenDataTitle;
  request.filters = OpenDataFilters();
  request.initial_folder = state.first_dialog.InitialFolder(state.working_directory);
  request.owner = WindowId::kMain;
  return request;
}

bool OpenData(MainView& view, FileChooser& chooser, AppState& state,
              const RunDataSheet& run_sheet) {
  if (!view.ConfirmDiscard()) return false;
  const std::optional<std::string> path = chooser.ChooseOpen(OpenDataRequest(state));
  if (!path || path->empty()) return false;
  view.ClearResults();
  state.first_dialog.MarkChosen();

  // The text lives until the sheet ends; the sheet converts into a scratch table, so a cancel
  // after a stopped conversion keeps the points of the file loaded before.
  DataText text;
  if (!ReadDataFile(*path, text, view.prompter(), WindowId::kMain)) return false;
  const int result = run_sheet ? run_sheet(text) : kSheetCancelled;
  text.Release();
  if (result != kSheetAccepted) return false;
  PublishAcceptedData(view, state, *path);
  return true;
}

void PublishAcceptedData(MainView& view, AppState& state, const std::string& path) {
  state.ranges = ComputeDataRanges(state.points);
  view.SetFieldText(kCtlDataFile, path);
  state.workflow.store(WorkflowStateValue::kDataLoaded);
  ApplyUpdate(view, AfterDataAccepted(view.Commands(), state.conditions.formulaState,
                                      state.conditions.leftSide));
  view.Repaint();
}

bool CloseData(MainView& view, AppState& state) {
  const WorkflowStateValue workflow = state.workflow.load();
  if (workflow == WorkflowStateValue::kPaused || workflow == WorkflowStateValue::kAbortRequested)
    return false;
  if (!view.ConfirmDiscard()) return false;
  view.ClearResults();
  state.workflow.store(WorkflowStateValue::kNoData);
  state.points.count = 0;
  view.SetFieldText(kCtlDataFile, {});
  ApplyUpdate(view, AfterDataClosed(view.Commands()));
  view.Repaint();
  return true;
}

}  // namespace calvane
