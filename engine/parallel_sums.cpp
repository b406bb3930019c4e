#include "engine/parallel_sums.h"

#include <cmath>
#include <exception>

namespace calvane {

SumWorkers::SumWorkers(SumSettings settings) : settings_(settings) {
  for (auto& done : block_done_) done.store(false, std::memory_order_relaxed);
}

SumWorkers::~SumWorkers() {
  if (!helper_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  wake_.notify_one();
  helper_.join();
}

SumOfSquaresResult SumWorkers::Sum(CompiledFormula& formula, const SumOfSquaresTask& task,
                                   std::int8_t& status, FormulaMessages* messages) {
  SumOfSquaresTask own = task;
  if (!settings_.blocks) {
    // One evaluation per point, the reference path.
    SumOfSquaresResult result;
    if (task.count == 0 || task.points == nullptr) return result;
    const std::uint32_t interval = task.interval == 0 ? 1u : task.interval;
    double sum = 0.0;
    for (std::uint32_t i = 0; i < task.count; i += interval) {
      const Point& point = task.points[i];
      const double model = EvaluateFormula(formula, point, status, messages);
      const double residual = (task.observed_is_x ? point.x : point.y) - model;
      if (task.check_overflow && std::fabs(residual) >= task.overflow_limit) {
        result.overflow = true;
        break;
      }
      sum += residual * residual;
      if (task.early_stop && sum >= task.stop_at) break;
    }
    result.sum = sum;
    return result;
  }
  const std::uint32_t total = SumPointCount(task);
  if (settings_.two_thread_points == 0 || total < settings_.two_thread_points ||
      total > kMaxPoints) {
    own.workspace = &workspace_;
    return SumOfSquares(formula, own, status, messages);
  }
  return TwoThreadSum(formula, own, status, messages);
}

bool SumWorkers::EvaluateNextBlock(BlockWorkspace& workspace) {
  const std::uint32_t b = next_block_.fetch_add(1, std::memory_order_relaxed);
  if (b >= job_blocks_) return false;
  const std::uint32_t first = b * kBlockPoints;
  const std::uint32_t n = job_total_ - first < kBlockPoints ? job_total_ - first : kBlockPoints;
  block_clean_[b] = EvaluateBlock(*job_formula_, job_points_ + std::size_t{first} * job_interval_,
                                  job_interval_, n, workspace, values_.get() + first);
  block_done_[b].store(true, std::memory_order_release);
  return true;
}

void SumWorkers::HelperLoop() {
  std::uint64_t seen = 0;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return quit_ || job_number_ != seen; });
      if (quit_) return;
      seen = job_number_;
    }
    while (EvaluateNextBlock(*helper_workspace_)) {
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      helper_busy_ = false;
    }
    finished_.notify_one();
  }
}

SumOfSquaresResult SumWorkers::TwoThreadSum(CompiledFormula& formula, const SumOfSquaresTask& task,
                                            std::int8_t& status, FormulaMessages* messages) {
  if (!helper_.joinable()) {
    try {
      helper_workspace_ = std::make_unique<BlockWorkspace>();
      values_.reset(new double[kMaxPoints]);
      helper_ = std::thread([this] { HelperLoop(); });
    } catch (const std::exception&) {
      // No second thread to be had: this run sums on one.
      settings_.two_thread_points = 0;
      SumOfSquaresTask own = task;
      own.workspace = &workspace_;
      return SumOfSquares(formula, own, status, messages);
    }
  }
  const std::uint32_t total = SumPointCount(task);
  const std::uint32_t blocks = BlockCount(total);
  // The job, set while the helper waits.
  job_formula_ = &formula;
  job_points_ = task.points;
  job_interval_ = task.interval == 0 ? 1u : task.interval;
  job_total_ = total;
  job_blocks_ = blocks;
  for (std::uint32_t b = 0; b < blocks; ++b) block_done_[b].store(false, std::memory_order_relaxed);
  next_block_.store(0, std::memory_order_relaxed);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++job_number_;
    helper_busy_ = true;
  }
  wake_.notify_one();

  // Add the blocks in order as they become ready; meanwhile evaluate blocks here too.
  BlockSumCursor cursor;
  for (std::uint32_t b = 0; b < blocks && !cursor.stopped;) {
    if (block_done_[b].load(std::memory_order_acquire)) {
      AddBlockTerms(formula, task, b, values_.get() + b * kBlockPoints, block_clean_[b], cursor,
                    status, messages);
      ++b;
    } else if (!EvaluateNextBlock(workspace_)) {
      std::this_thread::yield();  // the helper is finishing block b
    }
  }
  // No further block is taken; the helper ends its current one before the formula may change.
  next_block_.store(blocks, std::memory_order_relaxed);
  {
    std::unique_lock<std::mutex> lock(mutex_);
    finished_.wait(lock, [&] { return !helper_busy_; });
  }
  FinishBlockSum(formula, task, cursor, status, messages);
  SumOfSquaresResult result;
  result.sum = cursor.sum;
  result.overflow = cursor.overflow;
  return result;
}

}  // namespace calvane
