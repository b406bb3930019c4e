#include "formula/block_evaluator.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <exception>

#include "formula/eval_functions.h"
#include "formula/number_text.h"

namespace calvane {
namespace {

using namespace eval;

// An operand of one slot over a block: a row of per-point values (a slot result, x or y), or one
// value shared by every point (a constant, a literal, a missing operand).
struct Operand {
  const double* row;
  double value;
};

// Where the operand `cell` of slot `s` comes from. False when it reads a slot cell that this
// evaluation has not written yet (its value would come from the previous evaluation): such
// programs are left to the single-point evaluator.
bool ResolveSource(const CompiledFormula& f, const double* cell, int s, std::int16_t& row,
                   double& value, std::int8_t& constant) {
  row = BlockProgram::kScalar;
  value = 0.0;
  constant = -1;
  if (cell == nullptr) return true;  // reads 0
  if (cell >= f.slotValue && cell < f.slotValue + kMaxSlots) {
    const auto slot = static_cast<int>(cell - f.slotValue);
    if (slot >= s) return false;
    row = static_cast<std::int16_t>(slot);
  } else if (cell == &f.x) {
    row = BlockProgram::kXRow;
  } else if (cell == &f.y) {
    row = BlockProgram::kYRow;
  } else {
    value = *cell;
    if (cell >= f.paramValue && cell < f.paramValue + kMaxConstants) {
      constant = static_cast<std::int8_t>(cell - f.paramValue);
    }
  }
  return true;
}

// out[i] = op(a[i], b[i]) for the four shapes of the operands. With kTestRange, whether every
// result lies within the evaluator's range, tested in the same loop while it is in a register.
template <bool kTestRange = false, class Op>
[[gnu::always_inline]] inline bool Map2(const Operand& a, const Operand& b, double* __restrict out,
                                        std::uint32_t n, Op op) {
  unsigned outside = 0;
  if (a.row != nullptr && b.row != nullptr) {
    const double* __restrict l = a.row;
    const double* __restrict r = b.row;
    for (std::uint32_t i = 0; i < n; ++i) {
      const double v = op(l[i], r[i]);
      out[i] = v;
      if constexpr (kTestRange) outside |= OutsideRange(v) ? 1u : 0u;
    }
  } else if (a.row != nullptr) {
    const double* __restrict l = a.row;
    const double r = b.value;
    for (std::uint32_t i = 0; i < n; ++i) {
      const double v = op(l[i], r);
      out[i] = v;
      if constexpr (kTestRange) outside |= OutsideRange(v) ? 1u : 0u;
    }
  } else if (b.row != nullptr) {
    const double l = a.value;
    const double* __restrict r = b.row;
    for (std::uint32_t i = 0; i < n; ++i) {
      const double v = op(l, r[i]);
      out[i] = v;
      if constexpr (kTestRange) outside |= OutsideRange(v) ? 1u : 0u;
    }
  } else {
    const double v = op(a.value, b.value);
    for (std::uint32_t i = 0; i < n; ++i) out[i] = v;
    if constexpr (kTestRange) outside = n > 0 && OutsideRange(v) ? 1u : 0u;
  }
  return outside == 0;
}

// Whether pred(a[i], b[i]) holds for any i.
template <class Pred>
[[gnu::always_inline]] inline bool Any2(const Operand& a, const Operand& b, std::uint32_t n,
                                        Pred pred) {
  unsigned any = 0;
  if (a.row != nullptr && b.row != nullptr) {
    for (std::uint32_t i = 0; i < n; ++i) any |= pred(a.row[i], b.row[i]) ? 1u : 0u;
  } else if (a.row != nullptr) {
    for (std::uint32_t i = 0; i < n; ++i) any |= pred(a.row[i], b.value) ? 1u : 0u;
  } else if (b.row != nullptr) {
    for (std::uint32_t i = 0; i < n; ++i) any |= pred(a.value, b.row[i]) ? 1u : 0u;
  } else {
    any = pred(a.value, b.value) ? 1u : 0u;
  }
  return any != 0;
}

// out[i] = op(a[i]); with kTestRange, whether every result lies within the evaluator's range.
template <bool kTestRange = false, class Op>
[[gnu::always_inline]] inline bool Map1(const Operand& a, double* __restrict out, std::uint32_t n,
                                        Op op) {
  unsigned outside = 0;
  if (a.row != nullptr) {
    const double* __restrict r = a.row;
    for (std::uint32_t i = 0; i < n; ++i) {
      const double v = op(r[i]);
      out[i] = v;
      if constexpr (kTestRange) outside |= OutsideRange(v) ? 1u : 0u;
    }
  } else {
    const double v = op(a.value);
    for (std::uint32_t i = 0; i < n; ++i) out[i] = v;
    if constexpr (kTestRange) outside = n > 0 && OutsideRange(v) ? 1u : 0u;
  }
  return outside == 0;
}

// Eight doubles, as one 512-bit vector, two of 256 or four of 128 bits: the loops' vector width
// decides, each element is the same IEEE operation.
using Chunk = double __attribute__((vector_size(64)));
using ChunkBits = std::int64_t __attribute__((vector_size(64)));
constexpr std::uint32_t kChunkPoints = 8;

[[gnu::always_inline]] inline Chunk LoadChunk(const double* from) {
  Chunk v;
  std::memcpy(&v, from, sizeof v);
  return v;
}
[[gnu::always_inline]] inline Chunk SameInChunk(double v) { return Chunk{v, v, v, v, v, v, v, v}; }

// Lanes whose value is outside [-1e302, 1e302] or not a number (OutsideRange) are set: the bits of
// the magnitude order as the magnitudes do, and every non-number's lie above infinity's.
[[gnu::always_inline]] inline ChunkBits OutsideRangeLanes(Chunk v) {
  std::int64_t limit = 0;
  const double range_limit = kRangeLimit;
  std::memcpy(&limit, &range_limit, sizeof limit);
  const ChunkBits magnitude = reinterpret_cast<ChunkBits>(v) & INT64_MAX;
  return magnitude > limit;
}

// Map2 over a block whose arithmetic alone leaves the processor idle while a chain of additions
// waits each for the last: after every `stride` chunks of kChunkPoints points, `chain` adds its
// next kRunTerms terms, so that the evaluation runs in the shadow of the additions instead of after
// them. At least one operand is a row. With kTestRange, whether every result lies within the
// evaluator's range.
template <bool kTestRange, class Op>
[[gnu::always_inline]] inline bool Map2Chained(const Operand& a, const Operand& b,
                                               double* __restrict out, std::uint32_t n, Op op,
                                               BlockTermChain& chain, std::uint32_t stride) {
  constexpr std::uint32_t kRunTerms = 8;
  const double* __restrict l = a.row;
  const double* __restrict r = b.row;
  const Chunk l_value = SameInChunk(a.value);
  const Chunk r_value = SameInChunk(b.value);
  ChunkBits outside{};
  auto chunk = [&](std::uint32_t i) __attribute__((always_inline)) {
    const Chunk v =
        op(l != nullptr ? LoadChunk(l + i) : l_value, r != nullptr ? LoadChunk(r + i) : r_value);
    std::memcpy(out + i, &v, sizeof v);
    if constexpr (kTestRange) outside |= OutsideRangeLanes(v);
  };
  // The groups of chunks that add a whole run each, in stretches of kStretchRuns runs. The running
  // sum lives in one register of the inner loop, with nothing but the additions between one term
  // and the next: the early stop is tested after each stretch, and a stretch that reached it is
  // added again term by term from its start, to stop at the very term a test per term stops at.
  constexpr std::uint32_t kStretchRuns = 8;
  const std::uint32_t group = stride * kChunkPoints;
  const std::uint32_t runs = (chain.end - chain.next) / kRunTerms;
  const std::uint32_t groups = n / group;
  const std::uint32_t full = (runs < groups ? runs : groups) * group;
  const double* __restrict observed = chain.observed;
  const double* __restrict values = chain.values;
  const bool early_stop = chain.early_stop;
  const double stop_at = chain.stop_at;
  double sum = chain.sum;
  std::uint32_t next = chain.next;
  std::uint32_t i = 0;
  while (i < full) {
    const double stretch_sum = sum;
    const std::uint32_t stretch_next = next;
    const std::uint32_t stretch_end =
        full - i < kStretchRuns * group ? full : i + kStretchRuns * group;
    while (i < stretch_end) {
      for (std::uint32_t c = 0; c < stride; ++c, i += kChunkPoints) chunk(i);
      for (std::uint32_t k = 0; k < kRunTerms; ++k) {
        const double residual = observed[next + k] - values[next + k];
        sum += residual * residual;
      }
      next += kRunTerms;
    }
    if (early_stop && !(sum < stop_at)) [[unlikely]] {
      chain.sum = stretch_sum;
      chain.next = stretch_next;
      while (chain.next < next && !chain.stopped) chain.Step();
      break;
    }
    chain.sum = sum;
    chain.next = next;
  }
  // Then the chunks left. The terms left, if any (a few when the loops' groups do not divide the
  // block, or those after a stretch that reached a non-number), are FinishBlockTermChain's.
  for (; i + kChunkPoints <= n; i += kChunkPoints) chunk(i);
  bool inside = true;
  if constexpr (kTestRange) {
    for (std::uint32_t k = 0; k < kChunkPoints; ++k) inside &= outside[k] == 0;
  }
  for (; i < n; ++i) {
    const double v = op(l != nullptr ? l[i] : a.value, r != nullptr ? r[i] : b.value);
    out[i] = v;
    if constexpr (kTestRange) inside &= !OutsideRange(v);
  }
  return inside;
}

template <class Pred>
[[gnu::always_inline]] inline bool Any1(const Operand& a, std::uint32_t n, Pred pred) {
  unsigned any = 0;
  if (a.row != nullptr) {
    for (std::uint32_t i = 0; i < n; ++i) any |= pred(a.row[i]) ? 1u : 0u;
  } else {
    any = pred(a.value) ? 1u : 0u;
  }
  return any != 0;
}

// Binary powering by a whole exponent shared by the block, row by row in the order IntegerPower
// multiplies, so every element is bit for bit IntegerPower(base, exponent).
[[gnu::always_inline]] inline void IntegerPowerRows(const Operand& base, std::int64_t exponent,
                                                    double* __restrict out, double* square,
                                                    std::uint32_t n) {
  if (base.row == nullptr) {
    const double v = IntegerPower(base.value, exponent);
    for (std::uint32_t i = 0; i < n; ++i) out[i] = v;
    return;
  }
  const double* __restrict b = base.row;
  if (exponent == 2) {  // 1 * (b*b)
    for (std::uint32_t i = 0; i < n; ++i) out[i] = b[i] * b[i];
    return;
  }
  if (exponent == 3) {  // (1 * b) * (b*b)
    for (std::uint32_t i = 0; i < n; ++i) out[i] = b[i] * (b[i] * b[i]);
    return;
  }
  std::uint64_t bits = exponent < 0 ? 0 - static_cast<std::uint64_t>(exponent)
                                    : static_cast<std::uint64_t>(exponent);
  // 1 times a value is that value exactly, so the first factor is copied, not multiplied.
  bool started = false;
  const double* running = base.row;  // the running square, the base at first
  while (bits != 0) {
    if (bits & 1u) {
      if (started) {
        for (std::uint32_t i = 0; i < n; ++i) out[i] *= running[i];
      } else {
        for (std::uint32_t i = 0; i < n; ++i) out[i] = running[i];
        started = true;
      }
    }
    bits >>= 1;
    if (bits != 0) {
      for (std::uint32_t i = 0; i < n; ++i) square[i] = running[i] * running[i];
      running = square;
    }
  }
  if (!started) {
    for (std::uint32_t i = 0; i < n; ++i) out[i] = 1.0;
  }
  if (exponent < 0) {
    for (std::uint32_t i = 0; i < n; ++i) out[i] = 1.0 / out[i];
  }
}

bool OutsideUnit(double r) { return !(r >= -1.0 && r <= 1.0); }

}  // namespace

BlockWorkspace::BlockWorkspace()
    : fixed_(new double[std::size_t{3} * kBlockPoints]),
      next_values_(new double[kBlockPoints]) {}  // every row is written before it is read

bool BlockWorkspace::ReserveSlots(int slots) {
  if (slots <= slot_capacity_) return true;
  // Room for a few more than asked, so that a longer program seldom grows the rows again.
  const int capacity = slots + 8 < kMaxSlots ? slots + 8 : kMaxSlots;
  try {
    slots_.reset(new double[static_cast<std::size_t>(capacity) * kBlockPoints]);
  } catch (const std::exception&) {
    slot_capacity_ = 0;
    return false;
  }
  slot_capacity_ = capacity;
  return true;
}

namespace {

// Stores `value` into `field` unless it holds those bits already.
template <class T>
void StoreIfChanged(T& field, T value) {
  if (std::memcmp(&field, &value, sizeof value) != 0) field = value;
}

}  // namespace

void PrepareBlockProgram(const CompiledFormula& f, BlockProgram& p) {
  // A program is prepared again before every sum, where mostly one constant has moved. Storing
  // only what changed leaves the program's other cache lines as they are, so that a thread that
  // read them for the last sum keeps its copies and this one does not wait for them to be given
  // up: rewriting the whole program made each two-thread sum wait about 230 ticks here.
  int length = 1;
  while (length < kMaxSlots && f.opCode[length] != 0) ++length;
  StoreIfChanged(p.length, length);
  bool needs_x = false;
  bool needs_y = false;
  bool usable = true;
  for (int s = 0; s < length && usable; ++s) {
    const std::uint8_t code = f.opCode[s];
    if (code < 1 || code > 22) {  // unregistered: a message box
      usable = false;
      break;
    }
    StoreIfChanged(p.code[s], code);
    const double* const cells[2] = {f.leftOperand[s], f.rightOperand[s]};
    for (int side = 0; side < 2; ++side) {
      std::int16_t row = 0;
      double value = 0.0;
      std::int8_t constant = 0;
      if (!ResolveSource(f, cells[side], s, row, value, constant)) {
        usable = false;
        break;
      }
      StoreIfChanged(p.row[side][s], row);
      StoreIfChanged(p.value[side][s], value);
      StoreIfChanged(p.constant[side][s], constant);
      needs_x |= row == BlockProgram::kXRow;
      needs_y |= row == BlockProgram::kYRow;
    }
  }
  StoreIfChanged(p.needs_x, needs_x);
  StoreIfChanged(p.needs_y, needs_y);
  StoreIfChanged(p.usable, usable);
}

void CopyBlockProgram(const BlockProgram& from, BlockProgram& to) {
  const auto n = static_cast<std::size_t>(from.length);
  to.length = from.length;
  to.usable = from.usable;
  to.needs_x = from.needs_x;
  to.needs_y = from.needs_y;
  std::memcpy(to.code, from.code, n * sizeof from.code[0]);
  for (int side = 0; side < 2; ++side) {
    std::memcpy(to.row[side], from.row[side], n * sizeof from.row[side][0]);
    std::memcpy(to.value[side], from.value[side], n * sizeof from.value[side][0]);
    std::memcpy(to.constant[side], from.constant[side], n * sizeof from.constant[side][0]);
  }
}

std::uint64_t BlockProgramKey(const BlockProgram& p) {
  // FNV-1a over each slot's operation, rows and scalar values (bits), the parts that
  // SameProgramExcept compares when no constant is excepted.
  std::uint64_t key = 14695981039346656037ull;
  auto mix = [&key](std::uint64_t v) { key = (key ^ v) * 1099511628211ull; };
  mix(static_cast<std::uint64_t>(p.length));
  for (int s = 0; s < p.length; ++s) {
    mix(p.code[s]);
    for (int side = 0; side < 2; ++side) {
      const std::int16_t row = p.row[side][s];
      mix(static_cast<std::uint16_t>(row));
      if (row == BlockProgram::kScalar) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &p.value[side][s], sizeof bits);
        mix(bits);
      }
    }
  }
  return key;
}

bool SameProgramExcept(const BlockProgram& a, const BlockProgram& b, int except) {
  if (!a.usable || !b.usable || a.length != b.length) return false;
  for (int s = 0; s < a.length; ++s) {
    if (a.code[s] != b.code[s]) return false;
    for (int side = 0; side < 2; ++side) {
      if (a.row[side][s] != b.row[side][s] || a.constant[side][s] != b.constant[side][s]) {
        return false;
      }
      if (a.row[side][s] == BlockProgram::kScalar && a.constant[side][s] != except &&
          std::memcmp(&a.value[side][s], &b.value[side][s], sizeof(double)) != 0) {
        return false;
      }
    }
  }
  return true;
}

int SlotsDependingOn(const BlockProgram& p, int constant, bool* depends) {
  int independent = 0;
  for (int s = 0; s < p.length; ++s) {
    bool d = false;
    for (int side = 0; side < 2; ++side) {
      const std::int16_t row = p.row[side][s];
      if (row == BlockProgram::kScalar) {
        d |= p.constant[side][s] == constant;
      } else if (row < BlockProgram::kXRow) {
        d |= depends[row];
      }
    }
    depends[s] = d;
    if (!d) ++independent;
  }
  return independent;
}

namespace {

// 7..22 (the functions) and 5 (a power) unless by a whole exponent call a library routine.
bool SlotCallsALibraryRoutine(const BlockProgram& p, int s) {
  const bool whole_power = p.row[1][s] == BlockProgram::kScalar && PowersBySquaring(p.value[1][s]);
  return p.code[s] >= 7 || (p.code[s] == 5 && !whole_power);
}

}  // namespace

bool ComputesALibraryCall(const BlockProgram& p, const bool* skip) {
  for (int s = 0; s < p.length; ++s) {
    if ((skip == nullptr || !skip[s]) && SlotCallsALibraryRoutine(p, s)) return true;
  }
  return false;
}

std::uint32_t ChainRides(const BlockProgram& p, const bool* skip) {
  // A light program: no library call, and at most kMaxRiders arithmetic loops on rows. Beside
  // calls, or many vector operations, the chain costs little anyway: the processor runs it in the
  // shadow of the work that follows it, when it is added after the evaluation. (Riding the calls
  // made the Gaussian's sums up to a third slower, riding the loops of a rational function a
  // sixteenth.)
  constexpr std::uint32_t kMaxRiders = 4;
  if (ComputesALibraryCall(p, skip)) return 0;
  std::uint32_t riders = 0;
  for (int s = 0; s < p.length; ++s) {
    if (skip != nullptr && skip[s]) continue;
    const bool rows = p.row[0][s] != BlockProgram::kScalar || p.row[1][s] != BlockProgram::kScalar;
    riders += p.code[s] >= 1 && p.code[s] <= 4 && rows ? 1u : 0u;
  }
  // Runs of eight terms: one after every chunk of each loop when there is one loop, after every
  // other with two, and so on, so that the runs end about with the last loop.
  return riders <= kMaxRiders ? riders : 0;
}

bool MakeKeptRowPlan(const BlockProgram& p, int constant, KeptRowPlan& plan) {
  plan.rows = 0;
  plan.skips_a_call = false;
  bool depends[kMaxSlots];
  if (!p.usable || SlotsDependingOn(p, constant, depends) == 0) return false;
  const int length = p.length;
  bool needed[kMaxSlots] = {};
  for (int s = 0; s < length; ++s) {
    if (!depends[s]) continue;
    for (int side = 0; side < 2; ++side) {
      const std::int16_t row = p.row[side][s];
      if (row >= 0 && row < BlockProgram::kXRow && !depends[row]) needed[row] = true;
    }
  }
  if (!depends[length - 1]) needed[length - 1] = true;
  int rows = 0;
  for (int s = 0; s < length; ++s) rows += needed[s] ? 1 : 0;
  if (rows == 0 || rows > KeptRows::kMaxRows) return false;
  int k = 0;
  for (int s = 0; s < length; ++s) {
    plan.skip[s] = !depends[s];
    plan.skips_a_call |= !depends[s] && SlotCallsALibraryRoutine(p, s);
    plan.kept_index[s] = -1;
    if (needed[s]) {
      plan.kept_index[s] = static_cast<std::int8_t>(k);
      plan.slot[k] = static_cast<std::int16_t>(s);
      ++k;
    }
  }
  plan.rows = rows;
  return true;
}

void KeepBlockRows(const BlockProgram& p, const KeptRowPlan& plan, BlockWorkspace& workspace,
                   const double* values, std::uint32_t count, double* const* to) {
  for (int k = 0; k < plan.rows; ++k) {
    // The last slot's values are in `values`, the others in their rows.
    const double* const from = plan.slot[k] == p.length - 1
                                   ? values
                                   : workspace.Row(static_cast<std::uint32_t>(plan.slot[k]));
    std::memcpy(to[k], from, sizeof(double) * count);
  }
}

KeptRows ReadKeptRows(const KeptRowPlan& plan, const double* const* from) {
  KeptRows kept;
  kept.skip = plan.skip;
  kept.kept_index = plan.kept_index;
  for (int k = 0; k < plan.rows; ++k) kept.kept[k] = from[k];
  return kept;
}

namespace {

// The body of RunBlockProgram, compiled below once per vector width.
[[gnu::always_inline]] inline bool RunBlockProgramBody(const BlockProgram& p, const double* xs,
                                                       const double* ys, std::uint32_t count,
                                                       BlockWorkspace& w, double* values,
                                                       const KeptRows* kept, BlockTermChain* chain,
                                                       bool* in_range) {
  const std::uint32_t n = count;
  const int length = p.length;
  const bool* const skip = kept != nullptr ? kept->skip : nullptr;
  // The row (or value) an operand reads in this block.
  auto row_of = [&](std::int16_t row) -> const double* {
    if (row == BlockProgram::kXRow) return xs;
    if (row == BlockProgram::kYRow) return ys;
    if (skip != nullptr && skip[row]) return kept->kept[kept->kept_index[row]];
    return w.Row(static_cast<std::uint32_t>(row));
  };
  auto source = [&](int side, int s) -> Operand {
    const std::int16_t row = p.row[side][s];
    if (row == BlockProgram::kScalar) return Operand{nullptr, p.value[side][s]};
    return Operand{row_of(row), 0.0};
  };
  const int last_slot = length - 1;
  // Asked per block, not once per sum: a block that reads kept rows skips slots that another
  // block of the same sum computes, and with them perhaps every call.
  const std::uint32_t chain_stride =
      chain != nullptr && chain->next < chain->end ? ChainRides(p, skip) : 0;
  bool bad = false;
  // Whether the last slot's arithmetic found every value within range on the way.
  bool tested_in_range = false;
  for (int s = 0; s < length; ++s) {
    if (skip != nullptr && skip[s]) continue;
    const std::uint8_t code = p.code[s];
    const Operand l = source(0, s);
    const Operand r = source(1, s);
    // The last slot writes the block's values directly; the running squares of binary powering
    // go to a row that the operation does not read.
    double* const out = s == last_slot ? values : w.Row(static_cast<std::uint32_t>(s));
    double* const scratch = s == last_slot ? w.Row(static_cast<std::uint32_t>(s)) : values;
    // An arithmetic last slot tests the range of the values in its own loop, when asked to.
    const bool test_range = s == last_slot && in_range != nullptr;
    auto map2 = [&](auto op) __attribute__((always_inline)) {
      if (chain_stride > 0 && (l.row != nullptr || r.row != nullptr) && chain->next < chain->end) {
        if (test_range) {
          tested_in_range = Map2Chained<true>(l, r, out, n, op, *chain, chain_stride);
        } else {
          Map2Chained<false>(l, r, out, n, op, *chain, chain_stride);
        }
      } else if (test_range) {
        tested_in_range = Map2<true>(l, r, out, n, op);
      } else {
        Map2(l, r, out, n, op);
      }
    };
    auto map1 = [&](auto op) __attribute__((always_inline)) {
      if (test_range) {
        tested_in_range = Map1<true>(r, out, n, op);
      } else {
        Map1(r, out, n, op);
      }
    };
    switch (code) {
      case 1:
        map2([](auto a, auto b) { return a + b; });
        break;
      case 2:
        map2([](auto a, auto b) { return a - b; });
        break;
      case 3:
        map2([](auto a, auto b) { return a * b; });
        break;
      case 4:
        bad |= Any2(l, r, n, [](double, double b) { return b == 0.0 || std::isnan(b); });
        map2([](auto a, auto b) { return a / b; });
        break;
      case 5:
        if (r.row == nullptr && PowersBySquaring(r.value)) {
          IntegerPowerRows(l, static_cast<std::int64_t>(r.value), out, scratch, n);
        } else {
          bad |= Any2(l, r, n, [](double a, double b) { return !(a >= 0.0) && !IsWholeInt32(b); });
          Map2(l, r, out, n, [](double a, double b) { return Power(a, b); });
        }
        break;
      case 6:
        map1([](double a) { return -a; });
        break;
      case 7:
        bad |= Any1(r, n, [](double a) { return !(a >= 0.0); });
        map1([](double a) { return SqrtNonNegative(a); });
        break;
      case 8:
        Map1(r, out, n, [routine = Routines().exp](double a) { return routine(a); });
        break;
      case 9:
        bad |= Any1(r, n, [](double a) { return !(a > 0.0); });
        if (!bad) Map1(r, out, n, [](double a) { return LogTen(a); });
        break;
      case 10:
        bad |= Any1(r, n, [](double a) { return !(a > 0.0); });
        if (!bad) Map1(r, out, n, [routine = Routines().log](double a) { return routine(a); });
        break;
      case 11:
        Map1(r, out, n, [](double a) { return std::sin(a); });
        break;
      case 12:
        Map1(r, out, n, [](double a) { return std::cos(a); });
        break;
      case 13:
        Map1(r, out, n, [](double a) { return std::tan(a); });
        break;
      case 14:
        bad |= Any1(r, n, OutsideUnit);
        if (!bad) Map1(r, out, n, AsinRadians);
        break;
      case 15:
        bad |= Any1(r, n, OutsideUnit);
        if (!bad) Map1(r, out, n, AcosRadians);
        break;
      case 16:
        Map1(r, out, n, [](double a) { return std::atan(a); });
        break;
      case 17:
        Map1(r, out, n, SinDegrees);
        break;
      case 18:
        Map1(r, out, n, CosDegrees);
        break;
      case 19:
        Map1(r, out, n, TanDegrees);
        break;
      case 20:
        bad |= Any1(r, n, OutsideUnit);
        if (!bad) Map1(r, out, n, AsinDegrees);
        break;
      case 21:
        bad |= Any1(r, n, OutsideUnit);
        if (!bad) Map1(r, out, n, AcosDegrees);
        break;
      default:
        Map1(r, out, n, AtanDegrees);
        break;  // 22
    }
    // A domain error anywhere sends the whole block to the single-point evaluator.
    if (bad) return false;
  }
  if (skip != nullptr && skip[last_slot]) {
    const double* __restrict last = row_of(static_cast<std::int16_t>(last_slot));
    for (std::uint32_t i = 0; i < n; ++i) values[i] = last[i];
  }
  if (in_range != nullptr) *in_range = tested_in_range;
  return true;
}

using RunBlockProgramFunction = bool (*)(const BlockProgram&, const double*, const double*,
                                         std::uint32_t, BlockWorkspace&, double*, const KeptRows*,
                                         BlockTermChain*, bool*);

// The same loops for processors with 512- and 256-bit vectors. The vector width changes how many
// elements one instruction handles, never an element's result: each is the same IEEE operation
// (and no fused multiply-add, see the build flags).
[[gnu::target("avx512f")]] bool RunBlockProgramAvx512(const BlockProgram& p, const double* xs,
                                                      const double* ys, std::uint32_t count,
                                                      BlockWorkspace& w, double* values,
                                                      const KeptRows* kept, BlockTermChain* chain,
                                                      bool* in_range) {
  return RunBlockProgramBody(p, xs, ys, count, w, values, kept, chain, in_range);
}

[[gnu::target("avx2")]] bool RunBlockProgramAvx2(const BlockProgram& p, const double* xs,
                                                 const double* ys, std::uint32_t count,
                                                 BlockWorkspace& w, double* values,
                                                 const KeptRows* kept, BlockTermChain* chain,
                                                 bool* in_range) {
  return RunBlockProgramBody(p, xs, ys, count, w, values, kept, chain, in_range);
}

bool RunBlockProgramBaseline(const BlockProgram& p, const double* xs, const double* ys,
                             std::uint32_t count, BlockWorkspace& w, double* values,
                             const KeptRows* kept, BlockTermChain* chain, bool* in_range) {
  return RunBlockProgramBody(p, xs, ys, count, w, values, kept, chain, in_range);
}

// Whether every value of a block is within the evaluator's range and, with `check_overflow`,
// every residual observed - value below `overflow_limit`: then the block's terms need no test
// but the early stop's. Reads only, in vectors.
inline bool BlockPassesBody(const double* __restrict values, const double* __restrict observed,
                            std::uint32_t n, bool check_overflow, double overflow_limit) {
  int bad = 0;
  if (check_overflow) {
    for (std::uint32_t i = 0; i < n; ++i) {
      bad |= static_cast<int>(OutsideRange(values[i]));
      bad |= static_cast<int>(!(std::fabs(observed[i] - values[i]) < overflow_limit));
    }
  } else {
    for (std::uint32_t i = 0; i < n; ++i) {
      bad |= static_cast<int>(OutsideRange(values[i]));
    }
  }
  return bad == 0;
}

using BlockPassesFunction = bool (*)(const double*, const double*, std::uint32_t, bool, double);

[[gnu::target("avx512f")]] bool BlockPassesAvx512(const double* values, const double* observed,
                                                  std::uint32_t n, bool check_overflow,
                                                  double overflow_limit) {
  return BlockPassesBody(values, observed, n, check_overflow, overflow_limit);
}

[[gnu::target("avx2")]] bool BlockPassesAvx2(const double* values, const double* observed,
                                             std::uint32_t n, bool check_overflow,
                                             double overflow_limit) {
  return BlockPassesBody(values, observed, n, check_overflow, overflow_limit);
}

bool BlockPassesBaseline(const double* values, const double* observed, std::uint32_t n,
                         bool check_overflow, double overflow_limit) {
  return BlockPassesBody(values, observed, n, check_overflow, overflow_limit);
}

// The loops of one vector width.
struct BlockLoops {
  RunBlockProgramFunction run;
  BlockPassesFunction passes;
};
constexpr BlockLoops kAvx512Loops{RunBlockProgramAvx512, BlockPassesAvx512};
constexpr BlockLoops kAvx2Loops{RunBlockProgramAvx2, BlockPassesAvx2};
constexpr BlockLoops kBaselineLoops{RunBlockProgramBaseline, BlockPassesBaseline};

const BlockLoops* LoopsOfWidth(BlockLoopWidth width) {
  switch (width) {
    case BlockLoopWidth::Avx512:
      return &kAvx512Loops;
    case BlockLoopWidth::Avx2:
      return &kAvx2Loops;
    default:
      return &kBaselineLoops;
  }
}

bool ProcessorHas(BlockLoopWidth width) {
  __builtin_cpu_init();
  switch (width) {
    case BlockLoopWidth::Avx512:
      return __builtin_cpu_supports("avx512f");
    case BlockLoopWidth::Avx2:
      return __builtin_cpu_supports("avx2");
    default:
      return true;
  }
}

BlockLoopWidth Widest() {
  for (BlockLoopWidth w : {BlockLoopWidth::Avx512, BlockLoopWidth::Avx2}) {
    if (ProcessorHas(w)) return w;
  }
  return BlockLoopWidth::Baseline;
}

// Chosen once, when the program starts, in ordinary code (not by the loader, whose early calls
// the sanitizers cannot follow). Only tests choose another width, between sums.
std::atomic<const BlockLoops*> block_loops{LoopsOfWidth(Widest())};

}  // namespace

bool RunBlockProgram(const BlockProgram& p, const double* xs, const double* ys, std::uint32_t count,
                     BlockWorkspace& w, double* values, const KeptRows* kept, BlockTermChain* chain,
                     bool* in_range) {
  if (in_range != nullptr) *in_range = false;
  // Without room for the rows, the block goes point by point.
  if (!w.ReserveSlots(p.length)) return false;
  return block_loops.load(std::memory_order_relaxed)
      ->run(p, xs, ys, count, w, values, kept, chain, in_range);
}

BlockLoopWidth WidestBlockLoopWidth() { return Widest(); }

bool SelectBlockLoopWidth(BlockLoopWidth width) {
  if (!ProcessorHas(width)) return false;
  block_loops.store(LoopsOfWidth(width), std::memory_order_relaxed);
  return true;
}

void CopyPointRows(const Point* points, std::uint32_t interval, std::uint32_t count, double* xs,
                   double* ys) {
  for (std::uint32_t i = 0; i < count; ++i) {
    const Point& point = points[std::size_t{i} * interval];
    xs[i] = point.x;
    ys[i] = point.y;
  }
}

bool EvaluateBlock(const CompiledFormula& f, const Point* points, std::uint32_t interval,
                   std::uint32_t count, BlockWorkspace& w, double* values) {
  BlockProgram program;
  PrepareBlockProgram(f, program);
  if (!program.usable) return false;
  double* xs = nullptr;
  double* ys = nullptr;
  if (program.needs_x) {
    xs = w.Row(static_cast<std::uint32_t>(BlockProgram::kXRow));
    for (std::uint32_t i = 0; i < count; ++i) xs[i] = points[std::size_t{i} * interval].x;
  }
  if (program.needs_y) {
    ys = w.Row(static_cast<std::uint32_t>(BlockProgram::kYRow));
    for (std::uint32_t i = 0; i < count; ++i) ys[i] = points[std::size_t{i} * interval].y;
  }
  return RunBlockProgram(program, xs, ys, count, w, values);
}

std::uint32_t SumPointCount(const SumOfSquaresTask& task) {
  if (task.count == 0 || task.points == nullptr) return 0;
  const std::uint32_t interval = task.interval == 0 ? 1u : task.interval;
  return (task.count - 1) / interval + 1;
}

void AddBlockTerms(CompiledFormula& formula, const SumOfSquaresTask& task, std::uint32_t block,
                   const double* values, bool clean, BlockSumCursor& cursor, std::int8_t& status,
                   FormulaMessages* messages) {
  AddBlockTermsFrom(formula, task, block, values, nullptr, clean, cursor, status, messages);
}

bool StartBlockTermChain(const SumOfSquaresTask& task, std::uint32_t block, const double* values,
                         const double* observed, bool clean, const BlockSumCursor& cursor,
                         BlockTermChain& chain, bool in_range) {
  if (cursor.stopped || !clean || observed == nullptr) return false;
  const std::uint32_t total = SumPointCount(task);
  const std::uint32_t first = block * kBlockPoints;
  if (first >= total) return false;
  const std::uint32_t n = total - first < kBlockPoints ? total - first : kBlockPoints;
  // Every value in range and no residual at the overflow limit, tested in vectors (unless the
  // evaluation tested the range and no overflow test is asked for): the terms need no test but
  // the early stop's.
  if ((!in_range || task.check_overflow) &&
      !block_loops.load(std::memory_order_relaxed)
           ->passes(values, observed, n, task.check_overflow, task.overflow_limit)) {
    return false;
  }
  chain.observed = observed;
  chain.values = values;
  chain.next = 0;
  chain.end = n;
  chain.sum = cursor.sum;
  chain.stop_at = task.stop_at;
  chain.early_stop = task.early_stop;
  chain.stopped = false;
  return true;
}

void FinishBlockTermChain(const SumOfSquaresTask& task, std::uint32_t block, BlockTermChain& chain,
                          BlockSumCursor& cursor) {
  const double* const observed = chain.observed;
  const double* const values = chain.values;
  double sum = chain.sum;
  std::uint32_t j = chain.next;  // one past the last term added
  bool stopped = chain.stopped;
  if (!stopped) {
    // No call in these loops, so the sum stays in a register and they run at the pace of the
    // additions.
    const std::uint32_t n = chain.end;
    auto add_terms = [&](std::uint32_t from, std::uint32_t to) {
      for (std::uint32_t i = from; i < to; ++i) {
        const double residual = observed[i] - values[i];
        sum += residual * residual;
      }
    };
    if (!chain.early_stop) {
      add_terms(j, n);
      j = n;
    } else {
      // The stop is tested after every kStopRun terms rather than after each: though off the
      // additions' path, a test per term made whole runs of a rational function a tenth slower.
      // A run that ends at or beyond the stop (or at a non-number) is added again term by term
      // from its start, to stop at the very term a test per term stops at, with the same sum.
      const double stop_at = chain.stop_at;
      constexpr std::uint32_t kStopRun = 8;
      while (j < n && !stopped) {
        const std::uint32_t run_end = n - j < kStopRun ? n : j + kStopRun;
        const double before = sum;
        add_terms(j, run_end);
        if (sum < stop_at) [[likely]] {
          j = run_end;
          continue;
        }
        sum = before;
        while (j < run_end && !stopped) {
          add_terms(j, j + 1);
          ++j;
          stopped = sum >= stop_at;
        }
      }
    }
  }
  chain.sum = sum;
  chain.next = j;
  chain.stopped = stopped;
  const std::uint32_t interval = task.interval == 0 ? 1u : task.interval;
  cursor.sum = sum;
  cursor.stopped = stopped;
  cursor.last_point = (block * kBlockPoints + j - 1) * interval;
  cursor.state_behind = true;
}

void AddBlockTermsFrom(CompiledFormula& formula, const SumOfSquaresTask& task, std::uint32_t block,
                       const double* values, const double* observed_row, bool clean,
                       BlockSumCursor& cursor, std::int8_t& status, FormulaMessages* messages,
                       bool in_range) {
  if (cursor.stopped) return;
  BlockTermChain chain;
  if (StartBlockTermChain(task, block, values, observed_row, clean, cursor, chain, in_range)) {
    FinishBlockTermChain(task, block, chain, cursor);
    return;
  }
  const std::uint32_t interval = task.interval == 0 ? 1u : task.interval;
  const std::uint32_t total = SumPointCount(task);
  const std::uint32_t first = block * kBlockPoints;
  if (first >= total) return;
  const std::uint32_t n = total - first < kBlockPoints ? total - first : kBlockPoints;
  const Point* const points = task.points;
  double Point::*const observed = task.observed_is_x ? &Point::x : &Point::y;
  const bool early_stop = task.early_stop;
  const double stop_at = task.stop_at;
  const bool check_overflow = task.check_overflow;
  const double overflow_limit = task.overflow_limit;
  double sum = cursor.sum;
  std::uint32_t point = first * interval;
  if (clean) {
    // No call in this loop, so the sum stays in a register; the tests beside the additions are
    // branches that are not taken, so the loop runs at the pace of the additions. The final range
    // test of the evaluator is made here, on the way: a value outside [-1e302, 1e302] (or a
    // non-number) sends the block back to the single-point evaluator from its first point.
    for (std::uint32_t j = 0; j < n; ++j, point += interval) {
      const double model = values[j];
      if (OutsideRange(model)) [[unlikely]] {
        clean = false;
        cursor.stopped = false;
        sum = cursor.sum;
        point = first * interval;
        break;
      }
      const double observed_value =
          observed_row != nullptr ? observed_row[j] : points[point].*observed;
      const double residual = observed_value - model;
      if (check_overflow && std::fabs(residual) >= overflow_limit) [[unlikely]] {
        cursor.overflow = true;
        cursor.stopped = true;
        break;
      }
      sum += residual * residual;
      if (early_stop && sum >= stop_at) [[unlikely]] {
        cursor.stopped = true;
        break;
      }
    }
  }
  if (!clean) {
    if (cursor.state_behind) {
      // The cells must show the previous point before a point is evaluated that may keep a
      // slot's value; that point was clean, so one evaluation restores its state exactly.
      EvaluateFormula(formula, points[cursor.last_point], status, messages);
      cursor.state_behind = false;
    }
    for (std::uint32_t j = 0; j < n; ++j, point += interval) {
      const Point& p = points[point];
      const double residual = p.*observed - EvaluateFormula(formula, p, status, messages);
      if (check_overflow && std::fabs(residual) >= overflow_limit) {
        cursor.overflow = true;
        cursor.stopped = true;
        break;
      }
      sum += residual * residual;
      if (early_stop && sum >= stop_at) {
        cursor.stopped = true;
        break;
      }
    }
  }
  cursor.sum = sum;
  if (!cursor.stopped) point -= interval;
  cursor.last_point = point;
  cursor.state_behind = clean;
}

void FinishBlockSum(CompiledFormula& formula, const SumOfSquaresTask& task, BlockSumCursor& cursor,
                    std::int8_t& status, FormulaMessages* messages) {
  if (cursor.state_behind) {
    EvaluateFormula(formula, task.points[cursor.last_point], status, messages);
    cursor.state_behind = false;
  }
}

}  // namespace calvane
