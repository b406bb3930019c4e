// The block evaluator and the two-thread sums against the single-point evaluator: random
// formulas over every operation (the degree forms included) on random data with domain errors
// at random points, compared bit for bit in sums, statuses, messages and the formula's cells,
// and whole runs compared byte for byte in their logs and results.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/cp932.h"
#include "engine/engine_messages.h"
#include "engine/parallel_sums.h"
#include "engine/worker.h"
#include "formula/formula_check.h"
#include "tests/engine/engine_test_support.h"

namespace calvane {
namespace {

class RecordingMessages : public FormulaMessages {
 public:
  void EvaluationError(std::string_view text) override { texts.emplace_back(text); }
  void UnregisteredOperator(std::string_view text) override { texts.emplace_back(text); }
  std::vector<std::string> texts;
};

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Random formula texts in x and k0..k3 with every operator and function of the language.
class FormulaGenerator {
 public:
  explicit FormulaGenerator(std::uint64_t seed) : rng_(seed) {}

  // A random expression inside a frame that reads x and a constant (a formula without them does
  // not check).
  std::string Next() {
    const Piece p = Expression(3);
    switch (Pick(3)) {
      case 0:
        return "k0*" + Operand(p) + "+x";
      case 1:
        return Operand(p) + "/x-k0";
      default:
        return p.text + "+k0*x";
    }
  }

 private:
  struct Piece {
    std::string text;
    bool atomic;  // a name, a number or a function call: needs no parentheses as an operand
  };

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  static std::string Operand(const Piece& p) { return p.atomic ? p.text : "(" + p.text + ")"; }

  Piece Leaf() {
    static const char* const kLeaves[] = {"x", "x", "k0", "k1", "k2", "k3", "2", "0.5", "3", "x"};
    return {kLeaves[Pick(10)], true};
  }

  Piece Expression(int depth) {
    if (depth == 0) return Leaf();
    static const char* const kFunctions[] = {"Sqrt", "Exp", "Log",  "Ln",   "Sin",
                                             "Cos",  "Tan", "Asin", "Acos", "Atan"};
    static const char* const kOperators[] = {"+", "-", "*", "/", "^"};
    static const char* const kExponents[] = {"2", "3", "5", "0", "0.5", "k1", "(0-1)"};
    switch (Pick(6)) {
      case 0:
        return Leaf();
      case 1:
        return {"-" + Operand(Expression(depth - 1)), false};
      case 2:
        return {std::string(kFunctions[Pick(10)]) + "(" + Expression(depth - 1).text + ")", true};
      case 3:
        return {Operand(Expression(depth - 1)) + "^" + kExponents[Pick(7)], false};
      default:
        return {
            Operand(Expression(depth - 1)) + kOperators[Pick(5)] + Operand(Expression(depth - 1)),
            false};
    }
  }

  std::mt19937_64 rng_;
};

// Points mostly inside every domain (x in [0.05, 0.95]) with a few at the edges and beyond (0,
// 1, -1, -0.5), so that Sqrt, Ln, Log, Asin, Acos and division fail at some points and not at
// others, and most blocks are clean.
std::vector<Point> RandomPoints(std::uint64_t seed, std::size_t count) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(0.05, 0.95);
  std::vector<Point> points(count);
  for (Point& p : points) {
    const int kind = std::uniform_int_distribution<int>(0, 999)(rng);
    p.x = kind == 0 ? 0.0 : kind == 1 ? 1.0 : kind == 2 ? -1.0 : kind == 3 ? -0.5 : u(rng);
    p.y = u(rng);
  }
  // Failures at the first point of a block, where a failing slot keeps the value of the last
  // point of the block before.
  for (std::size_t i = 256; i < count; i += 512) points[i].x = -1.5;
  return points;
}

struct SumCase {
  std::uint32_t interval;
  bool early_stop;
  double stop_at;
  bool check_overflow;
  std::int8_t start_status;
};

// The three ways of summing, each with its own copy of one formula: point by point (the
// reference), in blocks on one thread and in blocks on two (where announced sums go to the
// helper at any number of points).
struct ThreeSums {
  std::unique_ptr<CompiledFormula> formulas[3];
  SumWorkers reference{SumSettings{false, 0}};
  SumWorkers one_thread{SumSettings{true, 0}};
  SumWorkers two_threads{SumSettings{true, 1, 1, 1, 0, false, 1}};
  SumWorkers* workers[3] = {&reference, &one_thread, &two_threads};
  RecordingMessages messages[3];

  // Checks `text` into the three copies, in `unit`; false when it does not check.
  bool Check(const std::string& text, AngleUnit unit = AngleUnit::Radian) {
    bool valid = true;
    for (auto& f : formulas) {
      if (f == nullptr) f = std::make_unique<CompiledFormula>();
      valid =
          valid && CheckFormula(*f, text, LeftSide::NotSelected) == FormulaCheckCode::FormulaValid;
      ApplyAngleUnit(*f, unit);
    }
    return valid;
  }

  // Announces the sum of `task` at `constants` to the block workers (SumWorkers::Anticipate).
  void Announce(const double* constants, const SumOfSquaresTask& task) {
    for (int w = 1; w < 3; ++w) {
      std::memcpy(formulas[w]->paramValue, constants, sizeof formulas[w]->paramValue);
      workers[w]->Anticipate(*formulas[w], task);
    }
  }

  // Compares one sum of `task` by the three, all at `constants`: sums, overflows, statuses,
  // messages and slot cells, with `compare_xy` the x and y cells too. Returns the reference's
  // status after the sum.
  std::int8_t Expect(const double* constants, const SumOfSquaresTask& task,
                     std::int8_t start_status = 0, bool compare_xy = false) {
    SumOfSquaresResult results[3];
    std::int8_t statuses[3];
    for (int w = 0; w < 3; ++w) {
      std::memcpy(formulas[w]->paramValue, constants, sizeof formulas[w]->paramValue);
      statuses[w] = start_status;
      results[w] = workers[w]->Sum(*formulas[w], task, statuses[w], &messages[w]);
    }
    for (int w = 1; w < 3; ++w) {
      SCOPED_TRACE(w == 1 ? "one thread" : "two threads");
      EXPECT_TRUE(SameBits(results[w].sum, results[0].sum))
          << results[w].sum << " vs " << results[0].sum;
      EXPECT_EQ(results[w].overflow, results[0].overflow);
      EXPECT_EQ(statuses[w], statuses[0]);
      EXPECT_EQ(messages[w].texts, messages[0].texts);
      EXPECT_EQ(std::memcmp(formulas[w]->slotValue, formulas[0]->slotValue,
                            sizeof formulas[0]->slotValue),
                0);
      if (compare_xy) {
        EXPECT_TRUE(SameBits(formulas[w]->x, formulas[0]->x));
        EXPECT_TRUE(SameBits(formulas[w]->y, formulas[0]->y));
      }
    }
    return statuses[0];
  }
};

// Sums of `formula_count` random formulas, each over the cases above at random constants, point
// by point and in blocks on one and on two threads: every sum, status, message and kept slot value
// the same. Returns the formulas checked and the sums that met an evaluation error.
struct RandomSumsSeen {
  int checked = 0;
  int with_errors = 0;
};
RandomSumsSeen CompareRandomSums(int formula_count) {
  RandomSumsSeen seen;
  const std::vector<Point> points = RandomPoints(7, 3000);
  const SumCase cases[] = {
      {1, false, 0.0, false, 0},  {1, false, 0.0, true, 0},  {3, false, 0.0, false, 0},
      {1, true, 500.0, false, 0}, {2, true, 1e6, true, -10}, {1, false, 0.0, false, -10},
      {1, false, 0.0, false, 0},
  };
  FormulaGenerator generator(2024);
  std::mt19937_64 rng(99);
  std::uniform_real_distribution<double> constant(-3.0, 3.0);
  int& checked = seen.checked;
  int& with_errors = seen.with_errors;
  for (int formula_number = 0; formula_number < formula_count; ++formula_number) {
    const std::string text = generator.Next();
    SCOPED_TRACE(text);
    const AngleUnit unit = formula_number % 2 == 0 ? AngleUnit::Radian : AngleUnit::Degree;
    ThreeSums sums;
    if (!sums.Check(text, unit)) continue;
    ++checked;
    for (const SumCase& c : cases) {
      double constants[kMaxConstants];
      for (double& k : constants) k = constant(rng);
      SumOfSquaresTask task;
      task.points = points.data();
      task.count = static_cast<std::uint32_t>(points.size()) - formula_number % 3;
      task.interval = c.interval;
      task.observed_is_x = formula_number % 5 == 0;
      task.early_stop = c.early_stop;
      task.stop_at = c.stop_at;
      task.check_overflow = c.check_overflow;
      task.overflow_limit = 1e100;
      if (sums.Expect(constants, task, c.start_status,
                      /*compare_xy=*/true) > 0) {
        ++with_errors;
      }
      if (::testing::Test::HasFailure()) return seen;  // one formula's report is enough
    }
    EXPECT_TRUE(sums.two_threads.HelperStarted());
  }
  return seen;
}

TEST(BlockSums, RandomFormulasGiveTheSinglePointSumsBitForBit) {
  const RandomSumsSeen seen = CompareRandomSums(300);
  // The generator must have exercised what this test is about.
  EXPECT_GT(seen.checked, 250);
  EXPECT_GT(seen.with_errors, 200);
  std::printf("%d formulas checked, %d sums with an evaluation error\n", seen.checked,
              seen.with_errors);
}

// The block loops are built for several vector widths and a run takes the widest the processor
// has; each narrower one must give the same bits too, for the machines that have only those.
TEST(BlockSums, EveryVectorWidthGivesTheSinglePointSums) {
  int widths = 0;
  for (BlockLoopWidth width :
       {BlockLoopWidth::Baseline, BlockLoopWidth::Avx2, BlockLoopWidth::Avx512}) {
    if (!SelectBlockLoopWidth(width)) continue;
    ++widths;
    SCOPED_TRACE(static_cast<int>(width));
    const RandomSumsSeen seen = CompareRandomSums(60);
    EXPECT_GT(seen.checked, 40);
    if (HasFailure()) break;
  }
  ASSERT_TRUE(SelectBlockLoopWidth(WidestBlockLoopWidth()));
  EXPECT_GE(widths, 1);  // the baseline is always there
}

// Scans of random formulas: for each of `formula_count` generated by `seed` that checks (in
// radians and degrees by turns), `scans(sums, constants, task, formula_number)` with fresh
// ThreeSums, constants drawn from `constant` and a task over `points`. Stops at the first failure;
// returns how many formulas checked.
template <class Scans>
int ForRandomFormulas(std::uint64_t seed, int formula_count, const std::vector<Point>& points,
                      std::mt19937_64& rng, std::uniform_real_distribution<double>& constant,
                      Scans scans) {
  FormulaGenerator generator(seed);
  int checked = 0;
  for (int formula_number = 0; formula_number < formula_count; ++formula_number) {
    const std::string text = generator.Next();
    SCOPED_TRACE(text);
    ThreeSums sums;
    if (!sums.Check(text, formula_number % 2 == 0 ? AngleUnit::Radian : AngleUnit::Degree)) {
      continue;
    }
    ++checked;
    double constants[kMaxConstants];
    for (double& k : constants) k = constant(rng);
    SumOfSquaresTask task;
    task.points = points.data();
    task.count = static_cast<std::uint32_t>(points.size()) - formula_number % 4;
    task.observed_is_x = formula_number % 5 == 0;
    task.overflow_limit = 1e100;
    scans(sums, constants, task);
    if (::testing::Test::HasFailure()) break;
  }
  return checked;
}

// The probes of a lattice scan: runs of sums that change one constant, with that constant given
// as the varied one, so that the block sums keep and reuse the rows that do not depend on it;
// between runs other constants change, and with them what may be reused. Every sum is the
// single-point sum bit for bit, with and without early stops and domain errors.
TEST(BlockSums, ProbesOfOneConstantReuseRowsBitForBit) {
  const std::vector<Point> points = RandomPoints(17, 2600);
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> constant(-3.0, 3.0);
  std::uint64_t kept_reads[2] = {0, 0};
  auto scans = [&](ThreeSums& sums, double* constants, SumOfSquaresTask& task) {
    for (int scan = 0; scan < 8; ++scan) {
      const int r = scan % 4;
      task.varied_constant = r;
      // A different interval now and then: other points, nothing of the old ones may be reused.
      task.interval = scan == 5 ? 2u : 1u;
      const double before = constants[r];
      for (int probe = 0; probe < 5; ++probe) {
        constants[r] = constant(rng);
        task.early_stop = probe == 3;
        task.stop_at = 40.0;
        task.check_overflow = probe == 1;
        sums.Expect(constants, task, probe == 2 ? -10 : 0);
        if (::testing::Test::HasFailure()) return;
      }
      // Half of the scans win nothing: the constant goes back, and the rows kept for the other
      // constants in earlier scans fit again.
      if (scan % 3 != 1) constants[r] = before;
      // A sum without the hint after the scan (the log's recomputed sum).
      task.varied_constant = -1;
      sums.Expect(constants, task, 0);
      if (::testing::Test::HasFailure()) return;
    }
    kept_reads[0] += sums.one_thread.KeptBlocksRead();
    kept_reads[1] += sums.two_threads.KeptBlocksRead();
  };
  const int checked = ForRandomFormulas(4242, 120, points, rng, constant, scans);
  if (HasFailure()) return;
  EXPECT_GT(checked, 100);
  // The test is about the reuse: both block paths must have read kept rows often.
  EXPECT_GT(kept_reads[0], 2000u);
  EXPECT_GT(kept_reads[1], 2000u);
}

// Probes announced as a scan announces them: the second of each pair before the first, so that
// the helper sums it beside the first (full sums, and sums whose early stop comes at or below
// the bound announced). Announcements never asked for, announcements across a change of points,
// domain errors in the helper's blocks and kept rows read by the helper: every sum is the
// single-point sum bit for bit, with its status, messages and cells.
TEST(BlockSums, AnnouncedSumsAreTheSinglePointSumsBitForBit) {
  const std::vector<Point> points = RandomPoints(19, 2600);
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> constant(-3.0, 3.0);
  std::uint64_t announced = 0;
  auto scans = [&](ThreeSums& sums, double* constants, SumOfSquaresTask& task) {
    sums.Expect(constants, task);  // the point rows, as a scan's first sum makes them
    for (int scan = 0; scan < 6; ++scan) {
      const int r = scan % 4;
      task.varied_constant = r;
      const bool fine = scan % 2 == 1;
      for (int pair = 0; pair < 2; ++pair) {
        double first[kMaxConstants];
        double second[kMaxConstants];
        std::memcpy(first, constants, sizeof first);
        std::memcpy(second, constants, sizeof second);
        first[r] = constant(rng);
        second[r] = constant(rng);
        SumOfSquaresTask announced_task = task;
        announced_task.early_stop = fine;
        announced_task.stop_at = 300.0;
        sums.Announce(second, announced_task);
        if (scan == 4 && pair == 1) task.interval = 2;  // other points: the announcement ends
        SumOfSquaresTask first_task = announced_task;
        first_task.interval = task.interval;
        sums.Expect(first, first_task);
        if (scan == 2 && pair == 1) {
          // Another sum in between: the announcement ends, its memo stays.
          first[r] = constant(rng);
          sums.Expect(first, first_task);
        }
        // The stop at the bound, or below it (the first probe won).
        SumOfSquaresTask second_task = first_task;
        second_task.stop_at = pair == 0 ? 300.0 : 30.0;
        sums.Expect(second, second_task, 0, /*compare_xy=*/true);
        if (::testing::Test::HasFailure()) return;
      }
      task.interval = 1;
    }
    announced += sums.two_threads.AnticipatedSums();
    EXPECT_EQ(sums.one_thread.AnticipatedSums(), 0u);  // no helper: nothing announced
  };
  const int checked = ForRandomFormulas(9090, 80, points, rng, constant, scans);
  if (HasFailure()) return;
  EXPECT_GT(checked, 60);
  EXPECT_GT(announced, 200u);
}

// An announced sum whose early stop falls in the last block the helper added takes that block's
// terms from the values the helper left: the calling thread evaluates nothing for it. When the
// helper went on to a block with a domain error, the values it left are that block's, and the
// stop block is evaluated again.
TEST(BlockSums, AnAnnouncedSumStoppingInTheHelpersLastBlockEvaluatesNothingMore) {
  std::vector<Point> points = RandomPoints(37, 8 * kBlockPoints);
  for (Point& p : points) p.x = std::fabs(p.x) + 0.05;
  points[4 * kBlockPoints].x = -1.0;  // Sqrt fails at the first point of block 4
  constexpr double kNoBound = std::numeric_limits<double>::infinity();
  for (const double bound_factor : {1.0, kNoBound}) {
    SCOPED_TRACE(bound_factor);
    CompiledFormula formula;
    CompiledFormula reference_formula;
    ASSERT_EQ(CheckFormula(formula, "k0*Exp(-(x-k1)^2/k2)+Sqrt(x)", LeftSide::NotSelected),
              FormulaCheckCode::FormulaValid);
    reference_formula.CopyFrom(formula);
    SumWorkers workers(SumSettings{true, 1, 1, 1, 0, false, 1});
    SumWorkers reference(SumSettings{false, 0});
    auto set = [&](double k1) {
      const double constants[3] = {1.5, k1, 0.4};
      for (int k = 0; k < 3; ++k) {
        formula.paramValue[formula.paramIndex[k]] = constants[k];
        reference_formula.paramValue[formula.paramIndex[k]] = constants[k];
      }
    };
    SumOfSquaresTask task;
    task.points = points.data();
    task.count = static_cast<std::uint32_t>(points.size());
    std::int8_t reference_status = 0;
    // A stop halfway through block 3.
    set(0.3);
    SumOfSquaresTask partial = task;
    partial.count = 3 * kBlockPoints + kBlockPoints / 2;
    task.early_stop = true;
    task.stop_at = reference.Sum(reference_formula, partial, reference_status, nullptr).sum;
    const double want = reference.Sum(reference_formula, task, reference_status, nullptr).sum;
    ASSERT_EQ(reference_status, 0);

    std::int8_t status = 0;
    set(0.9);
    workers.Sum(formula, task, status, nullptr);  // the point rows
    set(0.3);
    SumOfSquaresTask announced = task;
    announced.stop_at = task.stop_at * bound_factor;
    workers.Anticipate(formula, announced);
    set(-0.2);
    workers.Sum(formula, task, status, nullptr);
    set(0.3);
    status = 0;  // the sums before met the failing point
    const std::uint64_t before = workers.BlocksEvaluated();
    const double got = workers.Sum(formula, task, status, nullptr).sum;
    EXPECT_TRUE(SameBits(got, want)) << got << " vs " << want;
    EXPECT_EQ(status, 0);
    EXPECT_EQ(workers.AnticipatedSums(), 1u);
    // The helper's blocks (0 to 3, or 0 to 4 with the failing one), counted when the sum was
    // asked for, and the stop block again only when the helper went on.
    EXPECT_EQ(workers.BlocksEvaluated() - before, bound_factor == 1.0 ? 4u : 6u);
  }
}

// A scan whose constant went back to where it was leaves every other constant's kept rows
// valid: the next scan of another constant reads them from its first probe on.
TEST(BlockSums, KeptRowsServeTheNextCycleWhenTheOtherConstantsStayed) {
  const std::vector<Point> points = RandomPoints(29, 2048);
  ThreeSums sums;
  ASSERT_TRUE(sums.Check("k0*Exp(-(x-k1)^2/k2)"));
  // By constant index: k0, k1 and k2 take the places the check gave them.
  const int k0 = sums.formulas[0]->paramIndex[0];
  const int k2 = sums.formulas[0]->paramIndex[2];
  double constants[kMaxConstants] = {};
  constants[k0] = 1.5;
  constants[sums.formulas[0]->paramIndex[1]] = 0.25;
  constants[k2] = 0.75;
  SumOfSquaresTask task;
  task.points = points.data();
  task.count = static_cast<std::uint32_t>(points.size());
  // A cycle over k0 and k2 (k1 keeps nothing: every slot depends on it), winning nothing; the
  // next cycle's probes lie elsewhere (`scale`), so that they are new sums.
  auto scan = [&](int r, double scale = 1.0) {
    task.varied_constant = r;
    const double before = constants[r];
    for (const double step : {-0.1, -0.01, 0.01, 0.1}) {
      constants[r] = before + step * scale;
      sums.Expect(constants, task, 0);
    }
    constants[r] = before;
  };
  scan(k0);
  scan(k2);
  const std::uint64_t after_first_cycle = sums.one_thread.KeptBlocksRead();
  EXPECT_EQ(after_first_cycle, 2u * 3u * 8u) << "three probes of each scan read the 8 blocks";
  scan(k0, 2.0);
  scan(k2, 2.0);
  EXPECT_EQ(sums.one_thread.KeptBlocksRead() - after_first_cycle, 2u * 4u * 8u)
      << "in the second cycle every probe reads the kept rows";
  EXPECT_EQ(sums.two_threads.KeptBlocksRead(), sums.one_thread.KeptBlocksRead());
  // k2 moves: the rows kept for k0 hold exp of the old k2 and must not serve k0's next scan.
  constants[k2] += 0.05;
  const std::uint64_t before_moved = sums.one_thread.KeptBlocksRead();
  task.varied_constant = k0;
  constants[k0] += 0.01;
  sums.Expect(constants, task, 0);
  EXPECT_EQ(sums.one_thread.KeptBlocksRead(), before_moved);
}

// Kept rows never outlive what they were computed from: the same SumWorkers and formula records,
// the same constants, but another formula checked into the records (a literal, an operation or
// the constant's place changed), or the points changed in place and forgotten.
TEST(BlockSums, KeptRowsAreNotReusedForAnotherProgramOrOtherPoints) {
  struct Change {
    const char* before;
    const char* after;
    bool points_change;
    int varied;  // the index of the constant the probes vary
  };
  const Change changes[] = {
      {"k0*Exp(x+1)+k1", "k0*Exp(x+2)+k1", false, 1},              // a literal
      {"k0*Exp(x)+k1", "k0*Sin(x)+k1", false, 1},                  // an operation
      {"(k0+k1)*Exp(x*k1)+k2", "(k0+k1)*Exp(x*k0)+k2", false, 2},  // a constant's place
      {"k0*x^3+k1", "k0*x^2+k1", false, 1},                        // an exponent
      {"k0*Exp(-x*x)+k1", "k0*Exp(-x*x)+k1", true, 1},             // the points' values
  };
  std::vector<Point> points = RandomPoints(23, 1800);
  for (const Change& c : changes) {
    SCOPED_TRACE(std::string(c.before) + " then " + c.after);
    ThreeSums sums;
    ASSERT_TRUE(sums.Check(c.before));
    double constants[kMaxConstants] = {0.75, -0.5, 0.25};
    SumOfSquaresTask task;
    task.points = points.data();
    task.count = static_cast<std::uint32_t>(points.size());
    task.varied_constant = c.varied;
    for (int probe = 0; probe < 3; ++probe) {
      constants[c.varied] = 0.1 * probe;
      sums.Expect(constants, task, 0);
    }
    const std::uint64_t reads_before = sums.one_thread.KeptBlocksRead();
    EXPECT_GT(reads_before, 0u) << "the first probes must have reused rows";
    if (c.points_change) {
      for (Point& p : points) p.x *= 1.5;
      sums.one_thread.ForgetPoints();
      sums.two_threads.ForgetPoints();
    } else {
      ASSERT_TRUE(sums.Check(c.after));
    }
    // The next sum changes only the varied constant, yet must compute everything afresh.
    constants[c.varied] = 0.4;
    sums.Expect(constants, task, 0);
    EXPECT_EQ(sums.one_thread.KeptBlocksRead(), reads_before);
    if (HasFailure()) return;
  }
}

// A sum asked for again (the same program at the same points) is answered from what the earlier
// sums of that program left, evaluating only the blocks it must: none for a sum known whole,
// the one block where an early stop falls, the blocks after the last one known. Blocks with a
// domain error are never known, so their statuses and messages come again; every result, status,
// message and cell is the reference's.
TEST(BlockSums, SumsAskedAgainEvaluateOnlyTheBlocksNotKnownBitForBit) {
  struct Case {
    const char* formula;
    bool errors;  // the formula fails at the first point of blocks 1, 3, 5 and 7
  };
  for (const Case& c : {Case{"k0*Exp(-(x-k1)^2/k2)", false}, Case{"k0*Sqrt(x+k1)+k2", true}}) {
    SCOPED_TRACE(c.formula);
    std::vector<Point> points = RandomPoints(31, 2000);  // 8 blocks, the last one partial
    for (std::size_t i = 0; i < points.size(); ++i) {
      if (i % 512 != 256 && points[i].x < 0.05) points[i].x = 0.5;
    }
    ThreeSums sums;
    ASSERT_TRUE(sums.Check(c.formula));
    // Below 1.5 each, so that x + k1 is negative at x = -1.5 whichever place k1 took.
    double constants[kMaxConstants] = {1.25, 0.25, 0.75};
    SumOfSquaresTask task;
    task.points = points.data();
    task.count = static_cast<std::uint32_t>(points.size());
    // One sum compared with the reference; returns the blocks the one-thread path evaluated.
    auto sum = [&](bool early_stop, double stop_at) {
      SCOPED_TRACE(testing::Message() << "early stop " << early_stop << " at " << stop_at);
      task.early_stop = early_stop;
      task.stop_at = stop_at;
      const std::uint64_t before = sums.one_thread.BlocksEvaluated();
      const std::uint64_t before_two = sums.two_threads.BlocksEvaluated();
      sums.Expect(constants, task, 0, /*compare_xy=*/true);
      const std::uint64_t blocks = sums.one_thread.BlocksEvaluated() - before;
      // Two threads may have evaluated blocks beyond an early stop before it was reached.
      if (early_stop) {
        EXPECT_GE(sums.two_threads.BlocksEvaluated() - before_two, blocks);
      } else {
        EXPECT_EQ(sums.two_threads.BlocksEvaluated() - before_two, blocks);
      }
      return blocks;
    };
    auto reference_sum = [&] {
      std::int8_t status = 0;
      std::memcpy(sums.formulas[0]->paramValue, constants, sizeof sums.formulas[0]->paramValue);
      return sums.reference.Sum(*sums.formulas[0], task, status, nullptr).sum;
    };
    EXPECT_EQ(sum(false, 0.0), 8u);
    EXPECT_EQ(sums.messages[0].texts.empty(), !c.errors);
    const double whole = reference_sum();
    // Known again: every block, or block 0 only (block 1 fails).
    const std::uint64_t again = c.errors ? 7 : 0;
    EXPECT_EQ(sum(false, 0.0), again);
    // Early stops at the first point and inside block 0: that block alone.
    EXPECT_EQ(sum(true, 0.0), 1u);
    EXPECT_EQ(sum(true, whole * 0.01), 1u);
    // Inside a later block and at the very last point: that block, or on from block 1.
    for (const double fraction : {0.6, 1.0}) {
      const std::uint64_t blocks = sum(true, whole * fraction);
      if (c.errors) {
        EXPECT_GE(blocks, 2u);
      } else {
        EXPECT_EQ(blocks, 1u);
      }
    }
    // Never: above the sum, or a threshold that is not a number.
    EXPECT_EQ(sum(true, whole * 1.01), again);
    EXPECT_EQ(sum(true, std::nan("")), again);
    if (!c.errors) {
      // An early stop at new constants knows its blocks before the stop; the whole sum there
      // goes on after them.
      constants[2] = 0.5;
      const double stop_at = whole * 0.3;
      // The block of the stop: the first after which the running sum reaches it.
      std::uint32_t stop_block = 0;
      for (SumOfSquaresTask part = task;; ++stop_block) {
        part.count = std::min<std::uint32_t>(task.count, (stop_block + 1) * kBlockPoints);
        std::int8_t status = 0;
        std::memcpy(sums.formulas[0]->paramValue, constants, sizeof sums.formulas[0]->paramValue);
        if (sums.reference.Sum(*sums.formulas[0], part, status, nullptr).sum >= stop_at) break;
      }
      ASSERT_GE(stop_block, 1u);
      ASSERT_LT(stop_block, 6u);
      // Up to the stop block, and the block after it, which this thread evaluates while it adds
      // the terms of the one before.
      const std::uint64_t to_stop = sum(true, stop_at);
      EXPECT_GE(to_stop, stop_block + 1u);
      EXPECT_LE(to_stop, stop_block + 2u);
      EXPECT_EQ(sum(false, 0.0), 8u - stop_block);
    }
    // Points changed in place and forgotten, or another program: nothing is known.
    for (Point& p : points) p.y += 0.125;
    sums.one_thread.ForgetPoints();
    sums.two_threads.ForgetPoints();
    EXPECT_EQ(sum(false, 0.0), 8u);
    ASSERT_TRUE(sums.Check(std::string(c.formula) + "+0"));
    EXPECT_EQ(sum(false, 0.0), 8u);
    if (HasFailure()) return;
  }
}

// The workspaces' slot rows grow with the programs they evaluate: the same SumWorkers sum a short
// formula, one of about a hundred slots, and the short one again at other constants, each as the
// reference does.
TEST(BlockSums, OneWorkspaceServesShortAndLongProgramsInTurn) {
  std::string long_formula = "k0*x";
  for (int term = 1; term <= 20; ++term) {
    long_formula += "+Sin(x*" + std::to_string(term) + "+k1)/" + std::to_string(term);
  }
  const std::vector<Point> points = RandomPoints(37, 1500);
  ThreeSums sums;
  double constants[kMaxConstants] = {0.5, 0.25};
  SumOfSquaresTask task;
  task.points = points.data();
  task.count = static_cast<std::uint32_t>(points.size());
  for (const std::string& text : {std::string("k0*x+k1"), long_formula, std::string("k0*x+k1")}) {
    ASSERT_TRUE(sums.Check(text));
    sums.Expect(constants, task, 0, /*compare_xy=*/true);
    constants[0] += 0.125;
  }
  EXPECT_EQ(sums.one_thread.BlocksEvaluated(), 3u * 6u) << "every sum evaluated in blocks";
}

// Inside a clean block: a value beyond the range limit (status 25), a residual of 1e100 or more
// (the overflow stop) and the early stop, at chosen points and in every order, give the sums,
// statuses, messages and cells of the single-point loop. The formulas end in each arithmetic
// operation, whose loop tests the values' range itself, and in a call, whose values are tested
// after it; the values beyond the limit are infinities, a not-a-number and finite values.
TEST(BlockSums, RangeFailuresOverflowsAndEarlyStopsInsideABlock) {
  struct Case {
    int range_point;     // x = 800 there: Exp gives an infinity (-1: none)
    int overflow_point;  // x = 250 there: a residual near 4e108 (-1: none)
    bool check_overflow;
    bool early_stop;
    double stop_at;
  };
  const Case cases[] = {
      {300, -1, false, false, 0.0},  {300, -1, true, false, 0.0},  {-1, 300, true, false, 0.0},
      {-1, 300, false, false, 0.0},  {300, 301, true, false, 0.0}, {301, 300, true, false, 0.0},
      {256, 600, true, false, 0.0},  {600, 256, true, false, 0.0}, {300, 400, true, true, 20.0},
      {300, -1, false, true, 1e300}, {511, 255, true, true, 1e9},  {0, -1, false, false, 0.0},
      {1001, -1, false, false, 0.0},
  };
  const char* const formulas[] = {
      "k0*Exp(x)",        "Exp(x)*k0",        "Exp(x)+k0",       "k0-Exp(x)",
      "Exp(x)/k0",        "-Exp(x/k0)",       "Sqrt(Exp(x)*k0)", "Exp(x-100)*k0",
      "Exp(x)-Exp(x)*k0", "Exp(x)*k0-Exp(x)", "Exp(x+k0)",
  };
  for (const char* text : formulas) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << text << ": range " << c.range_point << ", overflow "
                                      << c.overflow_point << ", early stop " << c.early_stop);
      std::vector<Point> points(1003);  // the last block ends in a part of a vector
      for (std::size_t i = 0; i < points.size(); ++i) {
        points[i].x = static_cast<double>(i) / 1000.0;
        points[i].y = 0.5;
      }
      if (c.range_point >= 0) points[static_cast<std::size_t>(c.range_point)].x = 800.0;
      if (c.overflow_point >= 0) points[static_cast<std::size_t>(c.overflow_point)].x = 250.0;
      ThreeSums sums;
      ASSERT_TRUE(sums.Check(text));
      double constants[kMaxConstants] = {0.25};
      SumOfSquaresTask task;
      task.points = points.data();
      task.count = static_cast<std::uint32_t>(points.size());
      task.check_overflow = c.check_overflow;
      task.overflow_limit = 1e100;
      task.early_stop = c.early_stop;
      task.stop_at = c.stop_at;
      sums.Expect(constants, task, 0);
      EXPECT_TRUE(SameBits(sums.formulas[1]->x, sums.formulas[0]->x));
      EXPECT_TRUE(SameBits(sums.formulas[2]->x, sums.formulas[0]->x));
    }
  }
}

// Sums over many blocks of programs whose arithmetic loops carry the chain (one to four of them):
// early stops exactly at, just below and just above the running sum after terms of a block that
// the chain rides (at a stretch's first, middle and last terms and across stretches), and a
// not-a-number observed value that no stop ever catches, give the single-point sums bit for bit,
// on one thread and on two.
TEST(BlockSums, EarlyStopsInsideABlockAddedAlongTheNextFallOnTheirTerm) {
  std::vector<Point> points = RandomPoints(71, 12 * kBlockPoints + 37);
  for (Point& p : points) p.x = std::fabs(p.x) + 0.5;  // no division by zero
  constexpr std::uint32_t kBlock = 3;                  // added along the evaluation of block 4
  for (const char* text : {"x/k0", "k0*x+k1", "k1-x*k0", "(k0+k1*x)/(k2+x)"}) {
    SCOPED_TRACE(text);
    ThreeSums sums;
    ASSERT_TRUE(sums.Check(text));
    const double constants[kMaxConstants] = {1.5, -0.25, 3.5};
    BlockProgram program;
    std::memcpy(sums.formulas[0]->paramValue, constants, sizeof constants);
    PrepareBlockProgram(*sums.formulas[0], program);
    ASSERT_GT(ChainRides(program, nullptr), 0u) << "the chain must ride this program";
    SumOfSquaresTask task;
    task.points = points.data();
    task.count = static_cast<std::uint32_t>(points.size());
    // The running sum after point `last`, point by point.
    auto running = [&](std::uint32_t last) {
      SumOfSquaresTask part = task;
      part.count = last + 1;
      part.early_stop = false;
      std::int8_t status = 0;
      return sums.reference.Sum(*sums.formulas[0], part, status, nullptr).sum;
    };
    auto expect = [&](double stop_at) {
      SCOPED_TRACE(testing::Message() << "stop at " << stop_at);
      // Nothing known from an earlier sum: each is evaluated afresh.
      sums.one_thread.ForgetPoints();
      sums.two_threads.ForgetPoints();
      task.early_stop = true;
      task.stop_at = stop_at;
      sums.Expect(constants, task, 0, /*compare_xy=*/true);
    };
    for (const std::uint32_t term : {0u, 1u, 7u, 8u, 63u, 64u, 65u, 100u, 191u, 255u}) {
      const double at = running(kBlock * kBlockPoints + term);
      for (const double stop_at : {at, std::nextafter(at, 0.0), std::nextafter(at, 1e308)}) {
        expect(stop_at);
      }
      if (HasFailure()) return;
    }
    // A not-a-number term inside the block: the sum never stops after it.
    const double y = points[kBlock * kBlockPoints + 70].y;
    points[kBlock * kBlockPoints + 70].y = std::numeric_limits<double>::quiet_NaN();
    expect(running(kBlock * kBlockPoints + 60));
    expect(1e300);
    points[kBlock * kBlockPoints + 70].y = y;
  }
}

// The terms of a block added along the evaluation of the next block (a chain riding its
// arithmetic loops: one, two or four of them, rows on either side) end where AddBlockTermsFrom
// ends them, with the same sum, stop and cells to restore, and leave the evaluation as it is
// without them. Programs with library calls or many loops leave every term to
// FinishBlockTermChain, with the same result.
TEST(BlockSums, TermsAddedAlongAnEvaluationAreThoseAddedAfterIt) {
  std::vector<Point> points = RandomPoints(17, 2 * kBlockPoints);
  for (Point& p : points) p.x = std::fabs(p.x) + 0.1;
  const double stops[] = {0.0, 1e-300, 5.0, 60.0, 1e300};
  for (const char* text : {"k0*x+k1", "x/k0", "k1-x*k0", "(k0+k1*x)/(k2+x)",
                           "(k0+k1*x+k2*x^2)/(1+x*x)", "k0*Exp(-(x-k1)^2/k2)", "k0*Sin(x)+k1"}) {
    CompiledFormula formula;
    ASSERT_EQ(CheckFormula(formula, text, LeftSide::NotSelected), FormulaCheckCode::FormulaValid);
    const double constants[3] = {1.5, 0.25, 0.8};
    for (int k = 0; k < 3; ++k) {
      if (formula.paramIndex[k] < kMaxConstants)
        formula.paramValue[formula.paramIndex[k]] = constants[k];
    }
    BlockProgram program;
    PrepareBlockProgram(formula, program);
    ASSERT_TRUE(program.usable);
    std::vector<double> xs(points.size()), ys(points.size());
    CopyPointRows(points.data(), 1, static_cast<std::uint32_t>(points.size()), xs.data(),
                  ys.data());
    BlockWorkspace workspace;
    std::vector<double> first(kBlockPoints), second(kBlockPoints), alone(kBlockPoints);
    ASSERT_TRUE(
        RunBlockProgram(program, xs.data(), ys.data(), kBlockPoints, workspace, first.data()));
    ASSERT_TRUE(RunBlockProgram(program, xs.data() + kBlockPoints, ys.data() + kBlockPoints,
                                kBlockPoints, workspace, alone.data()));
    for (bool early_stop : {false, true}) {
      for (double stop_at : stops) {
        SCOPED_TRACE(testing::Message()
                     << text << ", early stop " << early_stop << " at " << stop_at);
        SumOfSquaresTask task;
        task.points = points.data();
        task.count = static_cast<std::uint32_t>(points.size());
        task.early_stop = early_stop;
        task.stop_at = stop_at;
        BlockSumCursor after;
        after.sum = 0.5;
        CompiledFormula scratch;
        scratch.CopyFrom(formula);
        std::int8_t status = 0;
        AddBlockTermsFrom(scratch, task, 0, first.data(), ys.data(), true, after, status, nullptr);
        BlockSumCursor along;
        along.sum = 0.5;
        BlockTermChain chain;
        ASSERT_TRUE(StartBlockTermChain(task, 0, first.data(), ys.data(), true, along, chain));
        ASSERT_TRUE(RunBlockProgram(program, xs.data() + kBlockPoints, ys.data() + kBlockPoints,
                                    kBlockPoints, workspace, second.data(), nullptr, &chain));
        // The arithmetic loops added every term, up to the stop.
        const std::uint32_t added = after.stopped ? after.last_point + 1 : kBlockPoints;
        EXPECT_EQ(chain.next, ChainRides(program, nullptr) > 0 ? added : 0u);
        FinishBlockTermChain(task, 0, chain, along);
        EXPECT_TRUE(SameBits(along.sum, after.sum)) << along.sum << " vs " << after.sum;
        EXPECT_EQ(along.stopped, after.stopped);
        EXPECT_EQ(along.last_point, after.last_point);
        EXPECT_EQ(along.state_behind, after.state_behind);
        EXPECT_EQ(std::memcmp(second.data(), alone.data(), sizeof(double) * kBlockPoints), 0);
      }
    }
  }
}

// A chain with an early stop ends on the term after which the sum first reaches the stop, with
// the sum of the terms added term by term: for stops reached exactly, just below and just above
// each partial sum, in blocks of several lengths, from the start and from a chain already begun,
// and in blocks whose terms include an infinity or a not-a-number.
TEST(BlockSums, AnEarlyStopFallsOnTheTermThatFirstReachesIt) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> value(-0.5, 0.5);
  std::vector<double> observed(kBlockPoints), values(kBlockPoints);
  for (double odd : {0.0, 1e300, std::numeric_limits<double>::quiet_NaN()}) {
    for (std::size_t i = 0; i < kBlockPoints; ++i) {
      observed[i] = i == 20 && odd != 0.0 ? odd : value(random);
      values[i] = value(random);
    }
    for (std::uint32_t n : {kBlockPoints, 37u, 8u, 1u}) {
      for (std::uint32_t begun : {0u, 3u}) {
        if (begun >= n) continue;
        // The partial sums after each term from `begun` on (0.5 holds the terms before it).
        std::vector<double> partial;
        double running = 0.5;
        for (std::uint32_t j = begun; j < n; ++j) {
          const double residual = observed[j] - values[j];
          partial.push_back(running += residual * residual);
        }
        std::vector<double> stops = {0.0, std::numeric_limits<double>::infinity()};
        for (double p : partial) {
          stops.insert(stops.end(), {p, std::nextafter(p, -1e308), std::nextafter(p, 1e308)});
        }
        for (double stop_at : stops) {
          SCOPED_TRACE(testing::Message() << "term 20 " << odd << ", " << n << " terms from "
                                          << begun << ", stop at " << stop_at);
          const auto reached = std::find_if(partial.begin(), partial.end(),
                                            [stop_at](double p) { return p >= stop_at; });
          const bool stopped = reached != partial.end();
          const std::uint32_t next =
              stopped ? begun + 1 + static_cast<std::uint32_t>(reached - partial.begin()) : n;
          SumOfSquaresTask task;
          task.early_stop = true;
          task.stop_at = stop_at;
          BlockTermChain chain{observed.data(), values.data(), begun, n, 0.5, stop_at, true};
          BlockSumCursor cursor;
          FinishBlockTermChain(task, 0, chain, cursor);
          EXPECT_TRUE(SameBits(cursor.sum, partial[next - begun - 1]));
          EXPECT_EQ(cursor.stopped, stopped);
          EXPECT_EQ(chain.next, next);
          EXPECT_EQ(cursor.last_point, next - 1);
        }
      }
    }
  }
}

// Sums of the Gaussian at constants that move from sum to sum, every fourth stopped early (in the
// calling thread's block or in the helper's part), each compared bit for bit with the
// single-point sum: its value, its status and the formula's cells.
class GaussianSumsAgainstSinglePoint {
 public:
  explicit GaussianSumsAgainstSinglePoint(const std::vector<Point>& points) {
    EXPECT_EQ(CheckFormula(formula_, "k0*Exp(-(x-k1)^2/k2)", LeftSide::NotSelected),
              FormulaCheckCode::FormulaValid);
    reference_formula_.CopyFrom(formula_);
    task_.points = points.data();
    task_.count = static_cast<std::uint32_t>(points.size());
  }

  // Sum number n on `workers`.
  void Sum(SumWorkers& workers, int n) {
    const double constants[3] = {1.0 + 0.01 * n, 0.1 * (n % 7), 0.5 + 0.05 * (n % 5)};
    for (int k = 0; k < 3; ++k) {
      formula_.paramValue[formula_.paramIndex[k]] = constants[k];
      reference_formula_.paramValue[formula_.paramIndex[k]] = constants[k];
    }
    task_.early_stop = n % 4 == 3;
    task_.stop_at = n % 8 == 3 ? 1.0 : 400.0;
    std::int8_t status = 0;
    std::int8_t reference_status = 0;
    const double got = workers.Sum(formula_, task_, status, nullptr).sum;
    const double want = reference_.Sum(reference_formula_, task_, reference_status, nullptr).sum;
    ASSERT_TRUE(SameBits(got, want)) << "sum " << n << ": " << got << " vs " << want;
    ASSERT_EQ(status, reference_status) << "sum " << n;
    ASSERT_EQ(
        std::memcmp(formula_.slotValue, reference_formula_.slotValue, sizeof formula_.slotValue), 0)
        << "sum " << n;
  }

 private:
  CompiledFormula formula_;
  CompiledFormula reference_formula_;
  SumWorkers reference_{SumSettings{false, 0}};
  SumOfSquaresTask task_;
};

// A two-thread sum in which the calling thread evaluates only the first block: once that is
// added it takes the helper's blocks from the end while the helper works from the front, and
// sums stopped early leave the helper's part unfinished. Every sum is the single-point sum.
TEST(BlockSums, TheCallingThreadTakesOverBlocksTheHelperHasNotReached) {
  const std::vector<Point> points = RandomPoints(23, 32 * kBlockPoints);
  GaussianSumsAgainstSinglePoint check(points);
  SumWorkers workers(SumSettings{true, 1, kTwoThreadResidualPoints, 0, 1});
  int sums = 0;
  for (; sums < 200 && (sums < 8 || workers.BlocksTakenFromHelper() == 0); ++sums) {
    ASSERT_NO_FATAL_FAILURE(check.Sum(workers, sums));
  }
  EXPECT_EQ(workers.TwoThreadSums(), static_cast<std::uint64_t>(sums));
  EXPECT_GT(workers.BlocksTakenFromHelper(), 0u);
}

// With the default settings a sum goes to the second thread from kTwoThreadPoints on when its
// program computes a library call per point, and never when it does not (an arithmetic formula,
// or one whose calls are all in rows kept from an earlier sum); with two_thread_points 0 none
// does. Either way it is the single-point sum.
TEST(BlockSums, TheSecondThreadTakesTheSumsThatComputeALibraryCall) {
  struct Case {
    const char* formula;
    std::uint32_t points;
    bool told;  // whether the sums are told that they move k0, as a scan tells them
    SumSettings settings;
    std::uint64_t two_thread_sums;
  };
  const SumSettings defaults;
  const SumSettings one_thread{true, 0, kTwoThreadResidualPoints, 1};
  const SumSettings arithmetic_too{true, kTwoThreadPoints, kTwoThreadResidualPoints, 1000};
  const Case cases[] = {
      {"k0+k1*x+k2*x^2", 1000, false, defaults, 0},
      {"k0+k1*x+k2*x^2", 8192, false, defaults, 0},
      {"k0+k1*x+k2*x^2", 1000, false, arithmetic_too, 2},
      {"k0*Exp(-(x-k1)^2/k2)", 1000, false, defaults, 2},
      {"k0*Exp(-(x-k1)^2/k2)", 1000, false, one_thread, 0},
      {"k0*Exp(-(x-k1)^2/k2)", 1000, true, defaults, 1},  // the second reads the Exp row kept
      {"k0*x^2.5+k1", 1000, false, defaults, 2},          // a power by a fraction calls
      {"k0*x^3+k1*x+k2", 1000, false, defaults, 0},       // by a whole exponent it does not
  };
  std::vector<Point> points = RandomPoints(51, 8192);
  for (Point& p : points) p.x = std::fabs(p.x) + 0.1;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.formula) + " at " + std::to_string(c.points) + " points");
    CompiledFormula formula;
    CompiledFormula reference_formula;
    ASSERT_EQ(CheckFormula(formula, c.formula, LeftSide::NotSelected),
              FormulaCheckCode::FormulaValid);
    reference_formula.CopyFrom(formula);
    SumWorkers workers(c.settings);
    SumWorkers reference{SumSettings{false, 0}};
    SumOfSquaresTask task;
    task.points = points.data();
    task.count = c.points;
    task.varied_constant = c.told ? formula.paramIndex[0] : -1;
    double constants[3] = {1.5, -0.25, 0.8};
    for (int sum = 0; sum < 2; ++sum) {
      for (int k = 0; k < 3; ++k) {
        const std::uint8_t v = formula.paramIndex[k];
        if (v >= kMaxConstants) continue;  // not in this formula
        formula.paramValue[v] = constants[k];
        reference_formula.paramValue[v] = constants[k];
      }
      std::int8_t status = 0;
      std::int8_t reference_status = 0;
      const double got = workers.Sum(formula, task, status, nullptr).sum;
      const double want = reference.Sum(reference_formula, task, reference_status, nullptr).sum;
      EXPECT_TRUE(SameBits(got, want)) << got << " vs " << want;
      EXPECT_EQ(status, reference_status);
      constants[0] += 0.125;
    }
    EXPECT_EQ(workers.TwoThreadSums(), c.two_thread_sums);
  }
}

// Sums whose thread is chosen by their time go to both sides in the trials, whatever the
// machine's speed, and every one is the single-point sum, early stops included.
TEST(BlockSums, SumsChosenByTimeAreTheSinglePointSumsOnEitherSide) {
  const std::vector<Point> points = RandomPoints(61, 8 * kBlockPoints);
  GaussianSumsAgainstSinglePoint check(points);
  SumSettings settings;
  settings.choose_by_time = true;
  SumWorkers workers(settings);
  const int sums = 2 * static_cast<int>(2 + 2 * ThreadChoice::kTrialSums);
  for (int n = 0; n < sums; ++n) ASSERT_NO_FATAL_FAILURE(check.Sum(workers, n));
  // The first trial alone makes 1 + kTrialSums sums on each side; every sum went to one.
  EXPECT_GE(workers.TwoThreadSums(), 1 + ThreadChoice::kTrialSums);
  EXPECT_GE(workers.SumsKeptOnOneThread(), 1 + ThreadChoice::kTrialSums);
  EXPECT_EQ(workers.TwoThreadSums() + workers.SumsKeptOnOneThread(),
            static_cast<std::uint64_t>(sums));
}

// Whole runs: the log bytes, the results and the messages of a run are those of the
// single-point path, with blocks on one thread and on two.
TEST(BlockSums, WholeRunsGiveThePointByPointBytes) {
  struct RunCase {
    const char* formula;
    AngleUnit unit;
    std::uint8_t interval;
    double start[3];
  };
  const RunCase cases[] = {
      {"k0*Exp(-(x-k1)^2/k2)", AngleUnit::Radian, 1, {2.0, 0.2, 1.0}},
      {"k0*Ln(x-k1)+k2", AngleUnit::Radian, 1, {1.0, -1.5, 0.5}},           // Ln fails left of k1
      {"k0*Sin(k1*x)+Sqrt(x)*k2", AngleUnit::Degree, 2, {1.0, 40.0, 0.1}},  // Sqrt fails below 0
  };
  const std::vector<Point> noise = RandomPoints(11, 1500);
  const SumSettings settings[4] = {
      {false, 0, 0, 0}, {true, 0, 0, 0}, {true, 1, 1, 1}, {true, 1, 1, 1, 0, false, 1}};
  for (const RunCase& c : cases) {
    SCOPED_TRACE(c.formula);
    std::string logs[4];
    std::vector<std::string> messages[4];
    double values[4][3];
    double last_slot[4];
    for (int s = 0; s < 4; ++s) {
      test::FitSetup setup(c.formula);
      test::PhaseHarness harness(setup);
      AppState& state = setup.state();
      for (std::size_t i = 0; i < noise.size(); ++i) {
        const double x = -2.0 + 4.0 * static_cast<double>(i) / static_cast<double>(noise.size());
        setup.AddPoint(x, 1.5 * std::exp(-(x - 0.3) * (x - 0.3)) + 0.1 * noise[i].y);
      }
      for (int k = 0; k < 3; ++k) {
        setup.SetTexts(k, FormatNumber(c.start[k]), "-10", "10", "0.0001");
      }
      state.conditions.angleUnit = c.unit;
      state.conditions.roughEstimation = 1;
      state.conditions.dataInterval = c.interval;
      EXPECT_EQ(RunWorker(state, harness.view, harness.log, settings[s]), kWorkerCompleted);
      harness.log.Close();
      logs[s] = setup.ReadFile("Calculation.ini");
      messages[s] = harness.view.messages;
      for (int v = 0; v < 3; ++v) values[s][v] = state.engine.CurrentValue[v];
      last_slot[s] = state.formula.slotValue[state.formula.evalLength_ - 1];
    }
    for (int s = 1; s < 4; ++s) {
      SCOPED_TRACE(s);
      EXPECT_EQ(logs[s], logs[0]);
      EXPECT_EQ(messages[s], messages[0]);
      for (int v = 0; v < 3; ++v) EXPECT_TRUE(SameBits(values[s][v], values[0][v]));
      EXPECT_TRUE(SameBits(last_slot[s], last_slot[0]));
    }
  }
}

// The runs of one state keep their sums' workers and the rough estimate's programs, and nothing
// that an earlier run computed: after the points changed in place (same records, same count) and
// between the ways of summing, each run gives the bytes of a run on a fresh state.
TEST(BlockSums, RunsOfOneStateCarryNothingIntoTheNext) {
  const std::vector<Point> noise = RandomPoints(41, 1500);
  auto fill = [&noise](test::FitSetup& setup, double centre) {
    for (std::size_t i = 0; i < noise.size(); ++i) {
      const double x = -2.0 + 4.0 * static_cast<double>(i) / static_cast<double>(noise.size());
      setup.AddPoint(x, 1.5 * std::exp(-(x - centre) * (x - centre)) + 0.1 * noise[i].y);
    }
  };
  auto prepare = [](test::FitSetup& setup) {
    const char* const starts[3] = {"2", "0.2", "1"};
    for (int k = 0; k < 3; ++k) setup.SetTexts(k, starts[k], "-10", "10", "0.0001");
    setup.state().conditions.roughEstimation = 1;
  };
  struct Outcome {
    std::string log;
    double values[3];
  };
  auto run = [](test::FitSetup& setup, SumSettings settings) {
    test::PhaseHarness harness(setup);
    EXPECT_EQ(RunWorker(setup.state(), harness.view, harness.log, settings), kWorkerCompleted);
    harness.log.Close();
    Outcome outcome{setup.ReadFile("Calculation.ini"), {}};
    for (int v = 0; v < 3; ++v) outcome.values[v] = setup.state().engine.CurrentValue[v];
    return outcome;
  };
  auto expect_same = [](const Outcome& a, const Outcome& b) {
    EXPECT_EQ(a.log, b.log);
    for (int v = 0; v < 3; ++v) EXPECT_TRUE(SameBits(a.values[v], b.values[v]));
  };
  const SumSettings two_threads{true, 1, 1, 1, 0, false, 1};  // announced sums too
  const SumSettings one_thread{true, 0, 0, 0};
  const SumSettings point_by_point{false, 0, 0, 0};

  // Fresh states: the peak at 0.3, and at -0.4.
  test::FitSetup first_fresh("k0*Exp(-(x-k1)^2/k2)");
  fill(first_fresh, 0.3);
  prepare(first_fresh);
  const Outcome first = run(first_fresh, two_threads);
  test::FitSetup moved_fresh("k0*Exp(-(x-k1)^2/k2)");
  fill(moved_fresh, -0.4);
  prepare(moved_fresh);
  const Outcome moved = run(moved_fresh, point_by_point);
  ASSERT_NE(first.log, moved.log);

  // One state: the same run twice, then the points moved in place, summed each way.
  test::FitSetup setup("k0*Exp(-(x-k1)^2/k2)");
  fill(setup, 0.3);
  AppState& state = setup.state();
  prepare(setup);
  expect_same(run(setup, two_threads), first);
  const void* const kept = state.run_resources.get();
  ASSERT_NE(kept, nullptr);
  prepare(setup);
  expect_same(run(setup, two_threads), first);
  EXPECT_EQ(state.run_resources.get(), kept);
  for (std::uint32_t i = 0; i < state.points.count; ++i) {
    const double x = state.points.records[i].x;
    state.points.records[i].y = 1.5 * std::exp(-(x + 0.4) * (x + 0.4)) + 0.1 * noise[i].y;
  }
  for (const SumSettings& settings : {two_threads, one_thread, point_by_point, two_threads}) {
    prepare(setup);
    expect_same(run(setup, settings), moved);
  }
  EXPECT_EQ(state.run_resources.get(), kept);
}

// Whole runs over random formulas, rough estimation on: the rough estimate's probes read the
// base evaluation's rows for the slots that do not depend on the probed constant, the lattice
// scans keep rows across probes; the logs, messages and results are those of the single-point
// path byte for byte.
TEST(BlockSums, WholeRunsOfRandomFormulasGiveThePointByPointBytes) {
  FormulaGenerator generator(777);
  const std::vector<Point> noise = RandomPoints(31, 700);
  const SumSettings settings[4] = {
      {false, 0, 0, 0}, {true, 0, 0, 0}, {true, 1, 1, 1}, {true, 1, 1, 1, 0, false, 1}};
  int runs = 0;
  int solved = 0;  // runs whose rough estimate got as far as solving its equations
  for (int formula_number = 0; runs < 24 && formula_number < 200; ++formula_number) {
    const std::string text = generator.Next();
    CompiledFormula check;
    if (CheckFormula(check, text, LeftSide::Y) != FormulaCheckCode::FormulaValid) continue;
    ++runs;
    SCOPED_TRACE(text);
    std::string logs[4];
    std::vector<std::string> messages[4];
    int exit_codes[4];
    for (int s = 0; s < 4; ++s) {
      test::FitSetup setup(text);
      test::PhaseHarness harness(setup);
      AppState& state = setup.state();
      for (const Point& p : noise) setup.AddPoint(p.x, p.y);
      const char* const starts[4] = {"0.5", "-0.25", "1.5", "0.75"};
      for (int k = 0; k < 4; ++k) setup.SetTexts(k, starts[k], "-4", "4", "0.01");
      state.conditions.angleUnit = runs % 2 == 0 ? AngleUnit::Radian : AngleUnit::Degree;
      state.conditions.roughEstimation = 1;
      exit_codes[s] = RunWorker(state, harness.view, harness.log, settings[s]);
      harness.log.Close();
      logs[s] = setup.ReadFile("Calculation.ini");
      messages[s] = harness.view.messages;
    }
    if (logs[0].find(*Utf8ToCp932(text::kLogMatricesAfter)) != std::string::npos) ++solved;
    for (int s = 1; s < 4; ++s) {
      SCOPED_TRACE(s);
      EXPECT_EQ(exit_codes[s], exit_codes[0]);
      EXPECT_EQ(logs[s], logs[0]);
      EXPECT_EQ(messages[s], messages[0]);
    }
    if (HasFailure()) return;
  }
  EXPECT_EQ(runs, 24);
  EXPECT_GE(solved, 6);
}

// What a later evaluation that moves one constant may take from an earlier one: the rows of the
// slots that do not depend on it and are read by one that does, and whether skipping those slots
// saves a library call (the LM residuals keep rows only then).
// A program prepared over the one before (which stores only what differs) is the program prepared
// afresh: through formulas of other lengths and operands, for a constant going from 0 to -0, and
// for an unusable program.
TEST(BlockProgram, PreparedOverAnotherIsTheFreshProgram) {
  const char* const texts[] = {"k0*Exp(-(x-k1)^2/k2)", "k0*x+k1", "(k0+k1*x)/(1+k2*x^2)",
                               "k0*Sin(k1*x+k2)+k3",   "k0*x*x",  "k0*x+k1"};
  BlockProgram reused;
  for (const char* text : texts) {
    CompiledFormula formula;
    ASSERT_EQ(CheckFormula(formula, text, LeftSide::NotSelected), FormulaCheckCode::FormulaValid);
    for (int step = 0; step < 3; ++step) {
      SCOPED_TRACE(testing::Message() << text << ", step " << step);
      for (int k = 0; k < 4; ++k) {
        if (formula.paramIndex[k] < kMaxConstants) {
          formula.paramValue[formula.paramIndex[k]] = k == 0 ? (step == 0 ? 0.0 : -0.0) : 0.5 + k;
        }
      }
      const std::uint8_t operation = formula.opCode[1];
      if (step == 2) formula.opCode[1] = 99;  // an operation no block evaluates
      PrepareBlockProgram(formula, reused);
      // Afresh: over a program whose every byte is 0xFF (every value a NaN), which no store
      // leaves in place.
      BlockProgram fresh;
      std::memset(static_cast<void*>(&fresh), 0xFF, sizeof fresh);
      PrepareBlockProgram(formula, fresh);
      formula.opCode[1] = operation;
      ASSERT_EQ(reused.length, fresh.length);
      ASSERT_EQ(reused.usable, fresh.usable);
      EXPECT_EQ(fresh.usable, step != 2);
      if (!fresh.usable) continue;
      EXPECT_EQ(reused.needs_x, fresh.needs_x);
      EXPECT_EQ(reused.needs_y, fresh.needs_y);
      for (int s = 0; s < fresh.length; ++s) {
        EXPECT_EQ(reused.code[s], fresh.code[s]);
        for (int side = 0; side < 2; ++side) {
          EXPECT_EQ(reused.row[side][s], fresh.row[side][s]);
          EXPECT_TRUE(SameBits(reused.value[side][s], fresh.value[side][s]));
          EXPECT_EQ(reused.constant[side][s], fresh.constant[side][s]);
        }
      }
    }
  }
}

TEST(KeptRowPlan, KeepsTheRowsThatTheVariedConstantsSlotsRead) {
  struct Case {
    const char* formula;
    int constant;  // k0, k1, ...
    bool planned;
    int rows;
    bool skips_a_call;
  };
  const Case cases[] = {
      {"k0*Exp(-(x-k1)^2/k2)", 0, true, 1, true},    // the Exp row
      {"k0*Exp(-(x-k1)^2/k2)", 1, false, 0, false},  // every slot depends on k1
      {"k0*Exp(-(x-k1)^2/k2)", 2, true, 1, false},   // -(x-k1)^2: a whole power, a negation
      {"k0*x^2.5+k1", 1, true, 1, true},             // x^2.5 calls the power routine
      {"k0*x^2+k1", 1, true, 1, false},              // x^2 is a product
      {"k0*Sin(x)+k1*Cos(x)", 0, true, 2, true},     // Sin(x), and k1*Cos(x) for the sum
      {"k0+x", 0, false, 0, false},                  // nothing without k0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.formula) + " k" + std::to_string(c.constant));
    CompiledFormula formula;
    ASSERT_EQ(CheckFormula(formula, c.formula, LeftSide::NotSelected),
              FormulaCheckCode::FormulaValid);
    ApplyAngleUnit(formula, AngleUnit::Radian);
    BlockProgram program;
    PrepareBlockProgram(formula, program);
    ASSERT_TRUE(program.usable);
    KeptRowPlan plan;
    EXPECT_EQ(MakeKeptRowPlan(program, formula.paramIndex[c.constant], plan), c.planned);
    EXPECT_EQ(plan.rows, c.rows);
    EXPECT_EQ(plan.skips_a_call, c.planned && c.skips_a_call);
    // Each kept row is a skipped slot.
    for (int k = 0; k < plan.rows; ++k) EXPECT_TRUE(plan.skip[plan.slot[k]]);
  }
}

}  // namespace
}  // namespace calvane
