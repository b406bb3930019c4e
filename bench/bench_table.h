#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

#include "base/prompter.h"
#include "data/data_text.h"
#include "formula/number_text.h"

namespace calvane::bench {

// The data benchmarks' table: 65536 rows of ten comma-separated numbers of 7 to 10 characters
// (four decimals keep the fields short, like measured data), CR LF line ends; about 6 MB.
inline const std::string& TenSeriesTable() {
  static const std::string bytes = [] {
    std::mt19937 random(42);
    std::uniform_real_distribution<double> value(-1000.0, 1000.0);
    std::string out;
    out.reserve(7u << 20);
    for (std::uint32_t row = 0; row < kMaxRows; ++row) {
      for (int column = 0; column < 10; ++column) {
        if (column > 0) out += ',';
        out += FormatNumber(static_cast<double>(static_cast<int>(value(random) * 1e4)) / 1e4);
      }
      out += "\r\n";
    }
    return out;
  }();
  return bytes;
}

// Shows nothing and answers every question No.
class SilentPrompter : public Prompter {
 public:
  void Show(std::string_view, std::string_view, WindowId) override {}
  Answer Ask(std::string_view, std::string_view, Buttons, WindowId) override { return Answer::kNo; }
};

}  // namespace calvane::bench
