#pragma once

#include <map>
#include <string>

#include "app/main_view.h"

namespace calvane::test {

// A MainView for tests (GoogleTest and Qt Test alike): keeps the commands, the status line and
// the fields as the main window would show them, counts results cleared, repaints and discard
// checks, and lets the discard check go on unless `allow_discard` is cleared.
class RecordingMainView : public MainView {
 public:
  explicit RecordingMainView(Prompter& prompter) : prompter_(prompter) {}

  void SetFieldText(int control_id, std::string_view text) override {
    fields[control_id] = std::string(text);
  }
  // The last text set into the field, empty when none was.
  std::string FieldText(int control_id) const override {
    const auto it = fields.find(control_id);
    return it == fields.end() ? std::string() : it->second;
  }
  void SetStatusLine(std::string_view text) override { status_line = std::string(text); }
  CommandState Commands() const override { return commands; }
  void SetCommands(const CommandState& state) override { commands = state; }
  void ClearResults() override {
    ++results_cleared;
    commands.save_results = false;
  }
  void Repaint() override { ++repaints; }
  bool ConfirmDiscard() override {
    ++discard_checks;
    return allow_discard;
  }
  Prompter& prompter() override { return prompter_; }

  CommandState commands;
  std::string status_line;
  std::map<int, std::string> fields;  // the last text of each field
  int results_cleared = 0;
  int repaints = 0;
  int discard_checks = 0;
  bool allow_discard = true;

 private:
  Prompter& prompter_;
};

}  // namespace calvane::test
