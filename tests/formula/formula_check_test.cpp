#include "formula/formula_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "formula/compiled_formula.h"
#include "formula/formula_messages.h"

namespace calvane {
namespace {

// The check with the left side and the result code as their numbers, which the tables below
// (and the formula status label of the conditions dialog) are written in.
int Check(CompiledFormula& f, std::string_view text, int left_side) {
  return static_cast<int>(CheckFormula(f, text, static_cast<LeftSide>(left_side)));
}

// The compiled program as the lines of Formula.ini without its header, joined by "; ".
std::string Program(const CompiledFormula& f) {
  std::string text = FormulaFileText(f);
  std::string out;
  std::size_t pos = text.find("\r\n") + 2;
  for (;;) {
    std::size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) break;
    if (!out.empty()) out += "; ";
    out += text.substr(pos, end - pos);
    pos = end + 2;
  }
  return out;
}

struct CheckCase {
  const char* text;
  std::uint8_t left_side;
  int code;
  const char* program;  // nullptr: not compared
};

TEST(CheckFormula, CompilesSlotsInPrecedenceOrderAndReturnsTheCode) {
  const CheckCase cases[] = {
      {"k0*x+k1", 0, 0, "OV0= * (k0,x); OV1= + (OV0,k1)"},
      {"k0*Exp(-x^2/k1)", 2, 0,
       "OV0= ^ (x,2); OV1= / (OV0,k1); OV2= - (OV1); OV3= Exp (OV2); OV4= * (k0,OV3)"},
      {"SQRT (x) * k0", 0, 0, "OV0= Sqrt (x); OV1= * (OV0,k0)"},
      {"x^2^3*k0", 0, 0, "OV0= ^ (x,2); OV1= ^ (OV0,3); OV2= * (OV1,k0)"},
      {"-x^2+k0", 0, 0, "OV0= ^ (x,2); OV1= - (OV0); OV2= + (OV1,k0)"},
      {"-x*k0", 0, 0, "OV0= * (x,k0); OV1= - (OV0)"},
      {"-x+k0", 0, 0, "OV0= - (x); OV1= + (OV0,k0)"},
      {"+x+k0", 0, 0, "OV0= + (x,k0)"},
      {"k0-x-k1", 0, 0, "OV0= - (k0,x); OV1= - (OV0,k1)"},
      {"k0*(-x)", 0, 0, "OV0= - (x); OV1= * (k0,OV0)"},
      {"k0*(x)", 0, 0, "OV0= * (k0,x)"},
      {"1e-3*x*k0", 0, 0, "OV0= * (0.001,x); OV1= * (OV0,k0)"},
      {"2.5E+2*y+k3", 1, 0, "OV0= * (250,y); OV1= + (OV0,k3)"},
      {"1e-400*x*k0", 0, 0, "OV0= * (0,x); OV1= * (OV0,k0)"},
      {"aSin(x)+Sin(k0)", 0, 0, "OV0= Asin (x); OV1= Sin (k0); OV2= + (OV0,OV1)"},
      {"ln(x)*LOG(k0)+ATAN(y)/acos(k1)+tan(x)-cos(k2)", 0, 0,
       "OV0= Ln (x); OV1= Log (k0); OV2= Atan (y); OV3= Acos (k1); OV4= Tan (x); "
       "OV5= Cos (k2); OV6= * (OV0,OV1); OV7= / (OV2,OV3); OV8= + (OV6,OV7); "
       "OV9= + (OV8,OV4); OV10= - (OV9,OV5)"},
      {"(k0+k1*x)/(1+k2*x)", 0, 0,
       "OV0= * (k1,x); OV1= + (k0,OV0); OV2= * (k2,x); OV3= + (1,OV2); OV4= / (OV1,OV3)"},
      {"(x+k0", 0, 3, "OV0= + (x,k0)"},
      {"x+k0)", 0, 1, nullptr},
      {"x", 0, 1, nullptr},
      {"(x)", 0, 1, nullptr},
      {"((x))", 0, 1, nullptr},
      {"k0*x k1", 0, 1, nullptr},
      {"k0*-x", 0, 1, nullptr},
      {"x^-2*k0", 0, 1, nullptr},
      {"2x*k0", 0, 4, nullptr},
      {"x(k0)", 0, 1, nullptr},
      {"Sqrt(x)Sqrt(k0)", 0, 1, nullptr},
      {"*x+k0", 0, 1, nullptr},
      {"k0+2", 0, 2, nullptr},
      {"k0 + 2", 0, 2, nullptr},
      {"x + 2", 0, 2, nullptr},
      {"x*k0", 1, 5, nullptr},
      {"y*k0", 2, 5, nullptr},
      {"x*k0", 2, 0, nullptr},
      {"1.e3*x*k0", 0, 4, nullptr},
      {"1.2.3*x*k0", 0, 4, nullptr},
      {"1e400*x*k0", 0, 7, nullptr},
      {"", 0, 10, nullptr},
      {"     ", 0, 10, nullptr},
      {"k10*x", 0, 1, nullptr},
      {"z*k0", 0, 1, nullptr},
      {"k*x", 0, 1, nullptr},
      // A tab, "," or ";" inside a literal would cut it short silently: refused.
      {"1,5*x*k0", 0, 4, nullptr},
      {"1;5*x*k0", 0, 4, nullptr},
      {"1\t5*x*k0", 0, 4, nullptr},
      // A line feed typed into the text is not a compiled result, whatever byte marks those.
      {"k0*x+\n", 0, 1, nullptr},
      {"\n", 0, 1, nullptr},
      {"x*k0\x83\x5e", 0, 1, nullptr},
  };
  for (const CheckCase& c : cases) {
    auto f = std::make_unique<CompiledFormula>();
    EXPECT_EQ(Check(*f, c.text, c.left_side), c.code) << '"' << c.text << '"';
    if (c.program != nullptr) {
      EXPECT_EQ(Program(*f), c.program) << '"' << c.text << '"';
    }
  }
}

TEST(CheckFormula, NumbersConstantsInTheOrderTheCheckMeetsThem) {
  auto f = std::make_unique<CompiledFormula>();
  ASSERT_EQ(Check(*f, "k1*x+k0", 0), 0);
  EXPECT_EQ(f->paramIndex[1], 0);
  EXPECT_EQ(f->paramIndex[0], 1);
  for (int n = 2; n < kMaxConstants; ++n) EXPECT_EQ(f->paramIndex[n], kUnusedConstant);
  EXPECT_EQ(f->leftOperand[0], &f->paramValue[0]);
  EXPECT_EQ(f->rightOperand[0], &f->x);
  EXPECT_EQ(f->leftOperand[1], &f->slotValue[0]);
  EXPECT_EQ(f->rightOperand[1], &f->paramValue[1]);
  EXPECT_EQ(f->opCode[2], 0);
  EXPECT_TRUE(f->usesX);
  EXPECT_FALSE(f->usesY);

  // Exp(-x^2/k1) is compiled before the product with k0: k1 gets index 0.
  ASSERT_EQ(Check(*f, "k0*Exp(-x^2/k1)", 0), 0);
  EXPECT_EQ(f->paramIndex[1], 0);
  EXPECT_EQ(f->paramIndex[0], 1);
  EXPECT_EQ(f->rightOperand[0], &f->literal[0][1]);
  EXPECT_EQ(f->literal[0][1], 2.0);
}

TEST(CheckFormula, RebuildsTheProgramAndKeepsConstantValuesAndAcceptedText) {
  auto f = std::make_unique<CompiledFormula>();
  std::strcpy(f->formulaText, "k0*y");
  f->paramValue[0] = 3.5;
  f->slotValue[7] = 9.0;
  ASSERT_EQ(Check(*f, "k0*x+k1*x+k2*x+k3*x+k4*x+k5*x+k6*x+k7*x", 0), 0);
  EXPECT_STREQ(f->formulaText, "k0*y");
  ASSERT_EQ(Check(*f, "x+k9", 0), 0);
  EXPECT_EQ(Program(*f), "OV0= + (x,k9)");
  EXPECT_EQ(f->paramIndex[9], 0);
  EXPECT_EQ(f->paramIndex[0], kUnusedConstant);
  EXPECT_EQ(f->opCode[1], 0);
  EXPECT_EQ(f->slotValue[7], 0.0);
  EXPECT_EQ(f->paramValue[0], 3.5) << "constant values are the engine's";
  EXPECT_EQ(Check(*f, "(((", 0), 3);
  EXPECT_STREQ(f->formulaText, "k0*y");
  EXPECT_TRUE(f->EvaluationPrepared());
}

TEST(CheckFormula, ReadsAtMost500BytesAndStaysInsideItsBuffer) {
  auto f = std::make_unique<CompiledFormula>();
  // 498 bytes: valid. 500 bytes: code 8 even though the formula would be valid.
  std::string valid = "k0*x";
  while (valid.size() < 498) valid += "+x";
  ASSERT_EQ(valid.size(), 498u);
  EXPECT_EQ(Check(*f, valid, 0), 0);
  EXPECT_EQ(Check(*f, valid + " ", 0), 0);
  EXPECT_EQ(Check(*f, valid + "  ", 0), 8);
  EXPECT_EQ(Check(*f, valid + std::string(300, ' '), 0), 8);

  // Unmatched "(" up to the last byte, and runs of operators beyond the slot table. Later
  // failures overwrite the code 8 of the length test.
  EXPECT_EQ(Check(*f, std::string(500, '('), 0), 3);
  EXPECT_EQ(Check(*f, "x*k0+" + std::string(495, '('), 0), 1);
  EXPECT_EQ(Check(*f, std::string(499, '('), 0), 3);
  EXPECT_EQ(Check(*f, "k0*x" + std::string(495, '^'), 0), 1);
  EXPECT_EQ(Check(*f, "k0*x" + std::string(495, '-'), 0), 1);
  EXPECT_EQ(Check(*f, "x*k0*" + std::string(494, '9'), 0), 7);
  EXPECT_EQ(Check(*f, "x*k0*1e" + std::string(492, '9'), 0), 7);
  EXPECT_EQ(Check(*f, "x*k0*1e-" + std::string(491, '9'), 0), 0);
  std::string with_zero("x*k0\0+", 6);
  EXPECT_EQ(Check(*f, with_zero, 0), 0) << "the text ends at a zero byte";
}

// A random well-formed formula of nesting depth up to `depth`.
std::string RandomFormula(std::mt19937& rng, int depth) {
  static const char* const kOperands[] = {"x", "y", "k0", "k3", "K9", "2.5", "1e-3", ".5", "7"};
  static const char* const kFunctions[] = {"Sin",  "cos",  "EXP",  "Ln",   "Log",
                                           "Sqrt", "Asin", "ACOS", "atan", "Tan"};
  static const char kOperators[] = "+-*/^";
  switch (depth <= 0 ? 0 : rng() % 5) {
    case 0:
      return kOperands[rng() % 9];
    case 1:
      return std::string(kFunctions[rng() % 10]) + (rng() % 2 ? " (" : "(") +
             RandomFormula(rng, depth - 1) + ")";
    case 2:
      return "(-" + RandomFormula(rng, depth - 1) + ")";
    case 3:
      return "(" + RandomFormula(rng, depth - 1) + ")*k1";
    default:
      return RandomFormula(rng, depth - 1) + (rng() % 3 ? "" : " ") + kOperators[rng() % 5] +
             RandomFormula(rng, depth - 1);
  }
}

// Random formulas, some with one byte changed: every check ends with a known code, leaves the
// accepted text alone, and a valid program only reads cells that are final before each slot
// runs, with constant indexes 0..n-1 without gaps.
TEST(CheckFormula, RandomTextsGiveKnownCodesAndSoundPrograms) {
  static const char kAlphabet[] = "kx09.e+-*/^()  S\t,\n";
  std::mt19937 rng(2026);
  auto f = std::make_unique<CompiledFormula>();
  std::strcpy(f->formulaText, "accepted");
  int valid = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string text = "k2*x+" + RandomFormula(rng, 1 + round % 6);
    const bool mutated = round % 2 == 1;
    if (mutated) {
      const char c = rng() % 20 == 0 ? static_cast<char>(rng() % 256)
                                     : kAlphabet[rng() % (sizeof kAlphabet - 1)];
      text[rng() % text.size()] = c;
    }
    if (round % 50 == 0) text += std::string(rng() % 500, rng() % 2 ? '(' : ' ');
    const int left_side = mutated ? static_cast<int>(rng() % 3) : 0;
    const int code = Check(*f, text, left_side);
    if (!mutated && text.size() < 500 && text.find('(', text.size() - 1) == std::string::npos) {
      ASSERT_EQ(code, 0) << text;
    }
    ASSERT_TRUE(code == 0 || code == 1 || code == 2 || code == 3 || code == 4 || code == 5 ||
                code == 7 || code == 8 || code == 10)
        << code;
    ASSERT_STREQ(f->formulaText, "accepted");
    ASSERT_TRUE(f->EvaluationPrepared());
    if (code != 0) continue;
    ++valid;
    int used = 0;
    for (std::uint8_t index : f->paramIndex) used += index != kUnusedConstant;
    for (std::uint8_t index : f->paramIndex) {
      if (index != kUnusedConstant) {
        ASSERT_LT(index, used) << text;
      }
    }
    for (int s = 0; s < kMaxSlots && f->opCode[s] != 0; ++s) {
      ASSERT_LE(f->opCode[s], 16) << text;
      for (const double* p : {f->leftOperand[s], f->rightOperand[s]}) {
        if (p == nullptr) continue;
        const bool cell = p == &f->x || p == &f->y || p == &f->literal[s][0] ||
                          p == &f->literal[s][1] ||
                          (p >= f->paramValue && p < f->paramValue + used) ||
                          (p >= f->slotValue && p < f->slotValue + s);
        ASSERT_TRUE(cell) << text << " slot " << s;
      }
      ASSERT_NE(f->rightOperand[s], nullptr) << text;
      if (f->opCode[s] <= 5) {
        ASSERT_NE(f->leftOperand[s], nullptr) << text;
      }
    }
  }
  EXPECT_GT(valid, 1400);
}

TEST(FormulaCheckTexts, LabelsAndMessagesFollowTheCode) {
  EXPECT_EQ(FormulaStatusLabel(static_cast<FormulaCheckCode>(0)), "");
  for (int code : {1, 2, 3, 4, 5, 7, 8}) {
    EXPECT_EQ(FormulaStatusLabel(static_cast<FormulaCheckCode>(code)), "【エラー】式が不正です")
        << code;
  }
  EXPECT_EQ(FormulaStatusLabel(static_cast<FormulaCheckCode>(10)), "【エラー】式が未入力です");

  EXPECT_EQ(FormulaCheckMessage(static_cast<FormulaCheckCode>(0)), "");
  EXPECT_EQ(FormulaCheckMessage(static_cast<FormulaCheckCode>(10)), "");
  EXPECT_EQ(FormulaCheckMessage(static_cast<FormulaCheckCode>(1)), "フィッティング式が不正です。");
  EXPECT_EQ(FormulaCheckMessage(static_cast<FormulaCheckCode>(4)), "フィッティング式が不正です。");
  EXPECT_EQ(FormulaCheckMessage(static_cast<FormulaCheckCode>(2)),
            "フィッティング式には文字定数(k0-k9)と変数(x,y,z)"
            "を少なくとも一つずつ含まなくてはなりません。");
  EXPECT_EQ(FormulaCheckMessage(static_cast<FormulaCheckCode>(3)),
            "'(' と ')'の数が一致していません。");
  EXPECT_EQ(FormulaCheckMessage(static_cast<FormulaCheckCode>(5)),
            "左辺と同一の変数(xもしくはy)をフィッティング式中に含むことはできません。");
  EXPECT_EQ(FormulaCheckMessage(static_cast<FormulaCheckCode>(7)),
            "フィッティング式中に大きすぎる、あるいは小さすぎる数値定数が含まれています。");
  EXPECT_EQ(FormulaCheckMessage(static_cast<FormulaCheckCode>(8)),
            "フィッティング式は500文字未満でなくてはいけません。");
}

TEST(FormulaCheckTexts, AreStoredAsUtf8Bytes) {
  // "【エラー】" begins the labels: E3 80 90 E3 82 A8 E3 83 A9 E3 83 BC E3 80 91.
  EXPECT_EQ(FormulaStatusLabel(static_cast<FormulaCheckCode>(10)).substr(0, 15),
            "\xe3\x80\x90\xe3\x82\xa8\xe3\x83\xa9\xe3\x83\xbc\xe3\x80\x91");
  // "'(' と ')'": the "と" is E3 81 A8.
  EXPECT_EQ(FormulaCheckMessage(static_cast<FormulaCheckCode>(3)).substr(0, 7), "'(' \xe3\x81\xa8");
  // "演算子" (operator) begins the unregistered-operator box: E6 BC 94 E7 AE 97 E5 AD 90.
  EXPECT_EQ(text::kEvalUnregisteredOperator.substr(0, 9), "\xe6\xbc\x94\xe7\xae\x97\xe5\xad\x90");
}

}  // namespace
}  // namespace calvane
