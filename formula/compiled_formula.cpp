#include "formula/compiled_formula.h"

#include <cstring>
#include <functional>
#include <string_view>

#include "base/file_io.h"
#include "formula/number_text.h"

namespace calvane {
namespace {

// Index of `p` within the `count` cells starting at `first`, or -1. std::less gives a total order
// over pointers, so the test is well defined for pointers into other objects too.
long CellIndex(const double* p, const double* first, std::size_t count) {
  std::less<const double*> less;
  if (p == nullptr || less(p, first) || !less(p, first + count)) return -1;
  return static_cast<long>(p - first);
}

// The cell of `to` that corresponds to the cell `p` of `from`; pointers that do not point into
// `from` are kept as they are.
const double* RebindCell(const double* p, const CompiledFormula& from, const CompiledFormula& to) {
  if (p == nullptr) return nullptr;
  if (p == &from.x) return &to.x;
  if (p == &from.y) return &to.y;
  long i = CellIndex(p, from.paramValue, kMaxConstants);
  if (i >= 0) return &to.paramValue[i];
  i = CellIndex(p, from.slotValue, kMaxSlots);
  if (i >= 0) return &to.slotValue[i];
  i = CellIndex(p, &from.literal[0][0], kMaxSlots * 2);
  if (i >= 0) return &to.literal[0][0] + i;
  if (p == &from.missingOperand_) return &to.missingOperand_;
  return p;
}

constexpr std::string_view kOperationName[23] = {
    "",    "+",   "-",    "*",    "/",    "^",   "-",   "Sqrt", "Exp",  "Log",  "Ln",  "Sin",
    "Cos", "Tan", "Asin", "Acos", "Atan", "Sin", "Cos", "Tan",  "Asin", "Acos", "Atan"};

// The text of an operand of slot `s` in Formula.ini.
std::string OperandText(const CompiledFormula& f, int s, const double* p) {
  if (p == nullptr) return "";
  if (p == &f.x) return "x";
  if (p == &f.y) return "y";
  if (p == &f.literal[s][0]) return FormatNumber(f.literal[s][0]);
  if (p == &f.literal[s][1]) return FormatNumber(f.literal[s][1]);
  long i = CellIndex(p, f.paramValue, kMaxConstants);
  if (i >= 0) {
    for (int n = 0; n < kMaxConstants; ++n) {
      if (f.paramIndex[n] == i) return std::string("k") + static_cast<char>('0' + n);
    }
    return "";
  }
  i = CellIndex(p, f.slotValue, kMaxSlots);
  if (i >= 0) return "OV" + FormatNumber(static_cast<double>(i));
  return "";
}

}  // namespace

CompiledFormula::CompiledFormula() {
  std::memset(formulaText, 0, sizeof formulaText);
  for (double& v : paramValue) v = 0.0;
  ResetProgram();
}

void CompiledFormula::ResetProgram() {
  for (int s = 0; s < kMaxSlots; ++s) {
    opCode[s] = 0;
    leftOperand[s] = nullptr;
    rightOperand[s] = nullptr;
    slotValue[s] = 0.0;
    literal[s][0] = 0.0;
    literal[s][1] = 0.0;
  }
  for (std::uint8_t& index : paramIndex) index = kUnusedConstant;
  x = 0.0;
  y = 0.0;
  usesX = false;
  usesY = false;
  missingOperand_ = 0.0;
  PrepareEvaluation();
}

void CompiledFormula::CopyFrom(const CompiledFormula& other) {
  if (&other == this) return;
  std::memcpy(formulaText, other.formulaText, sizeof formulaText);
  std::memcpy(opCode, other.opCode, sizeof opCode);
  std::memcpy(slotValue, other.slotValue, sizeof slotValue);
  std::memcpy(literal, other.literal, sizeof literal);
  std::memcpy(paramValue, other.paramValue, sizeof paramValue);
  std::memcpy(paramIndex, other.paramIndex, sizeof paramIndex);
  x = other.x;
  y = other.y;
  usesX = other.usesX;
  usesY = other.usesY;
  missingOperand_ = 0.0;
  for (int s = 0; s < kMaxSlots; ++s) {
    leftOperand[s] = RebindCell(other.leftOperand[s], other, *this);
    rightOperand[s] = RebindCell(other.rightOperand[s], other, *this);
  }
  PrepareEvaluation();
}

void ApplyAngleUnit(CompiledFormula& formula, AngleUnit angle_unit) {
  for (int s = 0; s < kMaxSlots && formula.opCode[s] != 0; ++s) {
    std::uint8_t& code = formula.opCode[s];
    if (angle_unit == AngleUnit::Degree && code >= 11 && code <= 16) {
      code = static_cast<std::uint8_t>(code + 6);
    } else if (angle_unit == AngleUnit::Radian && code >= 17 && code <= 22) {
      code = static_cast<std::uint8_t>(code - 6);
    }
  }
  formula.PrepareEvaluation();
}

std::string FormulaFileText(const CompiledFormula& formula) {
  std::string text = "[Formula]\r\n";
  for (int s = 0; s < kMaxSlots; ++s) {
    const std::uint8_t code = formula.opCode[s];
    text += "OV";
    text += FormatNumber(static_cast<double>(s));
    text += "= ";
    if (code <= 22) text += kOperationName[code];
    text += " (";
    if (code >= 1 && code <= 5) {
      text += OperandText(formula, s, formula.leftOperand[s]);
      text += ",";
      text += OperandText(formula, s, formula.rightOperand[s]);
    } else if (code >= 6 && code <= 22) {
      text += OperandText(formula, s, formula.rightOperand[s]);
    } else {
      text += ",";
    }
    text += ")\r\n";
    if (s + 1 >= kMaxSlots || formula.opCode[s + 1] == 0) break;
  }
  text.push_back('\0');
  return text;
}

bool WriteFormulaFile(const CompiledFormula& formula, const std::string& working_directory) {
  return WriteWholeFile(JoinPath(working_directory, "Formula.ini"), FormulaFileText(formula));
}

}  // namespace calvane
