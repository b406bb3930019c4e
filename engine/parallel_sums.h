#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "base/point_table.h"
#include "formula/block_evaluator.h"
#include "formula/compiled_formula.h"
#include "formula/evaluator.h"

namespace calvane {

// From this many points per sum on, the terms are computed on two threads.
constexpr std::uint32_t kTwoThreadPoints = 8192;

// How the sums of a run are computed. Every choice gives the same doubles, statuses, messages
// and cells; they differ only in speed.
struct SumSettings {
  bool blocks = true;                                  // false: one EvaluateFormula call per point
  std::uint32_t two_thread_points = kTwoThreadPoints;  // 0: never two threads
};

// The resources of the sums of one run: the block workspaces, the buffer of model values and,
// from the first sum that reaches the threshold, one helper thread that lives until the run
// ends. A sum on two threads is computed block by block: both threads take the next block not
// yet evaluated, while the calling thread adds the terms strictly in increasing point order as
// the blocks become ready, so the sum is the same double as on one thread; a block with any
// evaluation status is evaluated again point by point on the calling thread.
// Thread: made, used and destroyed on one thread (the worker).
class SumWorkers {
 public:
  explicit SumWorkers(SumSettings settings = {});
  ~SumWorkers();
  SumWorkers(const SumWorkers&) = delete;
  SumWorkers& operator=(const SumWorkers&) = delete;

  // The sum of `task` (its workspace is ignored), as SumOfSquares gives it point by point.
  SumOfSquaresResult Sum(CompiledFormula& formula, const SumOfSquaresTask& task,
                         std::int8_t& status, FormulaMessages* messages);

  // Whether the sums evaluate in blocks; other evaluations of the run follow the same choice.
  bool blocks() const { return settings_.blocks; }

  // The calling thread's workspace, for other block evaluations of the run.
  BlockWorkspace& workspace() { return workspace_; }

  // Whether the helper thread has been started (for tests).
  bool HelperStarted() const { return helper_.joinable(); }

 private:
  static constexpr std::uint32_t kMaxBlocks = kMaxPoints / kBlockPoints;

  SumOfSquaresResult TwoThreadSum(CompiledFormula& formula, const SumOfSquaresTask& task,
                                  std::int8_t& status, FormulaMessages* messages);
  // Evaluates blocks of the current job until none is left; false when there was none.
  bool EvaluateNextBlock(BlockWorkspace& workspace);
  void HelperLoop();

  SumSettings settings_;
  BlockWorkspace workspace_;
  std::unique_ptr<BlockWorkspace> helper_workspace_;
  std::unique_ptr<double[]> values_;  // the model values of every sum point of a job

  // The current job: read by both threads while it runs, written only while the helper waits.
  const CompiledFormula* job_formula_ = nullptr;
  const Point* job_points_ = nullptr;
  std::uint32_t job_interval_ = 1;
  std::uint32_t job_total_ = 0;
  std::uint32_t job_blocks_ = 0;
  std::atomic<std::uint32_t> next_block_{0};
  std::atomic<bool> block_done_[kMaxBlocks];
  bool block_clean_[kMaxBlocks] = {};

  std::thread helper_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable finished_;
  std::uint64_t job_number_ = 0;  // under mutex_
  bool helper_busy_ = false;      // under mutex_
  bool quit_ = false;             // under mutex_
};

}  // namespace calvane
