// The sums that a search announces one sum ahead: the helper computes such a sum whole, beside
// the calling thread's sum before it, into a memo that answers it when it is asked for.

#include <algorithm>
#include <chrono>
#include <limits>

#include "engine/parallel_sums.h"

namespace calvane {

void SumWorkers::Anticipate(const CompiledFormula& formula, const SumOfSquaresTask& task) {
  SettleAnticipation(true);  // an earlier one, never asked for, stays as a memo
  Anticipation& pair = anticipation_;
  pair.pending = false;
  const std::uint32_t total = SumPointCount(task);
  const std::uint32_t interval = task.interval == 0 ? 1u : task.interval;
  // Only at the point rows of the sums so far: the helper reads them as they are.
  if (!settings_.blocks || settings_.two_thread_points == 0 || settings_.anticipate_points == 0 ||
      total < settings_.anticipate_points || total > kMaxPoints || task.check_overflow ||
      task.points == nullptr || task.points != columns_points_ || total != columns_total_ ||
      interval != columns_interval_ || !MakeMemos()) {
    return;
  }
  AnticipatedJob& job = pair.job;
  PrepareBlockProgram(formula, job.program);
  if (!job.program.usable) return;
  const std::uint64_t key = BlockProgramKey(job.program);
  if (FindMemo(job.program, key, task.observed_is_x) != nullptr) return;  // known already
  // The probes of a constant whose kept rows skip a library call cost little once the first of
  // them has kept the rows: they stay with this thread.
  const int c = task.varied_constant;
  KeptSet* const set = c >= 0 && c < kMaxConstants ? &kept_sets_[c] : nullptr;
  const bool planned =
      set != nullptr && set->constant == c && SameProgramExcept(job.program, set->program, c);
  if (planned ? set->plan.skips_a_call
              : set != nullptr && MakeKeptRowPlan(job.program, c, plan_scratch_) &&
                    plan_scratch_.skips_a_call) {
    return;
  }

  pair.pending = true;
  pair.posted = false;
  pair.observed_is_x = task.observed_is_x;
  pair.sums_since = 0;
  pair.blocks_added = 0;
  pair.decision = settings_.choose_by_time ? anticipate_choice_.Next() : ThreadChoice::Decision{};
  if (pair.decision.timed) pair.start = std::chrono::steady_clock::now();
  // Summed as usual: the pair is still timed, for the choice.
  if (!pair.decision.two || !StartHelper()) return;

  const int m = next_memo_;
  next_memo_ = (next_memo_ + 1) % kSumMemos;
  SumMemo& memo = memos_[m];
  memo.used = false;  // until the sum is asked for
  memo.observed_is_x = task.observed_is_x;
  memo.key = key;
  CopyBlockProgram(job.program, memo.program);
  memo.blocks_done = 0;
  job.memo = m;
  job.task = task;
  job.task.early_stop = false;
  job.task.varied_constant = -1;
  job.task.workspace = nullptr;
  job.stop_bound = task.early_stop ? task.stop_at : std::numeric_limits<double>::infinity();
  job.total = total;
  job.x_row = columns_.get();
  job.y_row = columns_.get() + columns_capacity_;
  job.observed = ObservedRow(task);
  job.workspace = helper_workspace_.get();
  // The rows kept for the varied constant, when they hold every block: the sums in between read
  // them too and fill none.
  const bool* const kept = planned ? set->block_kept : nullptr;
  job.kept = planned && std::all_of(kept, kept + BlockCount(total), [](bool k) { return k; })
                 ? set
                 : nullptr;
  job.blocks_evaluated = 0;
  job.kept_blocks_read = 0;
  anticipation_dropped_.store(false, std::memory_order_relaxed);
  anticipated_job_.store(posted_jobs_ + 1, std::memory_order_relaxed);
  posted_jobs_ = helper_->Post();
  pair.job_number = posted_jobs_;
  pair.posted = true;
}

// On the helper thread. The blocks are added as this thread adds them on its own (a chain of
// terms from clean values in range), so the running sums are the same doubles.
void SumWorkers::RunAnticipatedJob() {
  AnticipatedJob& job = anticipation_.job;
  SumMemo& memo = memos_[job.memo];
  const double* const observed = job.observed;
  const std::uint32_t blocks = BlockCount(job.total);
  BlockWorkspace& workspace = *job.workspace;
  BlockSumCursor cursor;
  std::uint32_t done = 0;
  std::uint32_t kept_reads = 0;
  std::uint32_t evaluated = 0;
  std::uint32_t values_block = kNoBlock;  // the block whose values the values row holds
  double after[kMaxBlocks];
  while (done < blocks && !anticipation_dropped_.load(std::memory_order_relaxed)) {
    double* const values = workspace.Values();
    bool in_range = false;
    bool read_kept = false;
    const bool clean =
        EvaluateProgramBlock(job.program, job.x_row, job.y_row, job.kept, true, false, job.total,
                             done, workspace, values, in_range, nullptr, read_kept);
    ++evaluated;
    kept_reads += read_kept ? 1u : 0u;
    // A block with a status, or a value out of range, is left to the sum itself.
    BlockTermChain chain;
    if (!StartBlockTermChain(job.task, done, values, observed + done * kBlockPoints, clean, cursor,
                             chain, in_range)) {
      values_block = kNoBlock;
      break;
    }
    values_block = done;
    FinishBlockTermChain(job.task, done, chain, cursor);
    after[done++] = cursor.sum;
    if (!(cursor.sum < job.stop_bound)) break;  // the sum stops in this block or before
  }
  std::copy(after, after + done, memo.after_block);
  memo.blocks_done = done;
  job.blocks_evaluated = evaluated;
  job.values_block = values_block;
  job.kept_blocks_read = kept_reads;
}

void SumWorkers::SettleAnticipation(bool keep) {
  Anticipation& pair = anticipation_;
  if (!pair.posted) return;
  if (!keep) anticipation_dropped_.store(true, std::memory_order_relaxed);
  while (helper_left_.load(std::memory_order_acquire) != pair.job_number) SpinPause();
  pair.posted = false;
  ++anticipated_sums_;
  blocks_evaluated_ += pair.job.blocks_evaluated;
  kept_blocks_read_ += pair.job.kept_blocks_read;
  if (keep) memos_[pair.job.memo].used = true;
}

bool SumWorkers::StartSumOfPair(const SumOfSquaresTask& task) {
  Anticipation& pair = anticipation_;
  if (!pair.pending) return false;
  if (IsAnticipated(task)) {
    SettleAnticipation(true);
    return true;
  }
  if (pair.sums_since++ > 0) {
    SettleAnticipation(true);
    pair.pending = false;
  }
  return false;
}

void SumWorkers::AddStopBlockFromHelper(const SumOfSquaresTask& task, BlockSumCursor& cursor,
                                        std::uint32_t& first, std::uint32_t last) {
  const AnticipatedJob& job = anticipation_.job;
  if (last != first + 1 || first != job.values_block || memo_ != &memos_[job.memo]) return;
  // Clean and in range, or the memo would not reach this block.
  BlockTermChain chain;
  if (StartBlockTermChain(task, first, job.workspace->Values(),
                          ObservedRow(task) + first * kBlockPoints, true, cursor, chain, true)) {
    FinishBlockTermChain(task, first, chain, cursor);
    RecordBlock(first, cursor);
    first = last;
  }
}

void SumWorkers::EndSumOfPair(const SumOfSquaresTask& task, std::uint32_t blocks,
                              const BlockSumCursor& cursor, bool ends_pair) {
  Anticipation& pair = anticipation_;
  if (pair.pending && pair.decision.timed) {
    // The blocks of both sums of the pair, up to their early stops.
    pair.blocks_added += BlocksAdded(task, cursor, 0, blocks);
    if (ends_pair) {
      anticipate_choice_.Record(pair.decision, NanosecondsSince(pair.start), pair.blocks_added);
    }
  }
  if (ends_pair) pair.pending = false;
}

bool SumWorkers::IsAnticipated(const SumOfSquaresTask& task) const {
  return task.observed_is_x == anticipation_.observed_is_x &&
         SameProgramExcept(program_, anticipation_.job.program, -1);
}

}  // namespace calvane
