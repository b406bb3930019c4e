#include "app/command_state.h"

#include <array>

#include "app/messages.h"
#include "base/workflow_state.h"
#include "conditions/condition_record.h"

namespace calvane {

bool IsCommandEnabled(const CommandState& commands, int id) {
  switch (id) {
    case kCmdCloseData:
      return commands.close_data;
    case kCmdRun:
      return commands.run;
    case kCmdSaveResults:
      return commands.save_results;
    case kCmdOpenData:
    case kCmdExit:
    case kCmdFittingConditions:
    case kCmdHelp:
    case kCmdVersion:
      return true;
    default:
      return false;
  }
}

bool IsWorkflowCommand(int id) { return id == kCmdFitDetails || id == kCmdSaveGraphImage; }

bool WorkflowCommandEnabled(WorkflowStateValue workflow, int id) {
  const bool results = workflow == WorkflowStateValue::kStoppedResults ||
                       workflow == WorkflowStateValue::kCompletedResults ||
                       workflow == WorkflowStateValue::kResultsSaved;
  if (id == kCmdFitDetails) return results;
  if (id == kCmdSaveGraphImage) return results || workflow == WorkflowStateValue::kDataLoaded;
  return false;
}

CommandUpdate AtStartUp() { return {CommandState{}, text::kStatusOpenData}; }

CommandUpdate AfterDataAccepted(const CommandState& now, FormulaState formula_state,
                                LeftSide left_side) {
  CommandUpdate update{now, {}};
  update.commands.close_data = true;
  update.commands.save_results = false;
  const bool valid = formula_state == FormulaState::Valid;
  if (valid && (left_side == LeftSide::X || left_side == LeftSide::Y)) update.commands.run = true;
  update.status_line = valid ? text::kStatusRun : text::kStatusSetConditions;
  return update;
}

CommandUpdate AfterConditionsAccepted(const CommandState& now, WorkflowStateValue workflow,
                                      FormulaState formula_state, LeftSide left_side) {
  CommandUpdate update{now, {}};
  const bool has_left_side = left_side == LeftSide::X || left_side == LeftSide::Y;
  if (formula_state == FormulaState::NotEntered || formula_state == FormulaState::Invalid) {
    update.commands.run = false;
    if (workflow == WorkflowStateValue::kDataLoaded)
      update.status_line = text::kStatusSetConditions;
  } else if (formula_state == FormulaState::Valid) {
    if (workflow == WorkflowStateValue::kStoppedResults ||
        (workflow == WorkflowStateValue::kDataLoaded && has_left_side)) {
      update.commands.run = true;
      update.status_line = text::kStatusRun;
    } else if (workflow == WorkflowStateValue::kNoData ||
               workflow == WorkflowStateValue::kDataLoaded) {
      update.commands.run = false;
    }
  }
  return update;
}

CommandUpdate AfterRunEnded(const CommandState& now, WorkflowStateValue workflow) {
  CommandUpdate update{now, {}};
  if (workflow == WorkflowStateValue::kCompletedResults) {
    update.commands.save_results = true;
    update.status_line = text::kStatusSaveIfNeeded;
  } else if (workflow == WorkflowStateValue::kStoppedResults) {
    update.commands.save_results = true;
    update.status_line = text::kStatusRun;
  }
  return update;
}

CommandUpdate AfterResultsSaved(const CommandState& now) { return {now, text::kStatusSaved}; }

CommandUpdate AfterDataClosed(const CommandState&) {
  return {CommandState{}, text::kStatusOpenData};
}

CommandUpdate AfterClearResults(const CommandState& now) {
  CommandUpdate update{now, {}};
  update.commands.save_results = false;
  return update;
}

bool DiscardCheckAsks(WorkflowStateValue workflow) {
  return workflow == WorkflowStateValue::kStoppedResults ||
         workflow == WorkflowStateValue::kCompletedResults;
}

bool CurveVisible(WorkflowStateValue workflow) {
  const auto value = static_cast<std::int8_t>(workflow);
  return value >= static_cast<std::int8_t>(WorkflowStateValue::kStoppedResults) || value < 0;
}

namespace {

constexpr std::array<MenuEntry, 7> kFileMenu{{
    {text::kMenuOpenData, kCmdOpenData},
    {text::kMenuCloseData, kCmdCloseData},
    {{}, 0},
    {text::kMenuSaveResults, kCmdSaveResults},
    {text::kMenuSaveGraphImage, kCmdSaveGraphImage},
    {{}, 0},
    {text::kMenuExit, kCmdExit},
}};
constexpr std::array<MenuEntry, 4> kCalculationMenu{{
    {text::kMenuConditions, kCmdFittingConditions},
    {{}, 0},
    {text::kMenuRun, kCmdRun},
    {text::kMenuFitDetails, kCmdFitDetails},
}};
constexpr std::array<MenuEntry, 2> kHelpMenu{{
    {text::kMenuHelpFile, kCmdHelp},
    {text::kMenuVersion, kCmdVersion},
}};
constexpr std::array<MenuEntry, 3> kMainBar{{
    {text::kMenuFile, 0, kFileMenu},
    {text::kMenuCalculation, 0, kCalculationMenu},
    {text::kMenuHelp, 0, kHelpMenu},
}};

constexpr std::array<MenuEntry, 6> kConditionsFileMenu{{
    {text::kMenuOpenConditions, kCmdOpenConditionFile},
    {text::kMenuSaveConditions, kCmdSaveConditionFile},
    {{}, 0},
    {text::kMenuDetailedConditions, kCmdDetailedConditions},
    {{}, 0},
    {text::kMenuCloseConditions, kCmdCloseConditions},
}};
constexpr std::array<MenuEntry, 1> kConditionsHelpMenu{{
    {text::kMenuHelpFile, kCmdHelp},
}};
constexpr std::array<MenuEntry, 2> kConditionsBar{{
    {text::kMenuFile, 0, kConditionsFileMenu},
    {text::kMenuHelp, 0, kConditionsHelpMenu},
}};

}  // namespace

std::span<const MenuEntry> MainMenuBar() { return kMainBar; }
std::span<const MenuEntry> ConditionsMenuBar() { return kConditionsBar; }

}  // namespace calvane
