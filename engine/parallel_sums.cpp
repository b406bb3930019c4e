#include "engine/parallel_sums.h"

#include <cmath>
#include <exception>
#include <thread>

namespace calvane {

SumWorkers::SumWorkers(SumSettings settings) : settings_(settings) {
  for (auto& done : block_done_) done.store(false, std::memory_order_relaxed);
}

// The helper ends before the workspaces and rows its job uses.
SumWorkers::~SumWorkers() { helper_.reset(); }

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
  if (total == 0 || total > kMaxPoints || !PrepareSum(formula, task)) {
    // Point by point inside SumOfSquares (every block of such a program fails), or no rows.
    own.workspace = &workspace_;
    return SumOfSquares(formula, own, status, messages);
  }
  if (settings_.two_thread_points == 0 || total < settings_.two_thread_points) {
    return BlockSum(formula, own, status, messages);
  }
  return TwoThreadSum(formula, own, status, messages);
}

void SumWorkers::ForgetPoints() {
  columns_points_ = nullptr;
  columns_total_ = 0;
  ForgetKeptRows();
}

void SumWorkers::ForgetKeptRows() {
  for (KeptSet& set : kept_sets_) set.constant = -1;
  kept_ = nullptr;
}

bool SumWorkers::PrepareSum(const CompiledFormula& formula, const SumOfSquaresTask& task) {
  PrepareBlockProgram(formula, program_);
  if (!program_.usable) return false;
  const std::uint32_t total = SumPointCount(task);
  const std::uint32_t interval = task.interval == 0 ? 1u : task.interval;
  sum_total_ = total;
  if (task.points != columns_points_ || total != columns_total_ || interval != columns_interval_) {
    // Other points: new rows, and nothing kept from the old ones.
    ForgetKeptRows();
    columns_points_ = nullptr;
    if (total > columns_capacity_) {
      try {
        columns_.reset(new double[std::size_t{total} * 2]);
      } catch (const std::exception&) {
        columns_.reset();
        columns_capacity_ = 0;
        return false;
      }
      columns_capacity_ = total;
    }
    double* const xs = columns_.get();
    double* const ys = xs + columns_capacity_;
    const Point* const points = task.points;
    for (std::uint32_t i = 0; i < total; ++i) {
      const Point& point = points[std::size_t{i} * interval];
      xs[i] = point.x;
      ys[i] = point.y;
    }
    columns_points_ = task.points;
    columns_total_ = total;
    columns_interval_ = interval;
  }
  ChooseKeptRows(task, total);
  return true;
}

void SumWorkers::ChooseKeptRows(const SumOfSquaresTask& task, std::uint32_t total) {
  kept_use_ = KeptUse::kNone;
  kept_ = nullptr;
  const int c = task.varied_constant;
  const bool hinted = c >= 0 && c < kMaxConstants;
  // A set whose program computes the same rows: the varied constant's first, then any.
  if (hinted && kept_sets_[c].constant == c &&
      SameProgramExcept(program_, kept_sets_[c].program, c)) {
    kept_ = &kept_sets_[c];
    kept_use_ = KeptUse::kRead;
    return;
  }
  for (KeptSet& set : kept_sets_) {
    if (set.constant >= 0 && SameProgramExcept(program_, set.program, set.constant)) {
      kept_ = &set;
      kept_use_ = KeptUse::kRead;
      return;
    }
  }
  if (!hinted) return;  // what is kept stays for a later sum that fits it
  KeptSet& set = kept_sets_[c];
  set.constant = -1;
  if (!MakeKeptRowPlan(program_, c, set.plan)) return;  // nothing to keep
  const int rows = set.plan.rows;
  int rows_elsewhere = 0;
  for (const KeptSet& other : kept_sets_) {
    rows_elsewhere += other.constant >= 0 ? other.plan.rows : 0;
  }
  if (rows_elsewhere + rows > kMaxKeptRowsInAll) ForgetKeptRows();
  const std::size_t doubles = std::size_t{total} * static_cast<std::size_t>(rows);
  if (doubles > set.allocated) {
    try {
      set.data.reset(new double[doubles]);
    } catch (const std::exception&) {
      set.data.reset();
      set.allocated = 0;
      return;
    }
    set.allocated = doubles;
  }
  set.stride = total;
  set.program = program_;
  set.constant = c;
  for (bool& kept : set.block_kept) kept = false;
  kept_ = &set;
  kept_use_ = KeptUse::kFill;
}

const double* SumWorkers::ObservedRow(const SumOfSquaresTask& task) const {
  return task.observed_is_x ? columns_.get() : columns_.get() + columns_capacity_;
}

bool SumWorkers::EvaluateSumBlock(std::uint32_t b, BlockWorkspace& workspace, double* values) {
  const std::uint32_t first = b * kBlockPoints;
  const std::uint32_t n = sum_total_ - first < kBlockPoints ? sum_total_ - first : kBlockPoints;
  const double* const xs = program_.needs_x ? columns_.get() + first : nullptr;
  const double* const ys = program_.needs_y ? columns_.get() + columns_capacity_ + first : nullptr;
  KeptSet* const set = kept_;
  double* rows[KeptRows::kMaxRows] = {};
  if (kept_use_ != KeptUse::kNone) {
    for (int k = 0; k < set->plan.rows; ++k) {
      rows[k] = set->data.get() + std::size_t{set->stride} * static_cast<std::size_t>(k) + first;
    }
  }
  if (kept_use_ == KeptUse::kRead && set->block_kept[b]) {
    const KeptRows kept = ReadKeptRows(set->plan, rows);
    job_kept_reads_.fetch_add(1, std::memory_order_relaxed);
    return RunBlockProgram(program_, xs, ys, n, workspace, values, &kept);
  }
  const bool clean = RunBlockProgram(program_, xs, ys, n, workspace, values);
  if (clean && kept_use_ != KeptUse::kNone) {
    KeepBlockRows(program_, set->plan, workspace, values, n, rows);
    set->block_kept[b] = true;
  }
  return clean;
}

SumOfSquaresResult SumWorkers::BlockSum(CompiledFormula& formula, const SumOfSquaresTask& task,
                                        std::int8_t& status, FormulaMessages* messages) {
  const std::uint32_t blocks = BlockCount(sum_total_);
  job_kept_reads_.store(0, std::memory_order_relaxed);
  BlockSumCursor cursor;
  for (std::uint32_t b = 0; b < blocks && !cursor.stopped; ++b) {
    double* const values = workspace_.Values();
    const bool clean = EvaluateSumBlock(b, workspace_, values);
    AddBlockTermsFrom(formula, task, b, values, ObservedRow(task) + b * kBlockPoints, clean, cursor,
                      status, messages);
  }
  FinishBlockSum(formula, task, cursor, status, messages);
  kept_blocks_read_ += job_kept_reads_.load(std::memory_order_relaxed);
  SumOfSquaresResult result;
  result.sum = cursor.sum;
  result.overflow = cursor.overflow;
  return result;
}

bool SumWorkers::EvaluateNextBlock(BlockWorkspace& workspace) {
  const std::uint32_t b = next_block_.fetch_add(1, std::memory_order_relaxed);
  if (b >= job_blocks_) return false;
  block_clean_[b] = EvaluateSumBlock(b, workspace, values_.get() + b * kBlockPoints);
  block_done_[b].store(true, std::memory_order_release);
  return true;
}

SumOfSquaresResult SumWorkers::TwoThreadSum(CompiledFormula& formula, const SumOfSquaresTask& task,
                                            std::int8_t& status, FormulaMessages* messages) {
  if (helper_ == nullptr) {
    try {
      helper_workspace_ = std::make_unique<BlockWorkspace>();
      values_.reset(new double[kMaxPoints]);
      helper_ = std::make_unique<HelperThread>([this] {
        while (EvaluateNextBlock(*helper_workspace_)) {
        }
      });
    } catch (const std::exception&) {
      // No second thread to be had: this run sums on one.
      settings_.two_thread_points = 0;
      return BlockSum(formula, task, status, messages);
    }
  }
  const std::uint32_t blocks = BlockCount(sum_total_);
  // The job, set while the helper waits (the program and rows by PrepareSum).
  job_blocks_ = blocks;
  job_kept_reads_.store(0, std::memory_order_relaxed);
  for (std::uint32_t b = 0; b < blocks; ++b) block_done_[b].store(false, std::memory_order_relaxed);
  next_block_.store(0, std::memory_order_relaxed);
  helper_->Post();

  // Add the blocks in order as they become ready; meanwhile evaluate blocks here too.
  BlockSumCursor cursor;
  for (std::uint32_t b = 0; b < blocks && !cursor.stopped;) {
    if (block_done_[b].load(std::memory_order_acquire)) {
      AddBlockTermsFrom(formula, task, b, values_.get() + b * kBlockPoints,
                        ObservedRow(task) + b * kBlockPoints, block_clean_[b], cursor, status,
                        messages);
      ++b;
    } else if (!EvaluateNextBlock(workspace_)) {
      std::this_thread::yield();  // the helper is finishing block b
    }
  }
  // No further block is taken; the helper ends its current one before the formula may change.
  next_block_.store(blocks, std::memory_order_relaxed);
  helper_->Wait();
  FinishBlockSum(formula, task, cursor, status, messages);
  kept_blocks_read_ += job_kept_reads_.load(std::memory_order_relaxed);
  SumOfSquaresResult result;
  result.sum = cursor.sum;
  result.overflow = cursor.overflow;
  return result;
}

}  // namespace calvane
