#pragma once

#include <cstdint>

namespace calvane {

// The variable that the formula defines (its left-hand side); the same value names the observed
// field of every point in a fit (X the x value, Y the y value).
enum class LeftSide : std::uint8_t { NotSelected = 0, X = 1, Y = 2 };

// The left side for an item index of the left-side box (0 empty, 1 x, 2 y); any other index
// (-1: nothing selected) gives NotSelected.
constexpr LeftSide LeftSideFromIndex(int index) {
  return index == 1 ? LeftSide::X : index == 2 ? LeftSide::Y : LeftSide::NotSelected;
}

// The item index of the left-side box that shows `side`.
constexpr int LeftSideIndex(LeftSide side) { return static_cast<int>(side); }

// Angle unit of the trigonometric operations.
enum class AngleUnit : std::uint8_t { Degree = 0, Radian = 1 };

}  // namespace calvane
