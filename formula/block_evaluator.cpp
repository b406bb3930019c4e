#include "formula/block_evaluator.h"

#include <cmath>

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

constexpr std::uint32_t kXRow = kMaxSlots;
constexpr std::uint32_t kYRow = kMaxSlots + 1;

// Resolves the operand `cell` of slot `s`. False when it reads a slot cell that this evaluation
// has not written yet (its value would come from the previous evaluation): such programs are
// left to the single-point evaluator.
bool Resolve(const CompiledFormula& f, const double* cell, int s, BlockWorkspace& w, Operand& out) {
  out.row = nullptr;
  out.value = 0.0;
  if (cell == nullptr) return true;  // reads 0
  if (cell >= f.slotValue && cell < f.slotValue + kMaxSlots) {
    const auto slot = static_cast<int>(cell - f.slotValue);
    if (slot >= s) return false;
    out.row = w.Row(static_cast<std::uint32_t>(slot));
  } else if (cell == &f.x) {
    out.row = w.Row(kXRow);
  } else if (cell == &f.y) {
    out.row = w.Row(kYRow);
  } else {
    out.value = *cell;
  }
  return true;
}

// out[i] = op(a[i], b[i]) for the four shapes of the operands.
template <class Op>
inline void Map2(const Operand& a, const Operand& b, double* __restrict out, std::uint32_t n,
                 Op op) {
  if (a.row != nullptr && b.row != nullptr) {
    const double* __restrict l = a.row;
    const double* __restrict r = b.row;
    for (std::uint32_t i = 0; i < n; ++i) out[i] = op(l[i], r[i]);
  } else if (a.row != nullptr) {
    const double* __restrict l = a.row;
    const double r = b.value;
    for (std::uint32_t i = 0; i < n; ++i) out[i] = op(l[i], r);
  } else if (b.row != nullptr) {
    const double l = a.value;
    const double* __restrict r = b.row;
    for (std::uint32_t i = 0; i < n; ++i) out[i] = op(l, r[i]);
  } else {
    const double l = a.value;
    const double r = b.value;
    for (std::uint32_t i = 0; i < n; ++i) out[i] = op(l, r);
  }
}

// Whether pred(a[i], b[i]) holds for any i.
template <class Pred>
inline bool Any2(const Operand& a, const Operand& b, std::uint32_t n, Pred pred) {
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

template <class Op>
inline void Map1(const Operand& a, double* __restrict out, std::uint32_t n, Op op) {
  if (a.row != nullptr) {
    const double* __restrict r = a.row;
    for (std::uint32_t i = 0; i < n; ++i) out[i] = op(r[i]);
  } else {
    const double v = op(a.value);
    for (std::uint32_t i = 0; i < n; ++i) out[i] = v;
  }
}

template <class Pred>
inline bool Any1(const Operand& a, std::uint32_t n, Pred pred) {
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
void IntegerPowerRows(const Operand& base, std::int64_t exponent, double* __restrict out,
                      double* square, std::uint32_t n) {
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
    : rows_(new double[(static_cast<std::size_t>(kMaxSlots) + 3) * kBlockPoints]) {
}  // every row is written before it is read

bool EvaluateBlock(const CompiledFormula& f, const Point* points, std::uint32_t interval,
                   std::uint32_t count, BlockWorkspace& w, double* values) {
  const std::uint32_t n = count;
  int length = 1;
  while (length < kMaxSlots && f.opCode[length] != 0) ++length;
  // The operands of every slot first: they say which of the x and y rows are read.
  Operand lefts[kMaxSlots];
  Operand rights[kMaxSlots];
  for (int s = 0; s < length; ++s) {
    if (f.opCode[s] < 1 || f.opCode[s] > 22) return false;  // unregistered: a message box
    if (!Resolve(f, f.leftOperand[s], s, w, lefts[s]) ||
        !Resolve(f, f.rightOperand[s], s, w, rights[s])) {
      return false;
    }
  }
  bool needs_x = false;
  bool needs_y = false;
  for (int s = 0; s < length; ++s) {
    needs_x |= lefts[s].row == w.Row(kXRow) || rights[s].row == w.Row(kXRow);
    needs_y |= lefts[s].row == w.Row(kYRow) || rights[s].row == w.Row(kYRow);
  }
  if (needs_x) {
    double* __restrict xs = w.Row(kXRow);
    for (std::uint32_t i = 0; i < n; ++i) xs[i] = points[std::size_t{i} * interval].x;
  }
  if (needs_y) {
    double* __restrict ys = w.Row(kYRow);
    for (std::uint32_t i = 0; i < n; ++i) ys[i] = points[std::size_t{i} * interval].y;
  }
  double* const scratch = values;  // the running squares of binary powering
  bool bad = false;
  for (int s = 0; s < length; ++s) {
    const std::uint8_t code = f.opCode[s];
    const Operand& l = lefts[s];
    const Operand& r = rights[s];
    double* const out = w.Row(static_cast<std::uint32_t>(s));
    switch (code) {
      case 1:
        Map2(l, r, out, n, [](double a, double b) { return a + b; });
        break;
      case 2:
        Map2(l, r, out, n, [](double a, double b) { return a - b; });
        break;
      case 3:
        Map2(l, r, out, n, [](double a, double b) { return a * b; });
        break;
      case 4:
        bad |= Any2(l, r, n, [](double, double b) { return b == 0.0 || std::isnan(b); });
        Map2(l, r, out, n, [](double a, double b) { return a / b; });
        break;
      case 5:
        if (r.row == nullptr && r.value == std::floor(r.value) &&
            std::fabs(r.value) <= 2147483647.0) {
          IntegerPowerRows(l, static_cast<std::int64_t>(r.value), out, scratch, n);
        } else {
          bad |= Any2(l, r, n, [](double a, double b) { return !(a >= 0.0) && !IsWholeInt32(b); });
          Map2(l, r, out, n, [](double a, double b) { return Power(a, b); });
        }
        break;
      case 6:
        Map1(r, out, n, [](double a) { return -a; });
        break;
      case 7:
        bad |= Any1(r, n, [](double a) { return !(a >= 0.0); });
        Map1(r, out, n, [](double a) { return SqrtNonNegative(a); });
        break;
      case 8:
        Map1(r, out, n, [](double a) { return std::exp(a); });
        break;
      case 9:
        bad |= Any1(r, n, [](double a) { return !(a > 0.0); });
        if (!bad) Map1(r, out, n, [](double a) { return LogTen(a); });
        break;
      case 10:
        bad |= Any1(r, n, [](double a) { return !(a > 0.0); });
        if (!bad) Map1(r, out, n, [](double a) { return std::log(a); });
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
  const double* __restrict last = w.Row(static_cast<std::uint32_t>(length - 1));
  for (std::uint32_t i = 0; i < n; ++i) values[i] = last[i];
  return true;
}

std::uint32_t SumPointCount(const SumOfSquaresTask& task) {
  if (task.count == 0 || task.points == nullptr) return 0;
  const std::uint32_t interval = task.interval == 0 ? 1u : task.interval;
  return (task.count - 1) / interval + 1;
}

void AddBlockTerms(CompiledFormula& formula, const SumOfSquaresTask& task, std::uint32_t block,
                   const double* values, bool clean, BlockSumCursor& cursor, std::int8_t& status,
                   FormulaMessages* messages) {
  if (cursor.stopped) return;
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
    // No call in this loop, so the sum stays in a register. The final range test of the
    // evaluator is made here, on the way: a value outside [-1e302, 1e302] (or a non-number)
    // sends the block back to the single-point evaluator from its first point.
    for (std::uint32_t j = 0; j < n; ++j, point += interval) {
      const double model = values[j];
      if (!(std::fabs(model) <= kRangeLimit)) [[unlikely]] {
        clean = false;
        cursor.stopped = false;
        sum = cursor.sum;
        point = first * interval;
        break;
      }
      const double residual = points[point].*observed - model;
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
