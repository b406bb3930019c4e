#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "app/app_state.h"
#include "base/cp932.h"
#include "base/file_io.h"
#include "engine/calculation_log.h"
#include "engine/fit_context.h"
#include "engine/parallel_sums.h"
#include "formula/formula_check.h"
#include "tests/engine/recording_progress_view.h"
#include "tests/support/temp_dir.h"

namespace calvane::test {

// A working directory with an application state for one fit: a formula compiled from its text,
// points, constant texts, and the engine arrays for calling a phase directly.
class FitSetup {
 public:
  explicit FitSetup(std::string_view formula_text, LeftSide left_side = LeftSide::Y)
      : state_(MakeAppState(dir_.path())) {
    state_->conditions.leftSide = left_side;
    state_->conditions.roughEstimation = 0;
    state_->conditions.angleUnit = AngleUnit::Radian;
    state_->conditions.formulaState = FormulaState::Valid;
    const FormulaCheckCode code = CheckFormula(state_->formula, formula_text, left_side);
    EXPECT_EQ(code, FormulaCheckCode::FormulaValid) << formula_text;
    std::memset(state_->formula.formulaText, 0, sizeof state_->formula.formulaText);
    std::memcpy(
        state_->formula.formulaText, formula_text.data(),
        formula_text.size() < kFormulaTextSize - 2 ? formula_text.size() : kFormulaTextSize - 2);
    state_->workflow.store(WorkflowStateValue::kDataLoaded);
  }

  AppState& state() { return *state_; }
  const TempDir& dir() const { return dir_; }

  void AddPoint(double x, double y) {
    PointTable& points = state_->points;
    points.records[points.count].x = x;
    points.records[points.count].y = y;
    ++points.count;
  }

  // The four texts of constant k (as typed).
  void SetTexts(int k, std::string initial, std::string lower, std::string upper,
                std::string accuracy) {
    ConstantTexts& texts = state_->conditions.constants[static_cast<std::size_t>(k)];
    texts.InitialValue = std::move(initial);
    texts.VarRegionL = std::move(lower);
    texts.VarRegionU = std::move(upper);
    texts.Accuracy = std::move(accuracy);
  }

  // Sets the engine arrays of constant index v directly, as the preparation would.
  void SetVariable(int v, double current, double working_accuracy, double lower = -1e300,
                   double upper = 1e300, double accuracy = 0.0) {
    EngineState& engine = state_->engine;
    engine.CurrentValue[v] = current;
    engine.InitialValue[v] = current;
    engine.Accuracy_[v] = working_accuracy;
    engine.Accuracy[v] = accuracy > 0.0 ? accuracy : working_accuracy;
    engine.VarRegionL[v] = lower;
    engine.VarRegionU[v] = upper;
    state_->formula.paramValue[v] = current;
  }

  std::string ReadFile(const std::string& name) const {
    return ReadWholeFile(dir_.File(name)).value_or("<missing>");
  }

 private:
  TempDir dir_;
  std::unique_ptr<AppState> state_;
};

// Runs a phase against a FitSetup with a recording view and a log in its folder.
struct PhaseHarness {
  explicit PhaseHarness(FitSetup& setup) : setup_(setup) {
    EXPECT_TRUE(log.Open(setup.dir().File("Calculation.ini")));
  }
  FitContext Context() { return FitContext{setup_.state(), view, log, &messages, &sums, nullptr}; }
  // Closes the log and returns its lines converted to UTF-8 (each line without CR LF).
  std::vector<std::string> LogLines() {
    log.Close();
    const std::string bytes = setup_.ReadFile("Calculation.ini");
    const std::string text = Cp932ToUtf8(bytes).value_or("<bad bytes>");
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
      const std::size_t end = text.find("\r\n", start);
      if (end == std::string::npos) {
        lines.push_back(text.substr(start) + "<no CR LF>");
        break;
      }
      lines.push_back(text.substr(start, end - start));
      start = end + 2;
    }
    return lines;
  }

  FitSetup& setup_;
  RecordingProgressView view;
  ProgressViewMessages messages{view};
  CalculationLog log;
  SumWorkers sums;
};

}  // namespace calvane::test
