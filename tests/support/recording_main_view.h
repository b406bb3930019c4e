#pragma once

#include <string>
#include <vector>

#include "app/main_view.h"

namespace calvane::test {

// A MainView for tests (GoogleTest and Qt Test alike): keeps the commands, the status line and
// the fields as the main window would show them, and counts results cleared and repaints.
class RecordingMainView : public MainView {
 public:
  explicit RecordingMainView(Prompter& prompter) : prompter_(prompter) {}

  void SetFieldText(int control_id, std::string_view text) override {
    fields.emplace_back(control_id, std::string(text));
  }
  // The last text set into the field, empty when none was.
  std::string FieldText(int control_id) const override {
    for (auto it = fields.rbegin(); it != fields.rend(); ++it) {
      if (it->first == control_id) return it->second;
    }
    return {};
  }
  void SetStatusLine(std::string_view text) override { status_line = std::string(text); }
  CommandState Commands() const override { return commands; }
  void SetCommands(const CommandState& state) override { commands = state; }
  void ClearResults() override {
    ++results_cleared;
    commands.save_results = false;
  }
  void Repaint() override { ++repaints; }
  bool ConfirmDiscard() override { return true; }
  Prompter& prompter() override { return prompter_; }

  CommandState commands;
  std::string status_line;
  std::vector<std::pair<int, std::string>> fields;
  int results_cleared = 0;
  int repaints = 0;

 private:
  Prompter& prompter_;
};

}  // namespace calvane::test
