#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace calvane {

// The detailed-conditions dialog's interval field (Shift-JIS bytes): at most its first 4 bytes
// are read by ParseNumber; a value below 1 or no number at all becomes 1, one above 100 becomes
// 100. Pure.

// The text the field shows after it loses the focus, by FormatNumber: "0" -> "1",
// "250" -> "100", "" -> "1".
std::string NormalisedIntervalText(std::string_view field_text);

// The dataInterval that OK stores: the same value truncated toward zero, so even a field that
// never lost the focus stores 1..100.
std::uint8_t IntervalFromText(std::string_view field_text);

}  // namespace calvane
