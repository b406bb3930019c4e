#pragma once

#include <string>
#include <string_view>

#include "app/command_state.h"
#include "base/prompter.h"

namespace calvane {

// Control ids of the main window's fields.
enum MainControlId : int {
  kCtlDataFileLabel = 1000,
  kCtlDataFile = 1001,
  kCtlConstantsHeader = 1002,
  kCtlConstant0 = 1003,      // 1003..1012: fitted value of k0..k9
  kCtlConstantName0 = 1013,  // 1013..1022: "k0".."k9"
  kCtlStartTimeLabel = 1023,
  kCtlR2Label = 1024,
  kCtlStartTime = 1025,
  kCtlHorizontalAxis = 1026,
  kCtlVerticalAxis = 1027,
  kCtlStatusLine = 1029,
  kCtlEndTimeLabel = 1030,
  kCtlEndTime = 1031,
  kCtlR2 = 1032,
  kCtlToolbar = 70,
};

// What the commands of the main window (open and close data, run, save results, the conditions
// dialog) do to the main window, without naming a widget. The Qt main window implements it;
// tests record it. Texts are UTF-8. Main thread only.
class MainView {
 public:
  virtual ~MainView() = default;

  // Sets the text of a read-only field (1001, 1003..1012, 1025, 1031, 1032).
  virtual void SetFieldText(int control_id, std::string_view text) = 0;
  // The text of such a field as it stands (the results report reads the times and the data
  // file back from the window).
  virtual std::string FieldText(int control_id) const = 0;
  // Sets the status line (1029).
  virtual void SetStatusLine(std::string_view text) = 0;
  // The enabled state of close data, run and save results as it stands, and its replacement
  // (menu and toolbar alike).
  virtual CommandState Commands() const = 0;
  virtual void SetCommands(const CommandState& commands) = 0;
  // Clear results: empties the start and end times, the ten constants and R^2, and disables
  // save results.
  virtual void ClearResults() = 0;
  // Asks for a repaint of the whole main window (the graph).
  virtual void Repaint() = 0;
  // The discard check against the current workflow state; true when the caller may go on.
  virtual bool ConfirmDiscard() = 0;
  // Messages and questions owned by the windows of the program.
  virtual Prompter& prompter() = 0;
};

// Applies one workflow step's update: the commands, and the status line unless it is unchanged.
inline void ApplyUpdate(MainView& view, const CommandUpdate& update) {
  view.SetCommands(update.commands);
  if (!update.status_line.empty()) view.SetStatusLine(update.status_line);
}

}  // namespace calvane
