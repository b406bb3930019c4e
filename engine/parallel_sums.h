#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

#include "base/point_table.h"
#include "engine/helper_thread.h"
#include "engine/thread_choice.h"
#include "formula/block_evaluator.h"
#include "formula/compiled_formula.h"
#include "formula/evaluator.h"

namespace calvane {

// From this many points per sum on (three blocks), the terms are computed on two threads: a sum
// takes microseconds, and the helper, which spins between the sums of a search, takes a block
// within a fraction of one.
constexpr std::uint32_t kTwoThreadPoints = 768;
// A sum whose program computes no library call per point (a rational function, say, or any
// formula whose calls are in rows kept from an earlier sum) evaluates a block in a few vector
// operations per slot, no more than adding its terms in order and handing them over: it stays on
// one thread at any number of points (0). At 65536 points two threads took 2.1 times as long for
// a line, and as long for the rational function of seven constants.
constexpr std::uint32_t kTwoThreadArithmeticPoints = 0;
// From this many points per sum on (sixteen blocks), a sum that a search announces ahead
// (Anticipate) may be computed whole on the helper beside the calling thread's sum before it: each
// thread adds the terms of its own sum, so only the running sums after each block pass between the
// cores. The hand-over and the wait for the helper cost about a microsecond: at 1000 points (a sum
// of 3 microseconds) pairs of probes took 0.8 to 1.04 of the time of two sums made as usual, from
// 4096 points 0.67 to 0.96.
constexpr std::uint32_t kAnticipatePoints = 4096;
// From this many points on, the residuals of the Levenberg-Marquardt phase are computed in two
// halves on two threads. Its evaluations alternate with MINPACK's own work on the Jacobian, which
// below this many points outweighs what the second thread gains.
constexpr std::uint32_t kTwoThreadResidualPoints = 8192;

// How the sums of a run are computed. Every choice gives the same doubles, statuses, messages
// and cells; they differ only in speed.
struct SumSettings {
  bool blocks = true;                                  // false: one EvaluateFormula call per point
  std::uint32_t two_thread_points = kTwoThreadPoints;  // 0: never two threads
  std::uint32_t two_thread_residual_points = kTwoThreadResidualPoints;  // LmResiduals; 0: never
  // For the sums without a library call, unless two_thread_points is 0; 0: never.
  std::uint32_t two_thread_arithmetic_points = kTwoThreadArithmeticPoints;
  // How many blocks of a two-thread sum the calling thread evaluates before it adds the helper's;
  // 0: half of a short sum's, and a share that follows the sums of a long one. At least one
  // block is left to the helper.
  std::uint32_t own_blocks = 0;
  // Whether the sums that may go to two threads do is chosen by their time (ThreadChoice);
  // false: they always do. The same for announced sums on the helper.
  bool choose_by_time = false;
  // From this many points on, an announced sum goes to the helper (unless two_thread_points is
  // 0); 0: never.
  std::uint32_t anticipate_points = kAnticipatePoints;
};

// The settings of a run's sums in a process whose worker thread may run on `processors`
// processors: on one, every sum stays on one thread, since two threads would take turns on it and
// each hand-over would wait for the other's time slice; on more, the sums go to two threads as
// long as that is the faster (choose_by_time).
SumSettings RunSumSettings(int processors);

// The resources of the sums of a run: the block workspaces, the buffer of model values, the x
// and y values of the sum points in contiguous rows, the rows kept for the probes of one constant
// (SumOfSquaresTask::varied_constant) and, from the first sum that goes to two threads, one
// helper thread that lives as long as the workers (a state's runs keep them, RunResources, and
// Reset them at the start of each). The rows derived from the points are made again when the
// points, their number or their interval change, not when the records' values change: the point
// records must stay as they are while a SumWorkers uses them (a run never changes them), or
// ForgetPoints be called. Only a sum whose computed slots call a library routine goes to two
// threads (from two_thread_points on); the others cost less than the hand-over. With
// choose_by_time, such a sum goes to two threads only while trials find that the faster
// (ThreadChoice): a busy neighbour on the other processor can make it several times slower. A sum
// on two threads is computed block by block: the calling thread evaluates the first blocks itself,
// adding the terms of each while it evaluates the next, and the helper evaluates the others in
// order, of which the calling thread takes over those the helper has not reached once its own are
// added. Each hand-over between the two costs a trip through the caches of both cores, so a job
// makes few: its post, the mark of each of the helper's blocks, and a claim word touched by the
// calling thread only when it takes over. The calling thread adds the terms strictly in
// increasing point order, so the sum is the same double as on one thread; a block with any
// evaluation status is evaluated again point by point on the calling thread.
// A search asks for many sums again at constants it has summed before. The last kSumMemos
// programs summed over two blocks or more keep the running sum after each of their blocks that
// was added whole from clean values (no status, nothing evaluated point by point); a sum of the
// same program at the same points starts after those blocks, or evaluates only the block in which
// it stops early, or is answered without evaluating anything. Its result, status, messages and
// cells are the same. A scan announces the second probe of each pair (Anticipate): from
// anticipate_points on, the helper fills that probe's memo while this thread sums the first.
// Thread: used by one thread at a time, the worker of the current run; a later run's worker may
// take it over once the earlier one was joined.
class SumWorkers {
 public:
  explicit SumWorkers(SumSettings settings = {});
  ~SumWorkers();
  SumWorkers(const SumWorkers&) = delete;
  SumWorkers& operator=(const SumWorkers&) = delete;

  // The sum of `task` (its workspace is ignored), as SumOfSquares gives it point by point.
  SumOfSquaresResult Sum(CompiledFormula& formula, const SumOfSquaresTask& task,
                         std::int8_t& status, FormulaMessages* messages);

  // Announces that the sum of `formula` at its present constants, with `task`, will be asked for
  // after the next sum (the probe after the next of a scan). The helper may then compute it
  // beside that next sum, block by block into a memo, which answers it when it comes; with
  // choose_by_time only while such pairs of sums take less time than pairs made as usual
  // (anticipate_choice_). An early stop in `task` is an upper bound of the stop the sum will
  // have: the helper goes no further than the block in which its running sum reaches it. Any
  // other sum may come in between, and a later announcement or sum of another program ends
  // this one. Nothing changes in the results: a memo is the running sum after blocks added whole
  // from clean values, as this thread would have added them.
  void Anticipate(const CompiledFormula& formula, const SumOfSquaresTask& task);

  // Whether the sums evaluate in blocks; other evaluations of the run follow the same choice.
  bool blocks() const { return settings_.blocks; }

  // The calling thread's workspace, for other block evaluations of the run.
  BlockWorkspace& workspace() { return workspace_; }

  // Whether the helper thread has been started (for tests).
  bool HelperStarted() const { return helper_ != nullptr; }

  // Drops every row derived from the point records, after they were changed in place.
  void ForgetPoints();

  // Makes these workers those of a new run with `settings`: nothing derived from the points or
  // programs of earlier sums is kept, only the memory and the helper thread.
  void Reset(SumSettings settings);

  // How many blocks the sums so far took from kept rows instead of computing every slot.
  std::uint64_t KeptBlocksRead() const { return kept_blocks_read_; }

  // How many blocks the sums so far have evaluated (the others were known from earlier sums).
  std::uint64_t BlocksEvaluated() const { return blocks_evaluated_; }

  // How many sums so far were computed on two threads.
  std::uint64_t TwoThreadSums() const { return two_thread_sums_; }

  // How many sums so far could have gone to two threads and were computed on one, by the choice
  // of their time.
  std::uint64_t SumsKeptOnOneThread() const { return sums_kept_on_one_thread_; }

  // How many blocks of the helper's part the calling thread took over because the helper had not
  // reached them.
  std::uint64_t BlocksTakenFromHelper() const { return blocks_taken_from_helper_; }

  // How many announced sums the helper has computed (for tests).
  std::uint64_t AnticipatedSums() const { return anticipated_sums_; }

 private:
  static constexpr std::uint32_t kMaxBlocks = kMaxPoints / kBlockPoints;
  static constexpr std::uint32_t kNoBlock = kMaxBlocks;
  // From this many blocks on, a sum on one thread of a program the chain rides (ChainRides) adds
  // each block's terms along the evaluation of the next (AddOwnBlocks). A line's sum at 1000
  // points (4 blocks) gained nothing so, where the fixed costs of each sum weigh most; at 65536
  // points it takes a fifth less.
  static constexpr std::uint32_t kRidingBlocks = 8;
  enum class KeptUse { kNone, kFill, kRead };

  // Blocks [first, last) of a sum on this thread, added to `cursor`.
  void BlockSum(CompiledFormula& formula, const SumOfSquaresTask& task, std::uint32_t first,
                std::uint32_t last, BlockSumCursor& cursor, std::int8_t& status,
                FormulaMessages* messages);
  // Blocks [first, end) of a sum evaluated on this thread, block b's values into values_of(b),
  // added to `cursor` in order; returns how many were evaluated. With `ride`, the terms of each
  // block whose values need no test but the early stop's are added while the next one is
  // evaluated: the additions wait each for the last, and the evaluation's work leaves the
  // processor room for them. Without it, each block's terms right after its evaluation.
  template <class ValuesOf>
  std::uint32_t AddOwnBlocks(CompiledFormula& formula, const SumOfSquaresTask& task,
                             std::uint32_t first, std::uint32_t end, BlockSumCursor& cursor,
                             std::int8_t& status, FormulaMessages* messages, bool ride,
                             ValuesOf values_of);
  // Resolves the program, brings the point rows up to date and decides how the kept rows serve
  // this sum. False when the program cannot be evaluated in blocks or the rows cannot be had.
  bool PrepareSum(const CompiledFormula& formula, const SumOfSquaresTask& task);
  // Decides kept_use_ for the prepared program and the task's varied constant.
  void ChooseKeptRows(const SumOfSquaresTask& task, std::uint32_t total);
  // The observed values of the prepared sum's points, in point order.
  const double* ObservedRow(const SumOfSquaresTask& task) const;
  // Evaluates block b of the prepared sum into `values`; true when clean (EvaluateBlock). The
  // terms of `chain`, if given, are added along.
  // `in_range`: as RunBlockProgram sets it.
  bool EvaluateSumBlock(std::uint32_t b, BlockWorkspace& workspace, double* values, bool& in_range,
                        BlockTermChain* chain = nullptr);
  struct KeptSet;
  // Block b of `program` over the first `total` points of the rows x_row and y_row. With a `set`,
  // the block reads the set's rows when `use_kept` and they hold the block (`read_kept` then
  // tells so), else it is computed, and its rows kept with `fill_kept`.
  static bool EvaluateProgramBlock(const BlockProgram& program, const double* x_row,
                                   const double* y_row, KeptSet* set, bool use_kept, bool fill_kept,
                                   std::uint32_t total, std::uint32_t b, BlockWorkspace& workspace,
                                   double* values, bool& in_range, BlockTermChain* chain,
                                   bool& read_kept);

  // How many of blocks [first, last) a sum added: up to the one in which an early stop came.
  static std::uint32_t BlocksAdded(const SumOfSquaresTask& task, const BlockSumCursor& cursor,
                                   std::uint32_t first, std::uint32_t last);
  static std::uint64_t NanosecondsSince(std::chrono::steady_clock::time_point start);
  // Blocks [first, last) of a sum that may go to two threads, on the side thread_choice_ gives
  // it, timed when it is part of a trial.
  void ChosenSum(CompiledFormula& formula, const SumOfSquaresTask& task, std::uint32_t first,
                 std::uint32_t last, BlockSumCursor& cursor, std::int8_t& status,
                 FormulaMessages* messages);
  // Blocks [first, last) of a sum evaluated on two threads, added to `cursor`.
  void TwoThreadSum(CompiledFormula& formula, const SumOfSquaresTask& task, std::uint32_t first,
                    std::uint32_t last, BlockSumCursor& cursor, std::int8_t& status,
                    FormulaMessages* messages);
  // Starts the helper thread and its buffers unless they are there; false when the system has no
  // thread or memory to give (the run's sums then stay on one thread).
  bool StartHelper();
  // The helper thread's part of job `job`: its first block, then the blocks it claims, in order;
  // or the announced sum when `job` is that.
  void HelperJob(std::uint64_t job, std::uint64_t first_claims);
  // Takes the next block of the helper's part of job `job` not yet taken, or with `from_end` the
  // last one; false when none is left or `job` is no longer the current one.
  bool ClaimBlock(std::uint64_t job, bool from_end, std::uint32_t& block);

  SumSettings settings_;
  BlockWorkspace workspace_;
  std::unique_ptr<BlockWorkspace> helper_workspace_;
  std::unique_ptr<double[]> values_;  // the model values of every sum point of a job

  // The program of the current sum and the point rows, set on the calling thread before the
  // blocks are evaluated and only read while they are.
  BlockProgram program_;
  std::uint32_t sum_total_ = 0;
  std::unique_ptr<double[]> columns_;  // x of every sum point, then y, columns_capacity_ each
  std::uint32_t columns_capacity_ = 0;
  const Point* columns_points_ = nullptr;
  std::uint32_t columns_total_ = 0;
  std::uint32_t columns_interval_ = 0;
  // Rows kept for the probes of one constant: the rows of the slots that do not depend on it and
  // are read by slots that do (or are the last), as `program` computed them, for the blocks
  // marked in block_kept. One set per constant, so that a scan finds its rows again in the next
  // cycle when the other constants have not moved since.
  struct KeptSet {
    int constant = -1;  // -1: holds nothing
    BlockProgram program;
    KeptRowPlan plan;
    bool block_kept[kMaxBlocks] = {};  // written by the thread that evaluates the block
    std::unique_ptr<double[]> data;    // `rows` rows of `stride` values
    std::size_t allocated = 0;         // doubles in data
    std::uint32_t stride = 0;
  };
  // At most this many rows over all sets.
  static constexpr int kMaxKeptRowsInAll = 2 * KeptRows::kMaxRows;
  void ForgetKeptRows();

  // A program summed at the current points, and the running sum after each of its blocks
  // 0..blocks_done-1, every one of them added whole from clean values.
  struct SumMemo {
    bool used = false;
    bool observed_is_x = false;
    std::uint64_t key = 0;  // BlockProgramKey(program)
    BlockProgram program;
    std::uint32_t blocks_done = 0;
    double after_block[kMaxBlocks];
  };
  static constexpr int kSumMemos = 16;
  // Makes the memos unless they are there; false when the memory cannot be had.
  bool MakeMemos();
  // The memo in use of `program`, or null.
  SumMemo* FindMemo(const BlockProgram& program, std::uint64_t key, bool observed_is_x) const;
  // Finds the memo of the prepared program, or takes the oldest for it, and sets `cursor` and
  // [first, last) to the blocks that the sum must still evaluate.
  void StartFromMemo(const SumOfSquaresTask& task, BlockSumCursor& cursor, std::uint32_t& first,
                     std::uint32_t& last);
  // Notes the running sum after block b, when it was added whole from clean values.
  void RecordBlock(std::uint32_t b, const BlockSumCursor& cursor);
  void ForgetSums();
  std::unique_ptr<SumMemo[]> memos_;  // kSumMemos, made by the first sum in blocks
  int next_memo_ = 0;
  SumMemo* memo_ = nullptr;  // the memo of the current sum
  std::uint64_t blocks_evaluated_ = 0;
  std::uint64_t two_thread_sums_ = 0;
  ThreadChoice thread_choice_;
  std::uint64_t sums_kept_on_one_thread_ = 0;
  // The share of a long two-thread sum's blocks that the calling thread evaluates itself, in
  // kShareUnits: it adds every block, the terms of its own along its evaluations, while the
  // helper starts later and hands its blocks over through the caches. How fast each side is
  // depends on the two cores of the moment, so the share follows the sums: one unit more after a
  // sum in which this thread took blocks over from the helper, one less after one in which the
  // helper was done first.
  static constexpr std::uint32_t kShareBlocks = 16;  // from this many blocks of a sum on
  static constexpr std::uint32_t kShareUnits = 64;
  static constexpr std::uint32_t kMinOwnShare = 16;
  static constexpr std::uint32_t kMaxOwnShare = 48;
  std::uint32_t own_share_ = 28;
  std::uint64_t blocks_taken_from_helper_ = 0;

  KeptSet kept_sets_[kMaxConstants];
  KeptSet* kept_ = nullptr;  // the set of the current sum
  KeptUse kept_use_ = KeptUse::kNone;
  std::uint64_t kept_blocks_read_ = 0;
  std::atomic<std::uint32_t> job_kept_reads_{0};

  // The current job: the helper's part is claimed block by block through claims_ (the job's
  // number and the blocks not yet taken); each block is marked done once its values are in
  // values_. After marking its last block done the helper touches only claims_, which names the
  // job, and helper_left_; so the next job may be set up as soon as every block is done, or, when
  // a sum stopped early, once the helper has left (helper_left_).
  std::uint64_t posted_jobs_ = 0;  // the number of the last job posted to helper_
  std::atomic<std::uint64_t> claims_{0};
  std::atomic<std::uint64_t> helper_left_{0};  // the number of the last job the helper left
  std::atomic<bool> block_done_[kMaxBlocks];
  // What the evaluation of each block of the helper's part found (EvaluateSumBlock), both in one
  // cache line.
  struct BlockFound {
    bool clean = false;
    bool in_range = false;
  };
  BlockFound found_[kMaxBlocks] = {};

  // The announced sum. The helper reads `job` (its part) from the post until it leaves the job
  // (helper_left_); the calling thread keeps the rest. While the helper computes it, this thread's
  // sums stay on this thread and change neither the point rows nor the kept set it reads. The job
  // holds its own copies of the row pointers and lies in cache lines of its own: reading members
  // beside those that this thread writes in its sums took each such line back across the cores,
  // and slowed the sum beside the helper by a tenth.
  struct alignas(64) AnticipatedJob {
    BlockProgram program;
    SumOfSquaresTask task;    // without early stop or overflow test
    double stop_bound = 0.0;  // the helper ends with the block whose running sum reaches it
    std::uint32_t total = 0;
    const double* x_row = nullptr;
    const double* y_row = nullptr;
    const double* observed = nullptr;
    BlockWorkspace* workspace = nullptr;
    int memo = -1;            // the memo it fills (not in use until the sum is asked for)
    KeptSet* kept = nullptr;  // complete rows it reads, or null
    // The block whose values the helper left in its workspace's values row (its last one added),
    // or kNoBlock; written by the helper.
    std::uint32_t values_block = 0;
    std::uint32_t blocks_evaluated = 0;  // written by the helper
    std::uint32_t kept_blocks_read = 0;  // written by the helper
  };
  struct Anticipation {
    bool pending = false;  // announced, not yet asked for
    bool posted = false;   // on the helper: job.memo is being filled
    bool observed_is_x = false;
    std::uint64_t job_number = 0;
    int sums_since = 0;  // other sums since the announcement
    ThreadChoice::Decision decision;
    std::chrono::steady_clock::time_point start;  // of a timed pair
    std::uint32_t blocks_added = 0;               // by the sums of a timed pair
    AnticipatedJob job;
  };
  // Computes the announced sum on the helper.
  void RunAnticipatedJob();
  // At the start of a sum: whether it is the announced one (then answered from its memo as far
  // as the helper got). Another sum goes on beside the helper; a second one ends the
  // announcement.
  bool StartSumOfPair(const SumOfSquaresTask& task);
  // When the announced sum stops in [first, last), the last block the helper added, whose values
  // are still in the helper's workspace: adds its terms from them and moves `first` to `last`.
  void AddStopBlockFromHelper(const SumOfSquaresTask& task, BlockSumCursor& cursor,
                              std::uint32_t& first, std::uint32_t last);
  // At the end of a sum: the pair's time for the choice, and the end of the announcement when
  // the sum was the announced one.
  void EndSumOfPair(const SumOfSquaresTask& task, std::uint32_t blocks,
                    const BlockSumCursor& cursor, bool ends_pair);
  // Waits until the helper has left the announced sum, if it is on it; with `keep` its memo is
  // then in use, else it is dropped (and the helper stops after its current block).
  void SettleAnticipation(bool keep);
  // Whether the prepared sum is the announced one.
  bool IsAnticipated(const SumOfSquaresTask& task) const;
  Anticipation anticipation_;
  KeptRowPlan plan_scratch_;  // Anticipate's look at the varied constant's rows
  ThreadChoice anticipate_choice_;
  std::uint64_t anticipated_sums_ = 0;
  std::atomic<std::uint64_t> anticipated_job_{
      0};  // the job number of the last announced sum posted
  std::atomic<bool> anticipation_dropped_{false};

  std::unique_ptr<HelperThread> helper_;  // started by the first two-thread sum
};

}  // namespace calvane
