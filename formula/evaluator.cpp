#include "formula/evaluator.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "formula/block_evaluator.h"
#include "formula/eval_functions.h"
#include "formula/formula_messages.h"
#include "formula/number_text.h"

namespace calvane {
namespace {

using namespace eval;

// Handlers of the evaluation program. Every operation has variants by where its operands come
// from: "m" reads a cell, "a" takes the previous step's result, which the evaluator keeps in a
// register (it is also stored in its slot), so that chains of slots do not wait for a store and
// a load per slot. Binary operations have the variants mm, am (left is the previous result) and
// ma (right is the previous result); unary ones m and a. The power by a literal whole exponent
// within the 32-bit range is never a domain error and runs binary powering without the test;
// squares and cubes are written out in the order binary powering multiplies (1 * (a*a) equals
// a*a, and a * (a*a) is the cube).
// The handler lists and their tables keep their hand-made layout.
// clang-format off
#define CALVANE_BINARY_OPS(X) \
  X(add) X(sub) X(mul) X(div) X(pow) X(pow_square) X(pow_cube) X(pow_integer)
#define CALVANE_UNARY_OPS(X)                                                               \
  X(neg) X(sqrt) X(exp) X(log) X(ln) X(sin) X(cos) X(tan) X(asin) X(acos) X(atan) X(sin_deg) \
  X(cos_deg) X(tan_deg) X(asin_deg) X(acos_deg) X(atan_deg)

enum Handler : std::uint8_t {
  kEnd = 0,
#define CALVANE_ENUM_BINARY(op) k_##op##_mm, k_##op##_am, k_##op##_ma,
#define CALVANE_ENUM_UNARY(op) k_##op##_m, k_##op##_a,
  CALVANE_BINARY_OPS(CALVANE_ENUM_BINARY) CALVANE_UNARY_OPS(CALVANE_ENUM_UNARY)
#undef CALVANE_ENUM_BINARY
#undef CALVANE_ENUM_UNARY
  kUnregistered,
  // A product directly followed by a sum or difference that takes it as one operand (k0*x+k1,
  // the terms of a polynomial): both slots in one dispatch. Named mul variant, then add/sub
  // variant of the second slot.
#define CALVANE_ENUM_FUSED(mul, second) k_fused_##mul##_##second,
#define CALVANE_FUSED_PAIRS(X)                                                          \
  X(mm, add_am) X(mm, add_ma) X(mm, sub_am) X(mm, sub_ma) X(am, add_am) X(am, add_ma) \
  X(am, sub_am) X(am, sub_ma) X(ma, add_am) X(ma, add_ma) X(ma, sub_am) X(ma, sub_ma)
  CALVANE_FUSED_PAIRS(CALVANE_ENUM_FUSED)
#undef CALVANE_ENUM_FUSED
  kHandlerCount
};

// The "mm" or "m" handler of each operation code 1..22 (degree codes included).
constexpr std::uint8_t kBaseHandler[23] = {
    kUnregistered, k_add_mm,     k_sub_mm,     k_mul_mm,      k_div_mm,      k_pow_mm,
    k_neg_m,       k_sqrt_m,     k_exp_m,      k_log_m,       k_ln_m,        k_sin_m,
    k_cos_m,       k_tan_m,      k_asin_m,     k_acos_m,      k_atan_m,      k_sin_deg_m,
    k_cos_deg_m,   k_tan_deg_m,  k_asin_deg_m, k_acos_deg_m,  k_atan_deg_m};
// clang-format on

[[gnu::noinline, gnu::cold]] void Fail(std::int8_t& status, FormulaMessages* messages,
                                       std::uint8_t code) {
  if (status == 0 && messages != nullptr) {
    std::string_view text;
    switch (code) {
      case 4:
        text = text::kEvalDivisionByZero;
        break;
      case 5:
        text = text::kEvalFractionalPowerOfNegative;
        break;
      case 7:
        text = text::kEvalSqrtOfNegative;
        break;
      case 9:
        text = text::kEvalLogOfNonPositive;
        break;
      case 10:
        text = text::kEvalLnOfNonPositive;
        break;
      case 14:
      case 20:
        text = text::kEvalAsinOutOfRange;
        break;
      case 15:
      case 21:
        text = text::kEvalAcosOutOfRange;
        break;
      default:
        text = text::kEvalOutOfRange;
        break;
    }
    messages->EvaluationError(text);
  }
  status = static_cast<std::int8_t>(code);
}

[[gnu::noinline, gnu::cold]] void Unregistered(std::int8_t& status, FormulaMessages* messages) {
  if (messages != nullptr) messages->UnregisteredOperator(text::kEvalUnregisteredOperator);
  status = 23;
}

// Handlers that call no function outside their error paths.
bool IsCallFree(std::uint8_t handler) {
  return (handler >= k_add_mm && handler <= k_div_ma) ||
         (handler >= k_pow_square_mm && handler <= k_pow_integer_ma) ||
         (handler >= k_neg_m && handler <= k_sqrt_a) || handler >= k_fused_mm_add_am;
}

// The fused handler for a product step followed by `second`, or 0 when the pair does not fuse.
std::uint8_t FusedHandler(std::uint8_t first, std::uint8_t second) {
  if (first < k_mul_mm || first > k_mul_ma) return 0;
  int column;
  switch (second) {
    case k_add_am:
      column = 0;
      break;
    case k_add_ma:
      column = 1;
      break;
    case k_sub_am:
      column = 2;
      break;
    case k_sub_ma:
      column = 3;
      break;
    default:
      return 0;
  }
  return static_cast<std::uint8_t>(k_fused_mm_add_am + 4 * (first - k_mul_mm) + column);
}

std::uint8_t HandlerFor(const CompiledFormula& f, int s) {
  const std::uint8_t code = f.opCode[s];
  if (code < 1 || code > 22) return kUnregistered;
  std::uint8_t handler = kBaseHandler[code];
  if (code == 5 && f.rightOperand[s] == &f.literal[s][1]) {
    const double e = f.literal[s][1];
    if (PowersBySquaring(e)) {
      handler = e == 2.0 ? k_pow_square_mm : e == 3.0 ? k_pow_cube_mm : k_pow_integer_mm;
    }
  }
  const double* previous = s > 0 ? &f.slotValue[s - 1] : nullptr;
  if (code <= 5) {
    if (previous != nullptr && f.leftOperand[s] == previous) return handler + 1;   // am
    if (previous != nullptr && f.rightOperand[s] == previous) return handler + 2;  // ma
    return handler;
  }
  if (previous != nullptr && f.rightOperand[s] == previous) return handler + 1;  // a
  return handler;
}

EvalStep StepFor(const CompiledFormula& f, int s) {
  EvalStep step{};
  step.left = f.leftOperand[s] != nullptr ? f.leftOperand[s] : &f.missingOperand_;
  step.right = f.rightOperand[s] != nullptr ? f.rightOperand[s] : &f.missingOperand_;
  step.result = const_cast<double*>(&f.slotValue[s]);
  step.handler = HandlerFor(f, s);
  step.opCode = f.opCode[s];
  step.slot = static_cast<std::uint8_t>(s);
  step.exponent = 0;
  if (step.handler >= k_pow_square_mm && step.handler <= k_pow_integer_ma) {
    step.exponent = static_cast<std::int32_t>(f.literal[s][1]);
  }
  return step;
}

int ProgramLength(const CompiledFormula& f) {
  int n = 1;  // slot 0 always runs
  while (n < kMaxSlots && f.opCode[n] != 0) ++n;
  return n;
}

bool SameStep(const EvalStep& a, const EvalStep& b) {
  return a.left == b.left && a.right == b.right && a.result == b.result &&
         a.exponent == b.exponent && a.handler == b.handler && a.opCode == b.opCode &&
         a.slot == b.slot;
}

}  // namespace

double SquareRoot(double value) {
  if (value == 0.0 || std::isnan(value)) return 0.0;
  if (value > 0.0) return std::sqrt(value);
  std::fputs("Error:Sqr argument is illegal\n", stderr);
  return -1.0;
}

double Power(double base, double exponent) {
  if (PowersBySquaring(exponent)) {
    return IntegerPower(base, static_cast<std::int64_t>(exponent));
  }
  if (base > 0.0) return Exp(exponent * Ln(base));
  return 0.0;
}

namespace {

// Builds the evaluation program of `f` into `steps` (kMaxSlots + 1 entries); returns the
// number of slots.
int BuildProgram(const CompiledFormula& f, EvalStep* steps) {
  const int n = ProgramLength(f);
  for (int s = 0; s < n; ++s) steps[s] = StepFor(f, s);
  for (int s = 0; s + 1 < n; ++s) {
    const std::uint8_t fused = FusedHandler(steps[s].handler, steps[s + 1].handler);
    if (fused != 0) {
      steps[s].handler = fused;  // runs slot s + 1 too; steps[s + 1] keeps its operands
      ++s;
    }
  }
  EvalStep end{};
  end.left = &f.missingOperand_;
  end.right = &f.missingOperand_;
  end.result = const_cast<double*>(&f.slotValue[n - 1]);
  end.handler = kEnd;
  steps[n] = end;
  return n;
}

bool ProgramCallFree(const EvalStep* steps, int n) {
  for (int s = 0; s < n; ++s) {
    if (!IsCallFree(steps[s].handler)) return false;
  }
  return true;
}

}  // namespace

void CompiledFormula::PrepareEvaluation() {
  evalLength_ = BuildProgram(*this, evalProgram_);
  evalCallFree_ = ProgramCallFree(evalProgram_, evalLength_);
}

bool CompiledFormula::EvaluationPrepared() const {
  EvalStep expected[kMaxSlots + 1];
  const int n = BuildProgram(*this, expected);
  if (evalLength_ != n) return false;
  for (int s = 0; s <= n; ++s) {
    if (!SameStep(evalProgram_[s], expected[s])) return false;
  }
  return evalCallFree_ == ProgramCallFree(expected, n);
}

namespace {

// Runs the prepared program with threaded dispatch: every handler ends with its own indirect
// jump to the next step's handler, so the branch predictor learns the program's fixed sequence.
// `acc` always holds the value of the slot that ran last (as stored in slotValue). Domain tests
// are single predictable branches into cold code.
//
// kCallFree: the program has only handlers that call no function outside their cold error
// paths (CompiledFormula::evalCallFree_); the others are left out, so that the compiler can keep
// the running sum in a register across the points.
//
// kSum false: one evaluation of `points[0]`, returning its value. kSum true: the evaluations of
// points 0, d, 2d, ... of `task`, each exactly as one EvaluateFormula call, folded into the sum
// of squared residuals of `result` as the task prescribes; returns 0.
//
// Every handler keeps its own dispatch jump: without cross-jumping off, GCC merges the identical
// handler tails into one shared indirect jump, which the branch predictor cannot follow.
template <bool kSum, bool kCallFree>
[[gnu::optimize("no-crossjumping")]] double Run(CompiledFormula& formula, const Point* points,
                                                const SumOfSquaresTask* task,
                                                SumOfSquaresResult* result, std::int8_t& status,
                                                FormulaMessages* messages) {
#ifndef NDEBUG
  if (!formula.EvaluationPrepared()) {
    std::fputs("EvaluateFormula: the program was edited without PrepareEvaluation\n", stderr);
    std::abort();
  }
#endif
  std::uint32_t index = 0;
  double sum = 0.0;
  // The task's fields as locals: the handlers' stores through double pointers could otherwise
  // alias them and force a reload at every point.
  const bool observed_is_x = kSum ? task->observed_is_x : false;
  const bool early_stop = kSum ? task->early_stop : false;
  const double stop_at = kSum ? task->stop_at : 0.0;
  const bool check_overflow = kSum ? task->check_overflow : false;
  const double overflow_limit = kSum ? task->overflow_limit : 0.0;
  const std::uint32_t count = kSum ? task->count : 0;
  const std::uint32_t interval = kSum ? (task->interval == 0 ? 1u : task->interval) : 1u;
  formula.x = points[0].x;
  formula.y = points[0].y;

  // The dispatch table and the handlers keep their hand-made layout.
  // clang-format off
  static const void* const kDispatch[kHandlerCount] = {
      &&end,
#define CALVANE_LABELS_BINARY(op) &&op##_mm, &&op##_am, &&op##_ma,
#define CALVANE_LABELS_UNARY(op) &&op##_m, &&op##_a,
      CALVANE_BINARY_OPS(CALVANE_LABELS_BINARY) CALVANE_UNARY_OPS(CALVANE_LABELS_UNARY)
#undef CALVANE_LABELS_BINARY
#undef CALVANE_LABELS_UNARY
      &&unregistered,
#define CALVANE_LABELS_FUSED(mul, second) &&fused_##mul##_##second,
      CALVANE_FUSED_PAIRS(CALVANE_LABELS_FUSED)
#undef CALVANE_LABELS_FUSED
  };

  const EvalStep* step = formula.evalProgram_;
  double acc = 0.0;

#define CALVANE_NEXT()              \
  do {                              \
    ++step;                         \
    goto* kDispatch[step->handler]; \
  } while (0)

// The body of a handler that calls a function.
#define CALLS(BODY)             \
  if constexpr (kCallFree) {    \
    std::abort();               \
  } else {                      \
    BODY;                       \
  }

// BODY computes from l and r and ends with STORE(value) or KEEP(code).
#define STORE(value)         \
  do {                       \
    acc = (value);           \
    *step->result = acc;     \
  } while (0)
#define KEEP(code)                     \
  do {                                 \
    Fail(status, messages, (code));    \
    acc = *step->result;               \
  } while (0)
#define CALVANE_BINARY(op, BODY)                                    \
  op##_mm : {                                                       \
    [[maybe_unused]] const double l = *step->left;                  \
    [[maybe_unused]] const double r = *step->right;                 \
    BODY;                                                           \
    CALVANE_NEXT();                                                 \
  }                                                                 \
  op##_am : {                                                       \
    [[maybe_unused]] const double l = acc;                          \
    [[maybe_unused]] const double r = *step->right;                 \
    BODY;                                                           \
    CALVANE_NEXT();                                                 \
  }                                                                 \
  op##_ma : {                                                       \
    [[maybe_unused]] const double l = *step->left;                  \
    [[maybe_unused]] const double r = acc;                          \
    BODY;                                                           \
    CALVANE_NEXT();                                                 \
  }
#define CALVANE_UNARY(op, BODY)                                     \
  op##_m : {                                                        \
    const double r = *step->right;                                  \
    BODY;                                                           \
    CALVANE_NEXT();                                                 \
  }                                                                 \
  op##_a : {                                                        \
    const double r = acc;                                           \
    BODY;                                                           \
    CALVANE_NEXT();                                                 \
  }

  goto* kDispatch[step->handler];

  CALVANE_BINARY(add, STORE(l + r))
  CALVANE_BINARY(sub, STORE(l - r))
  CALVANE_BINARY(mul, STORE(l * r))
  CALVANE_BINARY(div, {
    STORE(l / r);
    if (r == 0.0 || std::isnan(r)) [[unlikely]] Fail(status, messages, 4);
  })
  CALVANE_BINARY(pow, CALLS({
    if (!(l >= 0.0) && !IsWholeInt32(r)) [[unlikely]] Fail(status, messages, 5);
    STORE(Power(l, r));
  }))
  CALVANE_BINARY(pow_square, STORE(l * l))
  CALVANE_BINARY(pow_cube, STORE(l * (l * l)))
  CALVANE_BINARY(pow_integer, STORE(IntegerPower(l, step->exponent)))
  CALVANE_UNARY(neg, STORE(-r))
  CALVANE_UNARY(sqrt, {
    if (r >= 0.0) [[likely]] {
      STORE(SqrtNonNegative(r));
    } else {
      STORE(0.0);
      Fail(status, messages, 7);
    }
  })
  CALVANE_UNARY(exp, CALLS(STORE(Exp(r))))
  CALVANE_UNARY(log, CALLS({
    if (r > 0.0) [[likely]] {
      STORE(LogTen(r));
    } else {
      KEEP(9);
    }
  }))
  CALVANE_UNARY(ln, CALLS({
    if (r > 0.0) [[likely]] {
      STORE(Ln(r));
    } else {
      KEEP(10);
    }
  }))
  CALVANE_UNARY(sin, CALLS(STORE(std::sin(r))))
  CALVANE_UNARY(cos, CALLS(STORE(std::cos(r))))
  CALVANE_UNARY(tan, CALLS(STORE(std::tan(r))))
  CALVANE_UNARY(asin, CALLS({
    if (r >= -1.0 && r <= 1.0) [[likely]] {
      STORE(AsinRadians(r));
    } else {
      KEEP(14);
    }
  }))
  CALVANE_UNARY(acos, CALLS({
    if (r >= -1.0 && r <= 1.0) [[likely]] {
      STORE(AcosRadians(r));
    } else {
      KEEP(15);
    }
  }))
  CALVANE_UNARY(atan, CALLS(STORE(std::atan(r))))
  CALVANE_UNARY(sin_deg, CALLS(STORE(SinDegrees(r))))
  CALVANE_UNARY(cos_deg, CALLS(STORE(CosDegrees(r))))
  CALVANE_UNARY(tan_deg, CALLS(STORE(TanDegrees(r))))
  CALVANE_UNARY(asin_deg, CALLS({
    if (r >= -1.0 && r <= 1.0) [[likely]] {
      STORE(AsinDegrees(r));
    } else {
      KEEP(20);
    }
  }))
  CALVANE_UNARY(acos_deg, CALLS({
    if (r >= -1.0 && r <= 1.0) [[likely]] {
      STORE(AcosDegrees(r));
    } else {
      KEEP(21);
    }
  }))
  CALVANE_UNARY(atan_deg, CALLS(STORE(AtanDegrees(r))))

// The product of slot s (operands by its variant), then slot s + 1 with the product as the
// operand its variant names and its other operand from its cell.
#define CALVANE_FUSED(mul, second, LEFT, RIGHT, EXPR) \
  fused_##mul##_##second : {                          \
    const double product = (LEFT) * (RIGHT);          \
    *step->result = product;                          \
    ++step;                                           \
    STORE(EXPR);                                      \
    CALVANE_NEXT();                                   \
  }
#define CALVANE_FUSED_SECONDS(mul, LEFT, RIGHT)                                 \
  CALVANE_FUSED(mul, add_am, LEFT, RIGHT, product + *step->right)               \
  CALVANE_FUSED(mul, add_ma, LEFT, RIGHT, *step->left + product)                \
  CALVANE_FUSED(mul, sub_am, LEFT, RIGHT, product - *step->right)               \
  CALVANE_FUSED(mul, sub_ma, LEFT, RIGHT, *step->left - product)
  CALVANE_FUSED_SECONDS(mm, *step->left, *step->right)
  CALVANE_FUSED_SECONDS(am, acc, *step->right)
  CALVANE_FUSED_SECONDS(ma, *step->left, acc)
#undef CALVANE_FUSED_SECONDS
#undef CALVANE_FUSED

unregistered:
  if constexpr (kCallFree) {
    std::abort();
  } else {
    Unregistered(status, messages);
    acc = *step->result;
  }
  CALVANE_NEXT();

end:
#undef CALVANE_NEXT
#undef CALVANE_BINARY
#undef CALVANE_UNARY
#undef STORE
#undef KEEP
#undef CALLS
  // clang-format on
  if (status == 0 && !(acc >= -kRangeLimit && acc <= kRangeLimit)) [[unlikely]] {
    Fail(status, messages, 25);
  }
  if constexpr (!kSum) {
    (void)index, (void)sum, (void)task, (void)result, (void)observed_is_x, (void)early_stop;
    (void)stop_at, (void)check_overflow, (void)overflow_limit, (void)count, (void)interval;
    return acc;
  } else {
    const Point& point = points[index];
    const double residual = (observed_is_x ? point.x : point.y) - acc;
    if (check_overflow && std::fabs(residual) >= overflow_limit) [[unlikely]] {
      result->sum = sum;
      result->overflow = true;
      return 0.0;
    }
    sum += residual * residual;
    if (early_stop && sum >= stop_at) [[unlikely]] {
      result->sum = sum;
      return 0.0;
    }
    if (interval >= count - index) {  // the next point would reach the count
      result->sum = sum;
      return 0.0;
    }
    index += interval;
    formula.x = points[index].x;
    formula.y = points[index].y;
    step = formula.evalProgram_;
    goto* kDispatch[step->handler];
  }
}

}  // namespace

double EvaluateFormula(CompiledFormula& formula, const Point& point, std::int8_t& status,
                       FormulaMessages* messages) {
  return Run<false, false>(formula, &point, nullptr, nullptr, status, messages);
}

SumOfSquaresResult SumOfSquares(CompiledFormula& formula, const SumOfSquaresTask& task,
                                std::int8_t& status, FormulaMessages* messages) {
  SumOfSquaresResult result;
  if (task.count == 0 || task.points == nullptr) return result;
  if (task.workspace != nullptr) {
    BlockWorkspace& workspace = *task.workspace;
    const std::uint32_t interval = task.interval == 0 ? 1u : task.interval;
    const std::uint32_t total = SumPointCount(task);
    const std::uint32_t blocks = BlockCount(total);
    BlockSumCursor cursor;
    for (std::uint32_t b = 0; b < blocks && !cursor.stopped; ++b) {
      const std::uint32_t first = b * kBlockPoints;
      const std::uint32_t n = total - first < kBlockPoints ? total - first : kBlockPoints;
      double* const values = workspace.Values();
      const bool clean = EvaluateBlock(formula, task.points + std::size_t{first} * interval,
                                       interval, n, workspace, values);
      AddBlockTerms(formula, task, b, values, clean, cursor, status, messages);
    }
    FinishBlockSum(formula, task, cursor, status, messages);
    result.sum = cursor.sum;
    result.overflow = cursor.overflow;
    return result;
  }
  if (formula.evalCallFree_) {
    Run<true, true>(formula, task.points, &task, &result, status, messages);
  } else {
    Run<true, false>(formula, task.points, &task, &result, status, messages);
  }
  return result;
}

}  // namespace calvane
