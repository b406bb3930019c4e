#pragma once

#include <functional>

#include "app/app_state.h"
#include "app/main_view.h"
#include "base/file_chooser.h"
#include "conditions/condition_accept.h"
#include "conditions/conditions_host.h"

namespace calvane {

// The commands of the fitting-conditions dialog that reach the main window, the workflow state
// and the files, written once against the records and the seams: the dialog calls them through
// ConditionCommands, calvane-batch calls AcceptConditionsCommand. Main thread.

// OK: AcceptConditions (messages owned by the conditions dialog); when accepted, the main
// window's run command and status line follow the new formula state, the left side and the
// workflow state (AfterConditionsAccepted). Formula.ini is written by AcceptConditions.
AcceptResult AcceptConditionsCommand(const ConditionDialogValues& values, AppState& state,
                                     MainView& view);

// ResetConditions: workflow state 1 and the status line "計算を実行してください。". The dialog
// enables its fields itself.
void ResetConditions(AppState& state, MainView& view);

// The reset button: the discard check (owned by the conditions dialog); if it lets us go on,
// clear results and ResetConditions. False when the user keeps the results.
bool ResetConditionsCommand(AppState& state, MainView& view);

// Before the detailed-conditions dialog: the discard check; if it lets us go on, clear results
// and, when results were shown (workflow state 2 or 3), ResetConditions.
bool PrepareDetailedConditions(AppState& state, MainView& view);

// The requests of the two condition-file dialogs: title, the one filter "計算条件ファイル(*.ccn)",
// default extension "ccn"; the open dialog starts in Sample until a data or condition file has
// been chosen (state.first_dialog), the save dialog gives no initial folder.
FileDialogRequest OpenConditionFileRequest(const AppState& state);
FileDialogRequest SaveConditionFileRequest();

// The open command: the discard check, the open dialog (a chosen file sets the first-dialog
// flag), then the file is read and loaded into `values` and the record's two detailed values.
// Only a loaded file clears the results and, in workflow state 2 or 3, resets the conditions;
// a file that cannot be opened or read shows its message and changes nothing. True when loaded.
bool OpenConditionFileCommand(ConditionDialogValues& values, AppState& state, MainView& view,
                              FileChooser& chooser);

// The save command: the save dialog, then SaveConditionFile from `values` (the overwrite
// question, the file messages). True when written.
bool SaveConditionFileCommand(const ConditionDialogValues& values, const AppState& state,
                              MainView& view, FileChooser& chooser);

// The ConditionsHost of the program: the functions above over one state, main view and file
// chooser, and `open_help` for the help command. All four outlive it.
class ConditionCommands : public ConditionsHost {
 public:
  ConditionCommands(AppState& state, MainView& view, FileChooser& chooser,
                    std::function<void()> open_help)
      : state_(state), view_(view), chooser_(chooser), open_help_(std::move(open_help)) {}

  Prompter& prompter() override { return view_.prompter(); }
  AcceptResult Accept(const ConditionDialogValues& values) override {
    return AcceptConditionsCommand(values, state_, view_);
  }
  bool Reset() override { return ResetConditionsCommand(state_, view_); }
  bool PrepareDetailedConditions() override {
    return calvane::PrepareDetailedConditions(state_, view_);
  }
  bool OpenConditionFile(ConditionDialogValues& values) override {
    return OpenConditionFileCommand(values, state_, view_, chooser_);
  }
  bool SaveConditionFile(const ConditionDialogValues& values) override {
    return SaveConditionFileCommand(values, state_, view_, chooser_);
  }
  void OpenHelp() override {
    if (open_help_) open_help_();
  }

 private:
  AppState& state_;
  MainView& view_;
  FileChooser& chooser_;
  std::function<void()> open_help_;
};

}  // namespace calvane
