#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "formula/formula_types.h"

namespace calvane {

// Verdict on the accepted formula.
enum class FormulaState : std::uint8_t { NotEntered = 0, Invalid = 1, Valid = 2 };

// How the least-squares phase finds the constants: the lattice search alone (the default), the
// lattice search finished by a Levenberg-Marquardt phase, or the Levenberg-Marquardt phase in
// place of the lattice search.
enum class SearchMethod : std::uint8_t { Lattice = 0, LatticeThenLm = 1, LmOnly = 2 };

// The four texts of one constant, each at most 19 characters, exactly as typed (Shift-JIS).
struct ConstantTexts {
  std::string InitialValue;
  std::string VarRegionL;
  std::string VarRegionU;
  std::string Accuracy;
};

// Everything a fit needs apart from the data. The accepted formula text itself lives in
// CompiledFormula::formulaText.
struct ConditionRecord {
  LeftSide leftSide = LeftSide::Y;
  std::array<ConstantTexts, 10> constants{};
  AngleUnit angleUnit = AngleUnit::Degree;
  std::uint8_t roughEstimation = 1;
  std::uint8_t dataInterval = 1;  // 1..100
  SearchMethod searchMethod = SearchMethod::Lattice;
  FormulaState formulaState = FormulaState::NotEntered;
};

}  // namespace calvane
