#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace calvane {

// Status of one ParseNumber call. Callers rely on the exact numbers.
enum class ParseStatus : std::uint8_t {
  ParseOk = 0,            // a number was read
  ParseInvalid = 1,       // the text at the position is not a valid number
  ParseOutOfRange = 10,   // a number was read but its magnitude exceeds 1e302, or it is NaN
  ParseEndOfText = 100,   // only spaces remained before the terminating zero byte
  ParseEndOfLine = 101,   // only spaces remained before a carriage return
  ParseEmptyField = 102,  // only spaces remained before a tab, "," or ";"
};

// The one conversion from a double to text: 15 significant digits, "." as decimal separator,
// fixed form for decimal exponents -3..15, exponent form ("1.00000000000000e-05",
// "1.00000000000000e+015") outside. Independent of the locale. Thread-safe.
std::string FormatNumber(double value);

// FormatNumber into a caller's buffer of `size` bytes: at most size - 1 characters and a zero
// byte (nothing when size is 0). Returns the full length of the text (which 24 bytes always
// hold). Thread-safe.
std::size_t FormatNumberInto(double value, char* buffer, std::size_t size);

// The one conversion from text to a double. `text` is zero-terminated; reading starts at
// `position` (0-based), which is advanced past the number and the spaces after it. Sets `status`;
// the value returned is meaningful for ParseOk and ParseOutOfRange only. Thread-safe.
double ParseNumber(const char* text, std::size_t& position, ParseStatus& status);

// Integer power by binary powering (repeated squaring), 1/result for a negative exponent:
// starting from 1, the result is multiplied by the running square of `base` for each set bit
// of |exponent| from the lowest. Shared by ParseNumber's powers of ten and the formula's power
// operation; defined here so that the evaluator inlines it.
inline double IntegerPower(double base, std::int64_t exponent) {
  std::uint64_t n = exponent < 0 ? 0 - static_cast<std::uint64_t>(exponent)
                                 : static_cast<std::uint64_t>(exponent);
  double result = 1.0;
  double square = base;
  while (n != 0) {
    if (n & 1u) result *= square;
    n >>= 1;
    if (n != 0) square *= square;  // the square after the last bit is never used
  }
  return exponent < 0 ? 1.0 / result : result;
}

}  // namespace calvane
