#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "base/workflow_state.h"
#include "conditions/condition_record.h"

namespace calvane {

// Command ids of the main window and of the fitting-conditions window's menu.
enum CommandId : int {
  kCmdOpenData = 1123,
  kCmdCloseData = 1124,
  kCmdSaveResults = 1125,
  kCmdExit = 1126,
  kCmdFittingConditions = 1127,
  kCmdRun = 1128,
  kCmdHelp = 1129,
  kCmdVersion = 1130,
  kCmdFitDetails = 1140,      // the window of the run's statistics
  kCmdSaveGraphImage = 1141,  // the main window's graph as a PNG or SVG image
  kCmdOpenConditionFile = 1132,
  kCmdSaveConditionFile = 1133,
  kCmdDetailedConditions = 1134,
  kCmdCloseConditions = 1135,
};

// The three commands whose enabled state changes with the workflow; every other command of the
// main window (open data, fitting conditions, help, version, exit) is always enabled. Run and
// save results appear in the menu and on the toolbar with the same state.
struct CommandState {
  bool close_data = false;
  bool run = false;
  bool save_results = false;

  friend bool operator==(const CommandState&, const CommandState&) = default;
};

// The result of one step of the workflow: the commands afterwards and the status-line text
// (empty view: the status line keeps its text).
struct CommandUpdate {
  CommandState commands;
  std::string_view status_line;
};

// The two commands whose enabled state follows the workflow state alone, in the menu only:
// the details of the results while results are shown (states 2, 3 and 4), the graph image while
// data are loaded (states 1 to 4). Every other id is false.
bool IsWorkflowCommand(int id);
bool WorkflowCommandEnabled(WorkflowStateValue workflow, int id);

// Whether `id` is enabled under `commands`. Ids that are not main-window commands are false.
bool IsCommandEnabled(const CommandState& commands, int id);

// The steps of the workflow. Each takes the commands as they stand (for the cells that stay
// unchanged) and returns the update. `formula_state` is ConditionRecord::formulaState,
// `left_side` ConditionRecord::leftSide, `workflow` the workflow state at that moment. Pure.

// Start-up: everything disabled, "open a data file".
CommandUpdate AtStartUp();
// The data sheet was accepted (open data, after the workflow state became 1).
CommandUpdate AfterDataAccepted(const CommandState& now, FormulaState formula_state,
                                LeftSide left_side);
// The fitting-conditions dialog accepted its conditions (OK), in workflow state `workflow`.
CommandUpdate AfterConditionsAccepted(const CommandState& now, WorkflowStateValue workflow,
                                      FormulaState formula_state, LeftSide left_side);
// A run ended and the workflow state is now `workflow` (3 converged, 2 stopped early, 1 a
// constant's text was missing, anything else the window closed while the worker still ran).
CommandUpdate AfterRunEnded(const CommandState& now, WorkflowStateValue workflow);
// The results were saved (workflow state 4).
CommandUpdate AfterResultsSaved(const CommandState& now);
// The data were closed (workflow state 0).
CommandUpdate AfterDataClosed(const CommandState& now);
// Clear results: only save results changes (disabled); the status line stays.
CommandUpdate AfterClearResults(const CommandState& now);

// True when the discard check has to ask: results that are not saved (states 2 and 3).
bool DiscardCheckAsks(WorkflowStateValue workflow);

// True when the graph draws the fitted curve: results present (2 or more) or a run paused or
// being aborted (negative).
bool CurveVisible(WorkflowStateValue workflow);

// One entry of a menu in display order: a command, a separator (id 0, empty text) or a pop-up
// (id 0, non-empty text, `items` its entries).
struct MenuEntry {
  std::string_view text;
  int id = 0;
  std::span<const MenuEntry> items{};
};

// The main menu bar and the fitting-conditions window's menu bar, pop-ups in display order.
std::span<const MenuEntry> MainMenuBar();
std::span<const MenuEntry> ConditionsMenuBar();

}  // namespace calvane
