#pragma once

#include <memory>
#include <string>

#include "base/file_chooser.h"
#include "base/point_table.h"
#include "base/workflow_state.h"
#include "conditions/condition_record.h"
#include "engine/engine_state.h"
#include "formula/compiled_formula.h"

namespace calvane {

class RunResources;

// The process-wide records, owned in one place and passed by reference. Tests make as many as
// they like. Large (the point table alone is 1.5 MB): allocate it with MakeAppState.
struct AppState {
  PointTable points;
  DataRanges ranges;
  ConditionRecord conditions;
  CompiledFormula formula;
  EngineState engine;
  WorkflowState workflow{WorkflowStateValue::kNoData};
  std::string working_directory;  // internal files, Sample/ and Help/ live here
  FirstDialogFlag first_dialog;   // shared by the open-data and condition-file dialogs
  // What one run leaves to the next (engine/run_resources.h): made by the first run.
  std::shared_ptr<RunResources> run_resources;
};

inline std::unique_ptr<AppState> MakeAppState(std::string working_directory) {
  auto state = std::make_unique<AppState>();
  state->working_directory = std::move(working_directory);
  return state;
}

}  // namespace calvane
