#include "formula/evaluator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "formula/compiled_formula.h"
#include "formula/formula_check.h"
#include "formula/number_text.h"

namespace calvane {
namespace {

class RecordingMessages : public FormulaMessages {
 public:
  void EvaluationError(std::string_view text) override { errors.emplace_back(text); }
  void UnregisteredOperator(std::string_view text) override { boxes.emplace_back(text); }
  std::vector<std::string> errors;
  std::vector<std::string> boxes;
};

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// A checked formula with its constants set by name (k0 = values[0], ...).
std::unique_ptr<CompiledFormula> Formula(const char* text, std::vector<double> values = {},
                                         AngleUnit unit = AngleUnit::Radian) {
  auto f = std::make_unique<CompiledFormula>();
  EXPECT_EQ(CheckFormula(*f, text, LeftSide::NotSelected), FormulaCheckCode::FormulaValid) << text;
  for (std::size_t n = 0; n < values.size(); ++n) {
    if (f->paramIndex[n] != kUnusedConstant) f->paramValue[f->paramIndex[n]] = values[n];
  }
  ApplyAngleUnit(*f, unit);
  return f;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct EvalCase {
  const char* text;
  std::vector<double> constants;
  double x;
  AngleUnit unit;
  double value;  // compared bit for bit (NaN by isnan)
  int status;
  const char* message;  // the one message expected, or nullptr for none
};

TEST(EvaluateFormula, ComputesValuesStatusesAndTheFirstMessage) {
  const double deg = 0.0174532925199433;
  const EvalCase cases[] = {
      {"x*k0", {3}, 2, AngleUnit::Radian, 6, 0, nullptr},
      {"k0/x", {1}, 0, AngleUnit::Radian, kInf, 4, "ゼロで除算しました。計算できません。"},
      {"k0/x", {0}, 0, AngleUnit::Radian, kNaN, 4, "ゼロで除算しました。計算できません。"},
      {"k0/x", {1}, kNaN, AngleUnit::Radian, kNaN, 4, "ゼロで除算しました。計算できません。"},
      {"k0*Sqrt(x)",
       {5},
       -1,
       AngleUnit::Radian,
       0,
       7,
       "Sqrtの対象に負の値が指定されました。計算できません。"},
      {"Sqrt(x)+k0",
       {5},
       -1,
       AngleUnit::Radian,
       5,
       7,
       "Sqrtの対象に負の値が指定されました。計算できません。"},
      {"Sqrt(x)+k0", {5}, 4, AngleUnit::Radian, 7, 0, nullptr},
      {"k0*Ln(x)",
       {2},
       0,
       AngleUnit::Radian,
       0,
       10,
       "Lnの対象に0以下の値が指定されました。計算できません。"},
      {"k0*Log(x)",
       {2},
       -3,
       AngleUnit::Radian,
       0,
       9,
       "Logの対象に0以下の値が指定されました。計算できません。"},
      {"k0*Log(x)", {1}, 1000, AngleUnit::Radian, std::log(1000.0) / std::log(10.0), 0, nullptr},
      {"(k0*x)^(1/3)",
       {1},
       -8,
       AngleUnit::Radian,
       0,
       5,
       "負の値を小数で累乗しました。計算できません。"},
      {"(k0*x)^3", {1}, -2, AngleUnit::Radian, -8, 0, nullptr},
      {"(k0*x)^k1",
       {1, 3e9},
       -2,
       AngleUnit::Radian,
       0,
       5,
       "負の値を小数で累乗しました。計算できません。"},
      {"(k0*x)^k1", {1, -2}, -2, AngleUnit::Radian, 0.25, 0, nullptr},
      {"x^k0", {0}, 0, AngleUnit::Radian, 1, 0, nullptr},
      {"x^k0",
       {-1},
       0,
       AngleUnit::Radian,
       kInf,
       25,
       "計算の途中で、値が取り扱い可能範囲を超えました。計算できません。"},
      {"x^k0", {0.5}, 0, AngleUnit::Radian, 0, 0, nullptr},
      {"x^k0", {2.5}, 3, AngleUnit::Radian, std::exp(2.5 * std::log(3.0)), 0, nullptr},
      {"k0*Asin(x)", {1}, 1, AngleUnit::Radian, 1.5707963267948966, 0, nullptr},
      {"k0*Asin(x)", {1}, -1, AngleUnit::Radian, -1.5707963267948966, 0, nullptr},
      {"k0*Asin(x)", {1}, 0.5, AngleUnit::Radian, std::atan(0.5 / std::sqrt(1 - 0.25)), 0, nullptr},
      {"k0*Asin(x)", {1}, 1, AngleUnit::Degree, 90, 0, nullptr},
      {"k0*Asin(x)",
       {1},
       0.5,
       AngleUnit::Degree,
       std::atan(0.5 / std::sqrt(0.75)) * 57.2957795130823,
       0,
       nullptr},
      {"k0*Asin(x)",
       {1},
       1.5,
       AngleUnit::Radian,
       0,
       14,
       "Asinの対象に-1より小さい、あるいは1より大きい値が指定されました。計算できません。"},
      {"k0*Asin(x)",
       {1},
       -1.5,
       AngleUnit::Degree,
       0,
       20,
       "Asinの対象に-1より小さい、あるいは1より大きい値が指定されました。計算できません。"},
      {"k0*Acos(x)", {1}, -1, AngleUnit::Radian, 3.14159265358979, 0, nullptr},
      {"k0*Acos(x)", {1}, 0, AngleUnit::Radian, 1.5707963267948966, 0, nullptr},
      {"k0*Acos(x)", {1}, 0.5, AngleUnit::Radian, std::atan(std::sqrt(0.75) / 0.5), 0, nullptr},
      {"k0*Acos(x)",
       {1},
       -0.5,
       AngleUnit::Radian,
       std::atan(std::sqrt(0.75) / -0.5) + 3.14159265358979,
       0,
       nullptr},
      {"k0*Acos(x)", {1}, -1, AngleUnit::Degree, 180, 0, nullptr},
      {"k0*Acos(x)", {1}, 0, AngleUnit::Degree, 90, 0, nullptr},
      {"k0*Acos(x)",
       {1},
       kNaN,
       AngleUnit::Radian,
       0,
       15,
       "Acosの対象に-1より小さい、あるいは1より大きい値が指定されました。計算できません。"},
      {"k0*Acos(x)",
       {1},
       2,
       AngleUnit::Degree,
       0,
       21,
       "Acosの対象に-1より小さい、あるいは1より大きい値が指定されました。計算できません。"},
      {"k0*Sin(x)", {1}, 30, AngleUnit::Degree, std::sin(30 * deg), 0, nullptr},
      {"k0*Sin(x)", {1}, 400.5, AngleUnit::Degree, std::sin(40.5 * deg), 0, nullptr},
      {"k0*Sin(x)", {1}, -400.5, AngleUnit::Degree, std::sin(-40.5 * deg), 0, nullptr},
      {"k0*Cos(x)",
       {1},
       1e10,
       AngleUnit::Degree,
       std::cos(std::fmod(1e10, 360.0) * deg),
       0,
       nullptr},
      {"k0*Tan(x)",
       {1},
       -2147483648.0,
       AngleUnit::Degree,
       std::tan(std::fmod(-2147483648.0, 360.0) * deg),
       0,
       nullptr},
      {"k0*Tan(x)",
       {1},
       2147483647.5,
       AngleUnit::Degree,
       std::tan(((2147483647.5 + 2147483647 % 360) - 2147483647.0) * deg),
       0,
       nullptr},
      {"k0*Sin(x)",
       {1},
       kInf,
       AngleUnit::Degree,
       kNaN,
       25,
       "計算の途中で、値が取り扱い可能範囲を超えました。計算できません。"},
      {"k0*Atan(x)", {1}, 1, AngleUnit::Degree, std::atan(1.0) * 57.2957795130823, 0, nullptr},
      {"k0*Cos(x)+Tan(x)", {1}, 0.7, AngleUnit::Radian, std::cos(0.7) + std::tan(0.7), 0, nullptr},
      {"k0*Exp(x)",
       {1},
       800,
       AngleUnit::Radian,
       kInf,
       25,
       "計算の途中で、値が取り扱い可能範囲を超えました。計算できません。"},
      {"k0*Exp(x)",
       {0},
       800,
       AngleUnit::Radian,
       kNaN,
       25,
       "計算の途中で、値が取り扱い可能範囲を超えました。計算できません。"},
      {"-k0*x",
       {1},
       2e302,
       AngleUnit::Radian,
       -2e302,
       25,
       "計算の途中で、値が取り扱い可能範囲を超えました。計算できません。"},
      {"-k0*x", {1}, 1e302, AngleUnit::Radian, -1e302, 0, nullptr},
      // An infinity inside the program that disappears again is not noticed.
      {"1/(k0*Exp(x))", {1}, 800, AngleUnit::Radian, 0, 0, nullptr},
      // The first error's message stays (Sqrt's slot runs before the division's); the status
      // is the last error's.
      {"k0/(x+1)+Sqrt(x)",
       {1},
       -1,
       AngleUnit::Radian,
       kInf,
       4,
       "Sqrtの対象に負の値が指定されました。計算できません。"},
  };
  for (const EvalCase& c : cases) {
    auto f = Formula(c.text, c.constants, c.unit);
    RecordingMessages messages;
    std::int8_t status = 0;
    const double v = EvaluateFormula(*f, Point{c.x, 0.0, 0.0}, status, &messages);
    const std::string label = std::string(c.text) + " at x=" + FormatNumber(c.x);
    if (std::isnan(c.value)) {
      EXPECT_TRUE(std::isnan(v)) << label << " gave " << v;
    } else {
      EXPECT_TRUE(SameBits(v, c.value)) << label << " gave " << v << ", not " << c.value;
    }
    EXPECT_EQ(status, c.status) << label;
    if (c.message == nullptr) {
      EXPECT_TRUE(messages.errors.empty()) << label << ": " << messages.errors.front();
    } else {
      ASSERT_EQ(messages.errors.size(), 1u) << label;
      EXPECT_EQ(messages.errors[0], c.message) << label;
    }
    EXPECT_TRUE(messages.boxes.empty());
  }
}

TEST(EvaluateFormula, FailingSlotsKeepTheirValueOfThePreviousCall) {
  auto f = Formula("k0*Ln(x)", {2});
  std::int8_t status = 0;
  EXPECT_EQ(EvaluateFormula(*f, Point{std::exp(1.0), 0, 0}, status, nullptr),
            2 * std::log(std::exp(1.0)));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(EvaluateFormula(*f, Point{0, 0, 0}, status, nullptr), 2 * std::log(std::exp(1.0)));
  EXPECT_EQ(status, 10);
  EXPECT_EQ(f->slotValue[0], std::log(std::exp(1.0)));
}

TEST(EvaluateFormula, LeavesTheStatusToTheCaller) {
  auto f = Formula("k0/x", {1});
  RecordingMessages messages;
  std::int8_t status = -10;  // a caller's marker: no message, no final range test
  EXPECT_TRUE(std::isinf(EvaluateFormula(*f, Point{0, 0, 0}, status, &messages)));
  EXPECT_EQ(status, 4) << "a failing operation still overwrites the status";
  EXPECT_TRUE(messages.errors.empty());

  status = -10;
  auto g = Formula("k0*Exp(x)", {1});
  EXPECT_TRUE(std::isinf(EvaluateFormula(*g, Point{800, 0, 0}, status, &messages)));
  EXPECT_EQ(status, -10);
  EXPECT_TRUE(messages.errors.empty());

  // A successful call does not clear an earlier code.
  status = 4;
  EXPECT_EQ(EvaluateFormula(*f, Point{2, 0, 0}, status, &messages), 0.5);
  EXPECT_EQ(status, 4);

  // Without a message sink the status is still set.
  status = 0;
  EvaluateFormula(*f, Point{0, 0, 0}, status, nullptr);
  EXPECT_EQ(status, 4);
}

TEST(EvaluateFormula, AnUnregisteredOperatorShowsItsBoxOnEveryCall) {
  auto f = std::make_unique<CompiledFormula>();  // the empty program: slot 0 has code 0
  RecordingMessages messages;
  std::int8_t status = 0;
  EXPECT_EQ(EvaluateFormula(*f, Point{1, 2, 0}, status, &messages), 0.0);
  EXPECT_EQ(status, 23);
  status = 7;
  EvaluateFormula(*f, Point{1, 2, 0}, status, &messages);
  EXPECT_EQ(status, 23);
  ASSERT_EQ(messages.boxes.size(), 2u);
  EXPECT_EQ(messages.boxes[0], "演算子が登録されていません");
  EXPECT_TRUE(messages.errors.empty());

  // A code beyond 22 written into a checked program, the slot keeping its previous value.
  auto g = Formula("x*k0+k1", {2, 1});
  status = 0;
  EXPECT_EQ(EvaluateFormula(*g, Point{3, 0, 0}, status, &messages), 7.0);
  g->opCode[0] = 40;
  g->PrepareEvaluation();
  EXPECT_EQ(EvaluateFormula(*g, Point{5, 0, 0}, status, &messages), 7.0);
  EXPECT_EQ(status, 23);
  EXPECT_EQ(messages.boxes.size(), 3u);
}

TEST(EvaluateFormula, ReadsTheVariablesOfThePointIntoTheCells) {
  auto f = Formula("k0*y+k1*x", {10, 1});
  std::int8_t status = 0;
  EXPECT_EQ(EvaluateFormula(*f, Point{3, 4, 99}, status, nullptr), 43.0);
  EXPECT_EQ(f->x, 3.0);
  EXPECT_EQ(f->y, 4.0);
}

TEST(EvaluateFormula, InvalidProgramsEvaluateWithoutReadingMissingOperands) {
  for (const char* text : {"k0*-x", "*x", "x+", "Sqrt()", "x^^^k0", "(x+k0"}) {
    auto f = std::make_unique<CompiledFormula>();
    EXPECT_NE(CheckFormula(*f, text, LeftSide::NotSelected), FormulaCheckCode::FormulaValid)
        << text;
    std::int8_t status = 0;
    EvaluateFormula(*f, Point{1, 1, 0}, status, nullptr);
  }
}

// The specialised power steps (literal whole exponents) and the general one (a constant as the
// exponent) give bit for bit the results of binary powering and of Power.
TEST(EvaluateFormula, PowerStepsMatchBinaryPoweringBitForBit) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> base(-30.0, 30.0);
  const int exponents[] = {0, 1, 2, 3, 4, 5, 7, 10, -1, -2, -3, 31};
  for (int e : exponents) {
    const std::string text = "k0*x^" + (e < 0 ? "(0" + std::to_string(e) + ")" : std::to_string(e));
    auto literal = Formula(text.c_str(), {1});
    auto constant = Formula("k0*x^k1", {1, static_cast<double>(e)});
    for (int i = 0; i < 200; ++i) {
      const double b = base(rng);
      std::int8_t s1 = 0, s2 = 0;
      const double v1 = EvaluateFormula(*literal, Point{b, 0, 0}, s1, nullptr);
      const double v2 = EvaluateFormula(*constant, Point{b, 0, 0}, s2, nullptr);
      const double expected = IntegerPower(b, e);
      if (std::isinf(expected)) continue;
      ASSERT_TRUE(SameBits(v1, expected)) << text << " at " << b;
      ASSERT_TRUE(SameBits(v2, expected)) << "k1=" << e << " at " << b;
    }
  }
  EXPECT_EQ(Power(2.0, 0.5), std::exp(0.5 * std::log(2.0)));
  EXPECT_EQ(Power(-8.0, 1.0 / 3.0), 0.0);
  EXPECT_EQ(Power(-2.0, 4294967296.0), 0.0) << "a whole exponent beyond 32 bits";
  EXPECT_EQ(Power(2.0, 4294967296.0), kInf);
}

// Products followed by a sum or difference run as one step; each operand arrangement gives the
// value of the two operations as written.
TEST(EvaluateFormula, ProductsAndSumsInEveryOperandArrangement) {
  struct Case {
    const char* text;
    double (*expected)(double x, double k0, double k1, double k2);
  };
  const Case cases[] = {
      {"k0*x+k1", [](double x, double k0, double k1, double) { return k0 * x + k1; }},
      {"k1+k0*x", [](double x, double k0, double k1, double) { return k1 + k0 * x; }},
      {"k0*x-k1", [](double x, double k0, double k1, double) { return k0 * x - k1; }},
      {"k1-k0*x", [](double x, double k0, double k1, double) { return k1 - k0 * x; }},
      {"Sin(x)*k0+k1",
       [](double x, double k0, double k1, double) { return std::sin(x) * k0 + k1; }},
      {"k1+Sin(x)*k0",
       [](double x, double k0, double k1, double) { return k1 + std::sin(x) * k0; }},
      {"Sin(x)*k0-k1",
       [](double x, double k0, double k1, double) { return std::sin(x) * k0 - k1; }},
      {"k1-Sin(x)*k0",
       [](double x, double k0, double k1, double) { return k1 - std::sin(x) * k0; }},
      {"k0*Sin(x)+k1",
       [](double x, double k0, double k1, double) { return k0 * std::sin(x) + k1; }},
      {"k1+k0*Sin(x)",
       [](double x, double k0, double k1, double) { return k1 + k0 * std::sin(x); }},
      {"k0*Sin(x)-k1",
       [](double x, double k0, double k1, double) { return k0 * std::sin(x) - k1; }},
      {"k1-k0*Sin(x)",
       [](double x, double k0, double k1, double) { return k1 - k0 * std::sin(x); }},
      {"k0*x+k1*x+k2",
       [](double x, double k0, double k1, double k2) { return (k0 * x + k1 * x) + k2; }},
      {"k0*x*x-k1*x+k2-x",
       [](double x, double k0, double k1, double k2) { return ((k0 * x * x - k1 * x) + k2) - x; }},
  };
  const double k0 = 1.3, k1 = -0.7, k2 = 0.1;
  for (const Case& c : cases) {
    auto f = Formula(c.text, {k0, k1, k2});
    for (double x : {-2.5, -0.1, 0.0, 0.3, 1.7, 123.456}) {
      std::int8_t status = 0;
      const double v = EvaluateFormula(*f, Point{x, 0, 0}, status, nullptr);
      EXPECT_TRUE(SameBits(v, c.expected(x, k0, k1, k2))) << c.text << " at " << x;
      EXPECT_EQ(status, 0);
    }
  }
  auto g = Formula("k0*x+k1", {k0, k1});
  std::int8_t status = 0;
  EvaluateFormula(*g, Point{2.0, 0, 0}, status, nullptr);
  EXPECT_EQ(g->slotValue[0], k0 * 2.0) << "the product's slot is written too";
  EXPECT_EQ(g->slotValue[1], k0 * 2.0 + k1);
}

// The reference: the loop of single evaluations that SumOfSquares replaces.
SumOfSquaresResult LoopSum(CompiledFormula& f, const SumOfSquaresTask& t, std::int8_t& status,
                           FormulaMessages* messages) {
  SumOfSquaresResult r;
  const std::uint32_t step = t.interval == 0 ? 1 : t.interval;
  for (std::uint32_t i = 0; i < t.count; i += step) {
    const double model = EvaluateFormula(f, t.points[i], status, messages);
    const double residual = (t.observed_is_x ? t.points[i].x : t.points[i].y) - model;
    if (t.check_overflow && std::fabs(residual) >= t.overflow_limit) {
      r.overflow = true;
      return r;
    }
    r.sum += residual * residual;
    if (t.early_stop && r.sum >= t.stop_at) break;
  }
  return r;
}

TEST(SumOfSquares, EqualsTheLoopOfSingleEvaluationsBitForBit) {
  std::vector<Point> points(1000);
  for (std::size_t i = 0; i < points.size(); ++i) {
    points[i].x = -5.0 + 0.01 * static_cast<double>(i);
    points[i].y = std::sin(points[i].x) + 0.001 * static_cast<double>(i % 7);
  }
  struct Case {
    const char* text;
    std::vector<double> constants;
    std::uint32_t count, interval;
    bool observed_is_x, early_stop;
    double stop_at;
    bool check_overflow;
    double overflow_limit;
  };
  const Case cases[] = {
      {"k0*Sin(k1*x+k2)+k3", {1.1, 0.9, 0.1, 0.01}, 1000, 1, false, false, 0, false, 0},
      {"k0*Sin(k1*x+k2)+k3", {1.1, 0.9, 0.1, 0.01}, 1000, 7, false, true, 3.0, false, 0},
      {"k0*Sin(k1*x+k2)+k3", {1.1, 0.9, 0.1, 0.01}, 999, 0, false, true, 1e9, false, 0},
      {"k0*y+k1", {2, 1}, 1000, 3, true, false, 0, false, 0},
      {"k0*Ln(x)+Sqrt(x)", {1}, 1000, 1, false, false, 0, false, 0},
      {"k0/(x-k1)", {1, 0.0}, 1000, 1, false, false, 0, false, 0},
      {"Sqrt(x-k1)*k0+x^5", {1, -1.0}, 1000, 2, false, false, 0, false, 0},
      {"k0*Exp(k1*x)", {1, 80}, 1000, 1, false, false, 0, true, 1e100},
      {"k0*Exp(k1*x)", {1, 80}, 1000, 13, false, true, 1e30, false, 0},
      {"k0*x", {1}, 1, 5, false, false, 0, false, 0},
      {"k0*x", {1}, 0, 1, false, false, 0, false, 0},
  };
  for (const Case& c : cases) {
    auto a = Formula(c.text, c.constants);
    auto b = Formula(c.text, c.constants);
    SumOfSquaresTask task;
    task.points = points.data();
    task.count = c.count;
    task.interval = c.interval;
    task.observed_is_x = c.observed_is_x;
    task.early_stop = c.early_stop;
    task.stop_at = c.stop_at;
    task.check_overflow = c.check_overflow;
    task.overflow_limit = c.overflow_limit;
    RecordingMessages ma, mb;
    std::int8_t sa = 0, sb = 0;
    const SumOfSquaresResult ra = SumOfSquares(*a, task, sa, &ma);
    const SumOfSquaresResult rb = LoopSum(*b, task, sb, &mb);
    EXPECT_TRUE(SameBits(ra.sum, rb.sum) || (std::isnan(ra.sum) && std::isnan(rb.sum)))
        << c.text << ": " << ra.sum << " vs " << rb.sum;
    EXPECT_EQ(ra.overflow, rb.overflow) << c.text;
    EXPECT_EQ(sa, sb) << c.text;
    EXPECT_EQ(ma.errors, mb.errors) << c.text;
    EXPECT_EQ(std::memcmp(a->slotValue, b->slotValue, sizeof a->slotValue), 0) << c.text;
    EXPECT_TRUE(SameBits(a->x, b->x)) << c.text;
  }
}

TEST(SquareRoot, GivesZeroForZeroAndNonNumbersAndMinusOneForNegatives) {
  EXPECT_EQ(SquareRoot(4.0), 2.0);
  EXPECT_TRUE(SameBits(SquareRoot(-0.0), 0.0));
  EXPECT_EQ(SquareRoot(kNaN), 0.0);
  EXPECT_EQ(SquareRoot(-4.0), -1.0);
}

}  // namespace
}  // namespace calvane
