#pragma once

#include "base/prompter.h"
#include "conditions/condition_accept.h"

namespace calvane {

// What the fitting-conditions dialog asks of the program around it: the commands that reach
// beyond the dialog (the main window's commands and status line, the workflow state, the file
// dialogs, the help file). The application carries them out with its shared command flows
// (app/condition_commands.h); the dialog only shows what they return. Main thread.
class ConditionsHost {
 public:
  virtual ~ConditionsHost() = default;

  // Messages and questions owned by the conditions dialogs.
  virtual Prompter& prompter() = 0;
  // OK: checks and stores `values` and updates the main window (AcceptConditions).
  virtual AcceptResult Accept(const ConditionDialogValues& values) = 0;
  // The reset button: the discard check, then clear results and ResetConditions. False when
  // the user keeps the results.
  virtual bool Reset() = 0;
  // Before the detailed-conditions dialog opens: the discard check, clear results, and
  // ResetConditions when results were shown. False when the user keeps the results.
  virtual bool PrepareDetailedConditions() = 0;
  // The open command: a file chosen and loaded into `values` (and the record's two detailed
  // values). False when nothing was loaded.
  virtual bool OpenConditionFile(ConditionDialogValues& values) = 0;
  // The save command: a file chosen and written from `values`. False when nothing was written.
  virtual bool SaveConditionFile(const ConditionDialogValues& values) = 0;
  // Opens the help file.
  virtual void OpenHelp() = 0;
};

}  // namespace calvane
