#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace calvane {

// Status of one ParseNumber call. Callers rely on the exact numbers.
enum ParseStatus : std::uint8_t {
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

// The one conversion from text to a double. `text` is zero-terminated; reading starts at
// `position` (0-based), which is advanced past the number and the spaces after it. Sets `status`;
// the value returned is meaningful for ParseOk and ParseOutOfRange only. Thread-safe.
double ParseNumber(const char* text, std::size_t& position, std::uint8_t& status);

// Integer power by binary powering (repeated squaring), 1/result for a negative exponent.
// Shared by ParseNumber's powers of ten and the formula's power operation.
double IntegerPower(double base, std::int64_t exponent);

}  // namespace calvane
