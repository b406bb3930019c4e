#pragma once

#include <array>
#include <cstdint>

namespace calvane {

constexpr std::uint32_t kMaxPoints = 65536;     // selected data points, records 0..65535
constexpr std::uint32_t kPointRecords = 65538;  // plus the graph's scratch record
constexpr std::uint32_t kGraphScratchPoint = 65537;

// One data point. z is always 0; no formula reads it.
struct Point {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

// The selected data points: records 0..count-1 are valid.
struct PointTable {
  std::array<Point, kPointRecords> records{};
  std::uint32_t count = 0;
};

// Minimum and maximum of x and of y over the valid points, for the graph.
struct DataRanges {
  double min_x = 0.0;
  double max_x = 0.0;
  double min_y = 0.0;
  double max_y = 0.0;
};

}  // namespace calvane
