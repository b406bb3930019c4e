#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace calvane {

enum LeftSide : std::uint8_t { NotSelected = 0, X = 1, Y = 2 };
enum FormulaState : std::uint8_t { NotEntered = 0, Invalid = 1, Valid = 2 };

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
  std::uint8_t leftSide = Y;
  std::array<ConstantTexts, 10> constants{};
  std::uint8_t angleUnit = 0;  // 0 Degree, 1 Radian
  std::uint8_t roughEstimation = 1;
  std::uint8_t dataInterval = 1;  // 1..100
  std::uint8_t formulaState = NotEntered;
};

}  // namespace calvane
