#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/progress_view.h"
#include "formula/number_text.h"

namespace calvane::test {

// A ProgressView that records every call as one line of text ("status:...", "counters:1/4",
// "button:pause=0", ...) and lets a test act at chosen moments: on_counters runs on each
// counter refresh, on_snapshot when the worker shows its pause snapshot. Called on the worker's
// thread; read the record after the worker has ended.
class RecordingProgressView : public ProgressView {
 public:
  struct Snapshot {
    std::vector<double> values;
    std::uint32_t step = 0;
    std::uint32_t cycle = 0;
  };

  void SetStatusText(std::string_view text) override { Record("status:", text); }
  void SetPhaseText(std::string_view text) override { Record("phase:", text); }
  void SetStepTotal(std::string_view text) override { Record("steptotal:", text); }
  void SetCycleTotal(std::string_view text) override { Record("cycletotal:", text); }
  void SetCycleSlash(std::string_view text) override { Record("slash:", text); }
  void SetStepValue(std::string_view text) override { Record("stepvalue:", text); }
  void SetMessage(std::string_view text) override {
    messages.emplace_back(text);
    Record("message:", text);
  }
  void EnableButton(ProgressButton button, bool enabled) override {
    const char* name = button == ProgressButton::kPause ? "pause"
                       : button == ProgressButton::kOk  ? "ok"
                                                        : "abort";
    Record("button:", std::string(name) + (enabled ? "=1" : "=0"));
  }
  void RefreshCounters(std::uint32_t step, std::uint32_t cycle) override {
    Record("counters:", FormatNumber(step) + "/" + FormatNumber(cycle));
    if (on_counters) on_counters(step, cycle);
  }
  void ShowConditionError() override { Record("conditionerror", ""); }
  void StopTimer() override { Record("stoptimer", ""); }
  void Beep() override { Record("beep", ""); }
  void ShowErrorBox(std::string_view text, std::string_view caption) override {
    Record("errorbox:", std::string(caption) + ":" + std::string(text));
  }
  void ShowPauseSnapshot(const PauseSnapshot& snapshot) override {
    Snapshot copy;
    copy.values.assign(snapshot.values, snapshot.values + snapshot.variable_count);
    copy.step = snapshot.step;
    copy.cycle = snapshot.cycle;
    snapshots.push_back(copy);
    Record("snapshot", "");
    if (on_snapshot) on_snapshot(snapshot);
  }

  // Every recorded line that starts with `prefix`.
  std::vector<std::string> With(std::string_view prefix) const {
    std::vector<std::string> out;
    for (const std::string& line : calls) {
      if (line.compare(0, prefix.size(), prefix) == 0) out.push_back(line);
    }
    return out;
  }
  bool Has(std::string_view line) const {
    for (const std::string& call : calls) {
      if (call == line) return true;
    }
    return false;
  }

  std::vector<std::string> calls;
  std::vector<std::string> messages;
  std::vector<Snapshot> snapshots;
  std::function<void(std::uint32_t step, std::uint32_t cycle)> on_counters;
  std::function<void(const PauseSnapshot&)> on_snapshot;

 private:
  void Record(std::string_view kind, std::string_view text) {
    calls.push_back(std::string(kind) + std::string(text));
  }
};

}  // namespace calvane::test
