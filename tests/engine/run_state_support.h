#pragma once

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "app/app_state.h"
#include "formula/formula_check.h"

namespace calvane::test {

// An application state ready to run, without a test framework (the window tests use it): the
// formula compiled and accepted, the constant texts, and `count` points on y = a*x + b for x
// spread over [0, 10]. With many points a run lasts long enough to pause and abort it.
inline std::unique_ptr<AppState> RunnableState(const std::string& working_directory,
                                               std::string_view formula, std::uint32_t count,
                                               double a = 2.0, double b = 1.0) {
  std::unique_ptr<AppState> state = MakeAppState(working_directory);
  state->conditions.leftSide = LeftSide::Y;
  state->conditions.roughEstimation = 0;
  state->conditions.angleUnit = AngleUnit::Radian;
  CheckFormula(state->formula, formula, LeftSide::Y);
  std::memset(state->formula.formulaText, 0, sizeof state->formula.formulaText);
  std::memcpy(state->formula.formulaText, formula.data(), formula.size());
  state->conditions.formulaState = FormulaState::Valid;
  for (std::uint32_t i = 0; i < count; ++i) {
    const double x = count > 1 ? 10.0 * i / (count - 1) : 0.0;
    state->points.records[i].x = x;
    state->points.records[i].y = a * x + b;
  }
  state->points.count = count;
  state->ranges = DataRanges{0.0, 10.0, b, a * 10.0 + b};
  for (int k = 0; k < 2; ++k) {
    ConstantTexts& texts = state->conditions.constants[static_cast<std::size_t>(k)];
    texts.InitialValue = "0";
    texts.VarRegionL = "-10";
    texts.VarRegionU = "10";
    texts.Accuracy = "0.0000000001";
  }
  state->workflow.store(WorkflowStateValue::kDataLoaded);
  return state;
}

}  // namespace calvane::test
