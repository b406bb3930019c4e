#pragma once

#include <cstdint>

#include "base/prompter.h"
#include "base/workflow_state.h"

namespace calvane {

// The discard check, run before anything drops results: in workflow states 2 and 3 (results not
// saved) asks the discard question (caption "確認", Yes/No, No the default) of `owner`, and lets
// the caller go on unless the answer is No. In every other state it goes on without asking.
// Returns true when the caller may go on. Main thread.
bool DiscardCheck(WorkflowStateValue workflow, Prompter& prompter,
                  WindowId owner = WindowId::kMain);

}  // namespace calvane
