#pragma once

#include <map>
#include <string>
#include <string_view>

#include "app/app_state.h"
#include "app/discard_check.h"
#include "app/main_view.h"

namespace calvane {

// The main window's fields, status line and commands as plain values, for the command flows
// without a window (calvane-batch, tests): what a MainWindow would show, kept to be read back.
// The discard check asks `prompter`, as the window does. Main thread.
class HeadlessMainView : public MainView {
 public:
  HeadlessMainView(const AppState& state, Prompter& prompter)
      : state_(state), prompter_(prompter) {}

  void SetFieldText(int control_id, std::string_view text) override {
    fields_[control_id] = std::string(text);
  }
  std::string FieldText(int control_id) const override {
    const auto it = fields_.find(control_id);
    return it == fields_.end() ? std::string() : it->second;
  }
  void SetStatusLine(std::string_view text) override { status_line_ = text; }
  CommandState Commands() const override { return commands_; }
  void SetCommands(const CommandState& commands) override { commands_ = commands; }
  void ClearResults() override {
    for (const int id : {static_cast<int>(kCtlStartTime), static_cast<int>(kCtlEndTime),
                         static_cast<int>(kCtlR2)}) {
      fields_[id].clear();
    }
    for (int i = 0; i < 10; ++i) fields_[kCtlConstant0 + i].clear();
    commands_.save_results = false;
  }
  void Repaint() override { ++repaints_; }
  bool ConfirmDiscard() override { return DiscardCheck(state_.workflow.load(), prompter_); }
  Prompter& prompter() override { return prompter_; }

  const std::string& status_line() const { return status_line_; }
  int repaints() const { return repaints_; }

 private:
  const AppState& state_;
  Prompter& prompter_;
  std::map<int, std::string> fields_;
  std::string status_line_;
  CommandState commands_;
  int repaints_ = 0;
};

}  // namespace calvane
