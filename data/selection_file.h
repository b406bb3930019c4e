#pragma once

#include <string>
#include <string_view>

#include "data/range_conversion.h"

namespace calvane {

inline constexpr std::string_view kSelectionFileName = "DataReadCondition.ini";

// The selection file's one line: x series, y series, start row, end row and use-to-last-row flag
// in decimal, separated by single tabs, ended by CR LF (for example "1\t2\t3\t100\t0\r\n").
std::string SelectionFileText(const RangeSelection& selection);

// Reads up to five values in order from `bytes`. A value ends at a tab, comma, space, CR or LF
// (runs of these count as one); each is read as a decimal number and rounded to the nearest
// integer (values beyond the 32-bit range are clamped, text that is not a number reads 0).
// Values not present are 0. Never reads outside `bytes`.
RangeSelection ParseSelectionText(std::string_view bytes);

// Writes DataReadCondition.ini in `working_directory`, replacing the file whole. Returns false
// when it cannot be written; that is not reported to the user. Main thread.
bool WriteSelectionFile(const std::string& working_directory, const RangeSelection& selection);

// Reads DataReadCondition.ini in `working_directory`. A missing file is created empty and gives
// five zeros; an unreadable one gives five zeros too. Main thread.
RangeSelection ReadSelectionFile(const std::string& working_directory);

}  // namespace calvane
