#include "engine/parallel_sums.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>

namespace calvane {

SumSettings RunSumSettings(int processors) {
  SumSettings settings;
  if (processors < 2) {
    settings.two_thread_points = 0;
    settings.two_thread_residual_points = 0;
    settings.anticipate_points = 0;
  } else {
    settings.choose_by_time = true;
  }
  return settings;
}

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
  const bool ends_pair = StartSumOfPair(task);
  BlockSumCursor cursor;
  std::uint32_t first = 0;
  std::uint32_t last = BlockCount(total);
  StartFromMemo(own, cursor, first, last);
  if (ends_pair) AddStopBlockFromHelper(own, cursor, first, last);
  if (first < last) {
    const bool* const skip = kept_use_ == KeptUse::kRead ? kept_->plan.skip : nullptr;
    const std::uint32_t threshold =
        settings_.two_thread_points == 0 || ComputesALibraryCall(program_, skip)
            ? settings_.two_thread_points
            : settings_.two_thread_arithmetic_points;
    if (anticipation_.posted || threshold == 0 || total < threshold || last - first == 1) {
      BlockSum(formula, own, first, last, cursor, status, messages);
    } else if (!settings_.choose_by_time) {
      TwoThreadSum(formula, own, first, last, cursor, status, messages);
    } else {
      ChosenSum(formula, own, first, last, cursor, status, messages);
    }
  }
  FinishBlockSum(formula, own, cursor, status, messages);
  EndSumOfPair(task, BlockCount(total), cursor, ends_pair);
  SumOfSquaresResult result;
  result.sum = cursor.sum;
  result.overflow = cursor.overflow;
  return result;
}

void SumWorkers::ChosenSum(CompiledFormula& formula, const SumOfSquaresTask& task,
                           std::uint32_t first, std::uint32_t last, BlockSumCursor& cursor,
                           std::int8_t& status, FormulaMessages* messages) {
  const ThreadChoice::Decision decision = thread_choice_.Next();
  const auto start =
      decision.timed ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point{};
  if (decision.two) {
    TwoThreadSum(formula, task, first, last, cursor, status, messages);
  } else {
    BlockSum(formula, task, first, last, cursor, status, messages);
    ++sums_kept_on_one_thread_;
  }
  if (!decision.timed) return;
  thread_choice_.Record(decision, NanosecondsSince(start), BlocksAdded(task, cursor, first, last));
}

std::uint32_t SumWorkers::BlocksAdded(const SumOfSquaresTask& task, const BlockSumCursor& cursor,
                                      std::uint32_t first, std::uint32_t last) {
  const std::uint32_t interval = task.interval == 0 ? 1u : task.interval;
  const std::uint32_t stop_block = cursor.last_point / interval / kBlockPoints;
  return !cursor.stopped ? last - first : stop_block >= first ? stop_block + 1 - first : 0;
}

std::uint64_t SumWorkers::NanosecondsSince(std::chrono::steady_clock::time_point start) {
  const auto elapsed = std::chrono::steady_clock::now() - start;
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count());
}

void SumWorkers::ForgetPoints() {
  columns_points_ = nullptr;
  columns_total_ = 0;
  ForgetKeptRows();
  ForgetSums();
}

void SumWorkers::Reset(SumSettings settings) {
  settings_ = settings;
  sums_kept_on_one_thread_ = 0;
  ForgetPoints();
  next_memo_ = 0;
  blocks_evaluated_ = 0;
  kept_blocks_read_ = 0;
  two_thread_sums_ = 0;
  blocks_taken_from_helper_ = 0;
}

void SumWorkers::ForgetSums() {
  SettleAnticipation(false);
  anticipation_.pending = false;
  if (memos_ != nullptr) {
    for (int m = 0; m < kSumMemos; ++m) memos_[m].used = false;
  }
  memo_ = nullptr;
}

bool SumWorkers::MakeMemos() {
  if (memos_ != nullptr) return true;
  try {
    memos_.reset(new SumMemo[kSumMemos]);
  } catch (const std::exception&) {
    return false;  // every sum evaluates all its blocks
  }
  return true;
}

SumWorkers::SumMemo* SumWorkers::FindMemo(const BlockProgram& program, std::uint64_t key,
                                          bool observed_is_x) const {
  for (int m = 0; m < kSumMemos; ++m) {
    SumMemo& memo = memos_[m];
    if (memo.used && memo.key == key && memo.observed_is_x == observed_is_x &&
        SameProgramExcept(program, memo.program, -1)) {
      return &memo;
    }
  }
  return nullptr;
}

void SumWorkers::StartFromMemo(const SumOfSquaresTask& task, BlockSumCursor& cursor,
                               std::uint32_t& first, std::uint32_t& last) {
  memo_ = nullptr;
  // The memo's blocks were not tested for overflow. A sum of one block gains too seldom (only
  // when it is known whole and not stopped early) to pay for the lookup and the copy.
  if (task.check_overflow || last < 2 || !MakeMemos()) return;
  const std::uint64_t key = BlockProgramKey(program_);
  memo_ = FindMemo(program_, key, task.observed_is_x);
  if (memo_ == nullptr) {
    // Not the memo that the helper fills.
    if (anticipation_.posted && next_memo_ == anticipation_.job.memo) {
      next_memo_ = (next_memo_ + 1) % kSumMemos;
    }
    SumMemo& memo = memos_[next_memo_];
    next_memo_ = (next_memo_ + 1) % kSumMemos;
    memo.used = true;
    memo.observed_is_x = task.observed_is_x;
    memo.key = key;
    CopyBlockProgram(program_, memo.program);
    memo.blocks_done = 0;
    memo_ = &memo;
    return;
  }
  const std::uint32_t done = memo_->blocks_done;
  std::uint32_t start = done;
  if (task.early_stop) {
    // A term is never negative, so the sum stops inside the first block after which the running
    // sum reached stop_at, and only there.
    for (std::uint32_t b = 0; b < done; ++b) {
      if (memo_->after_block[b] >= task.stop_at) {
        start = b;
        last = b + 1;
        break;
      }
    }
  }
  if (start > 0) {
    // As if blocks 0..start-1 had just been added: clean, so the cells follow by one evaluation.
    const std::uint32_t interval = task.interval == 0 ? 1u : task.interval;
    const std::uint32_t points_before = std::min(start * kBlockPoints, sum_total_);
    cursor.sum = memo_->after_block[start - 1];
    cursor.state_behind = true;
    cursor.last_point = (points_before - 1) * interval;
  }
  first = start;
}

void SumWorkers::RecordBlock(std::uint32_t b, const BlockSumCursor& cursor) {
  // state_behind: the block's terms came from its clean values.
  if (memo_ != nullptr && memo_->blocks_done == b && !cursor.stopped && cursor.state_behind) {
    memo_->after_block[b] = cursor.sum;
    memo_->blocks_done = b + 1;
  }
}

void SumWorkers::ForgetKeptRows() {
  SettleAnticipation(true);  // it may read a set
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
    // Other points: new rows, and nothing kept or summed at the old ones.
    ForgetKeptRows();
    ForgetSums();
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
    CopyPointRows(task.points, interval, total, columns_.get(), columns_.get() + columns_capacity_);
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
  if (anticipation_.posted && anticipation_.job.kept == &set) SettleAnticipation(true);
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
  CopyBlockProgram(program_, set.program);
  set.constant = c;
  for (bool& kept : set.block_kept) kept = false;
  kept_ = &set;
  kept_use_ = KeptUse::kFill;
}

const double* SumWorkers::ObservedRow(const SumOfSquaresTask& task) const {
  return task.observed_is_x ? columns_.get() : columns_.get() + columns_capacity_;
}

bool SumWorkers::EvaluateSumBlock(std::uint32_t b, BlockWorkspace& workspace, double* values,
                                  bool& in_range, BlockTermChain* chain) {
  bool read_kept = false;
  const bool clean = EvaluateProgramBlock(
      program_, columns_.get(), columns_.get() + columns_capacity_,
      kept_use_ != KeptUse::kNone ? kept_ : nullptr, kept_use_ == KeptUse::kRead, true, sum_total_,
      b, workspace, values, in_range, chain, read_kept);
  if (read_kept) job_kept_reads_.fetch_add(1, std::memory_order_relaxed);
  return clean;
}

bool SumWorkers::EvaluateProgramBlock(const BlockProgram& program, const double* x_row,
                                      const double* y_row, KeptSet* set, bool use_kept,
                                      bool fill_kept, std::uint32_t total, std::uint32_t b,
                                      BlockWorkspace& workspace, double* values, bool& in_range,
                                      BlockTermChain* chain, bool& read_kept) {
  const std::uint32_t first = b * kBlockPoints;
  const std::uint32_t n = total - first < kBlockPoints ? total - first : kBlockPoints;
  const double* const xs = program.needs_x ? x_row + first : nullptr;
  const double* const ys = program.needs_y ? y_row + first : nullptr;
  double* rows[KeptRows::kMaxRows] = {};
  if (set != nullptr) {
    for (int k = 0; k < set->plan.rows; ++k) {
      rows[k] = set->data.get() + std::size_t{set->stride} * static_cast<std::size_t>(k) + first;
    }
  }
  read_kept = set != nullptr && use_kept && set->block_kept[b];
  if (read_kept) {
    const KeptRows kept = ReadKeptRows(set->plan, rows);
    return RunBlockProgram(program, xs, ys, n, workspace, values, &kept, chain, &in_range);
  }
  const bool clean =
      RunBlockProgram(program, xs, ys, n, workspace, values, nullptr, chain, &in_range);
  if (clean && set != nullptr && fill_kept) {
    KeepBlockRows(program, set->plan, workspace, values, n, rows);
    set->block_kept[b] = true;
  }
  return clean;
}

template <class ValuesOf>
std::uint32_t SumWorkers::AddOwnBlocks(CompiledFormula& formula, const SumOfSquaresTask& task,
                                       std::uint32_t first, std::uint32_t end,
                                       BlockSumCursor& cursor, std::int8_t& status,
                                       FormulaMessages* messages, bool ride, ValuesOf values_of) {
  const double* const observed = ObservedRow(task);
  BlockTermChain chain;
  std::uint32_t evaluated = 0;
  std::uint32_t riding = kNoBlock;  // the block whose terms the chain holds
  for (std::uint32_t b = first; b < end && !cursor.stopped; ++b) {
    double* const values = values_of(b);
    bool in_range = false;
    const bool clean =
        EvaluateSumBlock(b, workspace_, values, in_range, riding != kNoBlock ? &chain : nullptr);
    ++evaluated;
    if (riding != kNoBlock) {
      FinishBlockTermChain(task, riding, chain, cursor);
      RecordBlock(riding, cursor);
      riding = kNoBlock;
      if (cursor.stopped) break;
    }
    if (ride && StartBlockTermChain(task, b, values, observed + b * kBlockPoints, clean, cursor,
                                    chain, in_range)) {
      riding = b;
    } else {
      AddBlockTermsFrom(formula, task, b, values, observed + b * kBlockPoints, clean, cursor,
                        status, messages, in_range);
      RecordBlock(b, cursor);
    }
  }
  if (riding != kNoBlock) {
    FinishBlockTermChain(task, riding, chain, cursor);
    RecordBlock(riding, cursor);
  }
  return evaluated;
}

void SumWorkers::BlockSum(CompiledFormula& formula, const SumOfSquaresTask& task,
                          std::uint32_t first, std::uint32_t last, BlockSumCursor& cursor,
                          std::int8_t& status, FormulaMessages* messages) {
  job_kept_reads_.store(0, std::memory_order_relaxed);
  const bool* const skip = kept_use_ == KeptUse::kRead ? kept_->plan.skip : nullptr;
  // Not for a short sum, whose fixed costs outweigh what the overlap would gain, nor for a
  // program whose evaluation leaves the chain in its shadow anyway: each block's terms are then
  // added right after its evaluation.
  const bool ride = last - first >= kRidingBlocks && ChainRides(program_, skip) > 0;
  // Two rows in turn, so that a block's values stay while the next block is evaluated.
  double* const rows[2] = {workspace_.Values(), workspace_.NextValues()};
  blocks_evaluated_ += AddOwnBlocks(formula, task, first, last, cursor, status, messages, ride,
                                    [&rows](std::uint32_t b) { return rows[b & 1u]; });
  kept_blocks_read_ += job_kept_reads_.load(std::memory_order_relaxed);
}

namespace {

// The claim word of a two-thread sum: the job's number (its low 16 bits) and the helper's blocks
// not yet taken, [next, end).
constexpr std::uint64_t ClaimWord(std::uint64_t job, std::uint32_t next, std::uint32_t end) {
  return (job & 0xFFFFu) << 48 | std::uint64_t{next} << 24 | end;
}
constexpr std::uint16_t ClaimJob(std::uint64_t word) {
  return static_cast<std::uint16_t>(word >> 48);
}
constexpr std::uint32_t ClaimNext(std::uint64_t word) {
  return static_cast<std::uint32_t>(word >> 24) & 0xFFFFFFu;
}
constexpr std::uint32_t ClaimEnd(std::uint64_t word) {
  return static_cast<std::uint32_t>(word) & 0xFFFFFFu;
}

}  // namespace

bool SumWorkers::ClaimBlock(std::uint64_t job_number, bool from_end, std::uint32_t& block) {
  const std::uint16_t job = static_cast<std::uint16_t>(job_number & 0xFFFFu);
  std::uint64_t word = claims_.load(std::memory_order_relaxed);
  for (;;) {
    const std::uint32_t next = ClaimNext(word);
    const std::uint32_t end = ClaimEnd(word);
    if (ClaimJob(word) != job || next >= end) return false;
    const std::uint64_t taken =
        from_end ? ClaimWord(job, next, end - 1) : ClaimWord(job, next + 1, end);
    if (claims_.compare_exchange_weak(word, taken, std::memory_order_relaxed)) {
      block = from_end ? end - 1 : next;
      return true;
    }
  }
}

void SumWorkers::HelperJob(std::uint64_t job, std::uint64_t first_claims) {
  // The first block of its part is the helper's own: it comes with the job (`first_claims`, the
  // claim word as posted, whose first block the owner never takes), so that the helper starts on
  // it without waiting for the claim word to come over from the owner's cache. Since the owner
  // ends no job before that block is done (or, stopped early, before the helper has left), the
  // helper takes up every job in turn. After its last block is marked done it touches nothing of
  // the job but the claim word, which names the job, and helper_left_: the owner may set up the
  // next job as soon as every block is done.
  if (job == anticipated_job_.load(std::memory_order_relaxed)) {
    RunAnticipatedJob();
    helper_left_.store(job, std::memory_order_release);
    return;
  }
  std::uint32_t b = ClaimNext(first_claims) - 1;
  do {
    found_[b].clean = EvaluateSumBlock(b, *helper_workspace_, values_.get() + b * kBlockPoints,
                                       found_[b].in_range);
    block_done_[b].store(true, std::memory_order_release);
  } while (ClaimBlock(job, false, b));
  helper_left_.store(job, std::memory_order_release);
}

bool SumWorkers::StartHelper() {
  if (helper_ != nullptr) return true;
  try {
    helper_workspace_ = std::make_unique<BlockWorkspace>();
    values_.reset(new double[kMaxPoints]);
    helper_ = std::make_unique<HelperThread>(
        [this](std::uint64_t job, std::uint64_t claims) { HelperJob(job, claims); });
  } catch (const std::exception&) {
    // No second thread to be had: this run sums on one.
    settings_.two_thread_points = 0;
    return false;
  }
  return true;
}

void SumWorkers::TwoThreadSum(CompiledFormula& formula, const SumOfSquaresTask& task,
                              std::uint32_t first, std::uint32_t last, BlockSumCursor& cursor,
                              std::int8_t& status, FormulaMessages* messages) {
  if (!StartHelper()) {
    BlockSum(formula, task, first, last, cursor, status, messages);
    return;
  }
  ++two_thread_sums_;
  // The job: this thread evaluates blocks [first, split) and adds every block; the helper takes
  // blocks from split on, in order, while this thread, once its own are added, takes any left
  // from the end. Set while the helper takes no block of the last job (see HelperJob).
  const std::uint32_t blocks = last - first;
  // A short sum splits its blocks in halves (the calling thread takes the larger), since one
  // block more or less changes it by a quarter or more; a long one by own_share_.
  const bool long_sum = blocks >= kShareBlocks;
  std::uint32_t own = settings_.own_blocks;
  if (own == 0) {
    own = long_sum ? (blocks * own_share_ + kShareUnits / 2) / kShareUnits : (blocks + 1) / 2;
  }
  own = std::clamp(own, 1u, blocks - 1);
  const std::uint32_t split = first + own;
  const std::uint64_t job = posted_jobs_ + 1;  // the number Post gives it
  job_kept_reads_.store(0, std::memory_order_relaxed);
  for (std::uint32_t b = split; b < last; ++b) {
    block_done_[b].store(false, std::memory_order_relaxed);
  }
  const std::uint64_t claims = ClaimWord(job, split + 1, last);
  claims_.store(claims, std::memory_order_relaxed);
  posted_jobs_ = helper_->Post(claims);

  const double* const observed = ObservedRow(task);
  auto add = [&](std::uint32_t b, bool clean, bool in_range) {
    AddBlockTermsFrom(formula, task, b, values_.get() + b * kBlockPoints,
                      observed + b * kBlockPoints, clean, cursor, status, messages, in_range);
    RecordBlock(b, cursor);
  };

  std::uint32_t evaluated =
      AddOwnBlocks(formula, task, first, split, cursor, status, messages, true,
                   [this](std::uint32_t b) { return values_.get() + b * kBlockPoints; });
  // Whether the helper had evaluated its whole part before this thread had added its own: then
  // this thread takes more blocks of the next sums, while it takes fewer of them after it has
  // had to take blocks over from the helper.
  const bool helper_was_done =
      long_sum && !cursor.stopped && block_done_[last - 1].load(std::memory_order_relaxed);
  // The helper's blocks in order as they become ready; while the next is not, this thread takes
  // one that the helper has not reached, from the end.
  std::uint32_t stolen = 0;
  std::uint32_t b = split;
  while (b < last && !cursor.stopped) {
    std::uint32_t e = 0;
    if (block_done_[b].load(std::memory_order_acquire)) {
      add(b, found_[b].clean, found_[b].in_range);
      ++b;
    } else if (ClaimBlock(job, true, e)) {
      found_[e].clean =
          EvaluateSumBlock(e, workspace_, values_.get() + e * kBlockPoints, found_[e].in_range);
      block_done_[e].store(true, std::memory_order_relaxed);
      ++stolen;
    } else {
      SpinPause();
    }
  }
  if (b == last) {
    evaluated += last - split;
  } else {
    // Stopped early: the helper takes no further block, and ends the one it evaluates. Every
    // block of its part that is done was evaluated by one of the two threads.
    claims_.store(ClaimWord(job, last, last), std::memory_order_relaxed);
    while (helper_left_.load(std::memory_order_acquire) != job) SpinPause();
    for (std::uint32_t h = split; h < last; ++h) {
      evaluated += block_done_[h].load(std::memory_order_relaxed) ? 1u : 0u;
    }
  }
  blocks_evaluated_ += evaluated;
  kept_blocks_read_ += job_kept_reads_.load(std::memory_order_relaxed);
  blocks_taken_from_helper_ += stolen;
  if (long_sum && stolen > 0) {
    own_share_ = std::min(own_share_ + 1, kMaxOwnShare);
  } else if (helper_was_done) {
    own_share_ = std::max(own_share_ - 1, kMinOwnShare);
  }
}

}  // namespace calvane
