#include "formula/compiled_formula.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "base/file_io.h"
#include "formula/evaluator.h"
#include "formula/formula_check.h"
#include "tests/support/temp_dir.h"

namespace calvane {
namespace {

std::unique_ptr<CompiledFormula> Checked(const char* text) {
  auto f = std::make_unique<CompiledFormula>();
  EXPECT_EQ(CheckFormula(*f, text, LeftSide::NotSelected), FormulaCheckCode::FormulaValid) << text;
  return f;
}

TEST(FormulaFile, IsWrittenByteForByteIntoTheWorkingDirectory) {
  struct Case {
    const char* formula;  // nullptr: the empty program of a fresh record
    const char* lines;
  };
  const Case cases[] = {
      {nullptr, "OV0=  (,)\r\n"},
      {"x*k0", "OV0= * (x,k0)\r\n"},
      {"k0*Exp(-x^2/k1)",
       "OV0= ^ (x,2)\r\nOV1= / (OV0,k1)\r\nOV2= - (OV1)\r\nOV3= Exp (OV2)\r\nOV4= * (k0,OV3)\r\n"},
      {"0.5*x+0.00001*k0",
       "OV0= * (0.5,x)\r\nOV1= * (1.00000000000000e-05,k0)\r\nOV2= + (OV0,OV1)\r\n"},
      {"y*k7", "OV0= * (y,k7)\r\n"},
      {"Atan(x)+Sqrt(k0)", "OV0= Atan (x)\r\nOV1= Sqrt (k0)\r\nOV2= + (OV0,OV1)\r\n"},
  };
  for (const Case& c : cases) {
    auto f = std::make_unique<CompiledFormula>();
    if (c.formula != nullptr) {
      ASSERT_EQ(CheckFormula(*f, c.formula, LeftSide::NotSelected), FormulaCheckCode::FormulaValid)
          << c.formula;
    }
    test::TempDir dir;
    ASSERT_TRUE(WriteFormulaFile(*f, dir.path()));
    const std::string expected = std::string("[Formula]\r\n") + c.lines + std::string(1, '\0');
    EXPECT_EQ(ReadWholeFile(dir.File("Formula.ini")), expected)
        << (c.formula ? c.formula : "(empty)");
  }
}

TEST(FormulaFile, NamesAConstantByItsNameNotItsIndexAndSlotsBeyondNine) {
  auto f = Checked("k7*x");
  EXPECT_EQ(f->paramIndex[7], 0);
  EXPECT_EQ(FormulaFileText(*f), std::string("[Formula]\r\nOV0= * (k7,x)\r\n", 26) + '\0');

  auto g = Checked("x+x+x+x+x+x+x+x+x+x+x+k0");
  const std::string text = FormulaFileText(*g);
  EXPECT_NE(text.find("OV9= + (OV8,x)\r\nOV10= + (OV9,k0)\r\n"), std::string::npos) << text;
}

TEST(FormulaFile, ReportsAnUnwritableFolder) {
  auto f = Checked("x*k0");
  EXPECT_FALSE(WriteFormulaFile(*f, "/nonexistent-folder"));
}

TEST(FormulaFile, AnEmptyFormulaWritesTheEmptyProgram) {
  auto f = std::make_unique<CompiledFormula>();
  EXPECT_EQ(CheckFormula(*f, "", LeftSide::NotSelected), FormulaCheckCode::FormulaEmpty);
  EXPECT_EQ(FormulaFileText(*f), std::string("[Formula]\r\nOV0=  (,)\r\n") + '\0');
}

TEST(ApplyAngleUnit, SwitchesTrigonometricCodesAndIsIdempotent) {
  auto f = Checked("Sin(x)+Cos(k0)+Tan(x)+Asin(x)+Acos(x)+Atan(x)+Exp(x)");
  const std::uint8_t radians[] = {11, 12, 13, 14, 15, 16, 8};
  for (int s = 0; s < 7; ++s) ASSERT_EQ(f->opCode[s], radians[s]);
  ApplyAngleUnit(*f, AngleUnit::Degree);
  ApplyAngleUnit(*f, AngleUnit::Degree);
  const std::uint8_t degrees[] = {17, 18, 19, 20, 21, 22, 8};
  for (int s = 0; s < 7; ++s) EXPECT_EQ(f->opCode[s], degrees[s]) << s;
  EXPECT_EQ(f->opCode[7], 1);
  EXPECT_TRUE(f->EvaluationPrepared());
  // The degree codes keep their names in the file.
  EXPECT_NE(FormulaFileText(*f).find("OV0= Sin (x)"), std::string::npos);
  ApplyAngleUnit(*f, AngleUnit::Radian);
  for (int s = 0; s < 7; ++s) EXPECT_EQ(f->opCode[s], radians[s]) << s;
  EXPECT_TRUE(f->EvaluationPrepared());
}

TEST(CompiledFormula, StartsAsTheEmptyProgram) {
  auto f = std::make_unique<CompiledFormula>();
  EXPECT_EQ(f->formulaText[0], '\0');
  EXPECT_EQ(f->opCode[0], 0);
  for (int n = 0; n < kMaxConstants; ++n) EXPECT_EQ(f->paramIndex[n], kUnusedConstant);
  EXPECT_FALSE(f->usesX);
  EXPECT_TRUE(f->EvaluationPrepared());
}

TEST(CompiledFormula, CopyFromRebindsEveryReferenceIntoTheCopy) {
  auto original = Checked("k1*Exp(-(x-k0)^2/0.5)+y");
  std::strcpy(original->formulaText, "accepted");
  original->paramValue[0] = 2.0;
  original->paramValue[1] = 3.0;
  auto copy = std::make_unique<CompiledFormula>();
  copy->CopyFrom(*original);
  EXPECT_STREQ(copy->formulaText, "accepted");
  EXPECT_EQ(FormulaFileText(*copy), FormulaFileText(*original));
  EXPECT_TRUE(copy->EvaluationPrepared());

  const char* self_begin = reinterpret_cast<const char*>(copy.get());
  const char* self_end = self_begin + sizeof(CompiledFormula);
  for (int s = 0; s < kMaxSlots && copy->opCode[s] != 0; ++s) {
    for (const double* p : {copy->leftOperand[s], copy->rightOperand[s]}) {
      if (p == nullptr) continue;
      const char* b = reinterpret_cast<const char*>(p);
      EXPECT_TRUE(b >= self_begin && b < self_end) << "slot " << s;
    }
  }

  // The copy evaluates on its own: changing the original's constants does not reach it.
  std::int8_t status = 0;
  const Point point{0.5, 1.0, 0.0};
  const double expected = EvaluateFormula(*original, point, status, nullptr);
  original->paramValue[1] = 100.0;
  EXPECT_EQ(EvaluateFormula(*copy, point, status, nullptr), expected);
  EXPECT_EQ(status, 0);
  EXPECT_NE(EvaluateFormula(*original, point, status, nullptr), expected);

  copy->CopyFrom(*copy);
  EXPECT_TRUE(copy->EvaluationPrepared());
}

TEST(CompiledFormula, ADirectEditIsSeenAsUnprepared) {
  auto f = Checked("x*k0+k1");
  f->opCode[1] = 2;
  EXPECT_FALSE(f->EvaluationPrepared());
  f->PrepareEvaluation();
  EXPECT_TRUE(f->EvaluationPrepared());
  f->leftOperand[0] = &f->y;
  EXPECT_FALSE(f->EvaluationPrepared());
  f->PrepareEvaluation();
  std::int8_t status = 0;
  f->paramValue[0] = 1.0;
  f->paramValue[1] = 4.0;
  EXPECT_EQ(EvaluateFormula(*f, Point{2.0, 10.0, 0.0}, status, nullptr), 6.0);
}

}  // namespace
}  // namespace calvane
