#pragma once

#include <cstdint>

namespace calvane {

// One step of the evaluation program: a slot of the compiled formula as the evaluator runs it,
// with the operation already resolved to a specialised handler (operand kinds, literal integer
// exponents) and the operand references resolved to cells that are always readable. Built from
// opCode and the operand references by CompiledFormula::PrepareEvaluation; nothing outside the
// evaluator reads it.
struct EvalStep {
  const double* left;
  const double* right;
  double* result;
  std::int32_t exponent;  // the literal integer exponent of the specialised power handlers
  std::uint8_t handler;   // evaluator-internal handler number
  std::uint8_t opCode;    // the slot's operation code (the status of its domain error)
  std::uint8_t slot;
};

}  // namespace calvane
