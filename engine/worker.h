#pragma once

#include "app/app_state.h"
#include "engine/calculation_log.h"
#include "engine/parallel_sums.h"
#include "engine/progress_view.h"

namespace calvane {

// Exit codes of the worker.
enum WorkerExitCode : int {
  kWorkerCompleted = 0,       // the last least-squares step ran at the user's accuracies
  kWorkerConditionError = 1,  // a constant text is missing, or FittingCondition.ini failed
  kWorkerStopped = 2,         // aborted by the user, or the sum of squares overflowed
};

// Runs the whole worker of one fit on the calling thread and returns its exit code:
//  - writes FittingCondition.ini (conditions from state.conditions) into state.working_directory;
//    a failed write shows "ファイルの書き込みに失敗しました。" and the condition error (code 1);
//  - converts the constant texts of the used constants into the engine arrays (a missing text:
//    "k3の下限が入力されていません。" and the like, the condition error, code 1);
//  - derives Accuracy_ and StepTotal, applies the angle unit to state.formula, writes the
//    preparation block to `log`, runs the rough estimate when state.conditions.roughEstimation
//    is 1, then the least-squares steps with the working accuracies refined a hundredfold per
//    step, and the completion display (code 0).
// Abort (state.workflow -10) and overflow end it with code 2, the reached point committed to
// state.engine.CurrentValue. `log` must be open (a closed log drops the lines).
// Thread: the worker thread (or a test's thread). It reads state.workflow, which another thread
// may write (pause -1, resume 1, abort -10), and writes state.engine, state.formula and the
// view. Nothing else may evaluate state.formula meanwhile.
// `settings` chooses how the sums are computed (blocks, two threads above a number of points);
// every choice gives the same results, bytes and messages.
int RunWorker(AppState& state, ProgressView& view, CalculationLog& log, SumSettings settings = {});

}  // namespace calvane
