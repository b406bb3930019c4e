#pragma once

#include <cstdint>
#include <string>

#include "formula/eval_program.h"
#include "formula/formula_types.h"

namespace calvane {

constexpr int kMaxSlots = 256;
constexpr int kMaxConstants = 10;
constexpr std::uint8_t kUnusedConstant = 255;
constexpr int kFormulaTextSize = 502;  // 500 bytes of text, room for the check's terminator

// The fitting formula as a flat program of slots. Slot s applies opCode[s] to the cells that
// leftOperand[s] and rightOperand[s] point at and stores the result in slotValue[s]; the first
// slot whose code is 0 ends the program. Operands point into this record's own cells, so the
// record never moves while references exist: it cannot be copied implicitly. CopyFrom makes an
// independent copy whose references point into the copy.
struct CompiledFormula {
  CompiledFormula();
  CompiledFormula(const CompiledFormula&) = delete;
  CompiledFormula& operator=(const CompiledFormula&) = delete;

  // Copies everything and rebinds every operand reference to the cells of *this.
  void CopyFrom(const CompiledFormula& other);

  // Resets the program for a new check: op codes 0, no operands, slot values and literals 0,
  // every constant unused, variable cells and use flags cleared. formulaText and paramValue stay.
  void ResetProgram();

  // Rebuilds the evaluation program (evalProgram_) from opCode and the operand references.
  // CheckFormula, ResetProgram, ApplyAngleUnit, CopyFrom and the constructor call it; code that
  // edits opCode, the operand references or a literal directly must call it before the next
  // evaluation. Cheap (one pass over the slots). Defined with the evaluator.
  void PrepareEvaluation();

  // True when evalProgram_ matches opCode, the operand references and the literals, i.e. no
  // direct edit has been made since the last PrepareEvaluation. For checks in tests and debug
  // builds; a pass over the slots.
  bool EvaluationPrepared() const;

  char formulaText[kFormulaTextSize];
  std::uint8_t opCode[kMaxSlots];
  const double* leftOperand[kMaxSlots];
  const double* rightOperand[kMaxSlots];
  double slotValue[kMaxSlots];
  double literal[kMaxSlots][2];
  double paramValue[kMaxConstants];
  std::uint8_t paramIndex[kMaxConstants];  // for k0..k9: constant index, or kUnusedConstant
  double x;
  double y;
  bool usesX;
  bool usesY;

  // Evaluator-internal: the program that EvaluateFormula runs, derived from the fields above.
  EvalStep evalProgram_[kMaxSlots + 1];  // the steps, then an end step
  std::int32_t evalLength_;              // number of steps (at least 1: slot 0 always runs)
  double missingOperand_;  // always 0: what an operand reads where the check left none
  bool evalCallFree_;      // no step calls a library function (see the evaluator)
};

// Codes 11..16 become 17..22 for Degree; 17..22 become 11..16 for Radian. Idempotent.
void ApplyAngleUnit(CompiledFormula& formula, AngleUnit angle_unit);

// The bytes WriteFormulaFile writes: the text of Formula.ini plus its terminating zero byte.
std::string FormulaFileText(const CompiledFormula& formula);

// Writes Formula.ini into `working_directory`, byte for byte (header, one "OVn= ..." line per
// slot, CR LF, terminating zero byte). Returns false when the file cannot be written; callers
// carry on regardless.

bool WriteFormulaFile(const CompiledFormula& formula, const std::string& working_directory);

}  // namespace calvane
