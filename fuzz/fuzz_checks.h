#pragma once

// Property checks of the readers, shared by the libFuzzer harnesses (fuzz/*_fuzz.cpp) and by the
// corpus replay of the ordinary test suite, so that every case the fuzzers ever found is fed to
// exactly the same checks on every test run.
//
// Each check takes raw bytes, feeds them to one reader and tests what must hold for any input:
// no crash (the sanitizers of the fuzz build watch for that), and the properties listed with the
// check. It returns an empty string when every property holds, else a description of the first
// one that failed.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace calvane::fuzz {

// ParseNumber on the bytes as a zero-terminated text, and FormatNumber on the first eight bytes
// taken as a double:
//  - the position stays within the text and the status is one of the six;
//  - a blank status is given only for spaces followed by its terminator;
//  - a number read is finite, within +-1e302, and ends at a field end or before spaces;
//  - formatting the value and parsing the text gives the value back within the 15 digits kept,
//    and the same text again when it is a fixed-form text of at most 13 significant digits;
//    formatting -v gives "-" and the text of v;
//  - FormatNumberInto writes exactly FormatNumber's text; no text is longer than 23 bytes.
std::string CheckNumberText(const std::uint8_t* data, std::size_t size);

// First byte: the left side (modulo 3); the rest: the formula text. CheckFormula, then the
// compiled program evaluated at a few points in both angle units:
//  - the code is one of the table; 8 only for 500 bytes or more, 10 only for spaces;
//  - the accepted formula text is untouched and the program is prepared for evaluation;
//  - a second check of the same text compiles the same program;
//  - a valid program ends within the slots, uses a constant and a variable but not the left side,
//    numbers its constants 0, 1, 2, ... without gaps;
//  - every evaluation gives a documented status and a value within +-1e302 when the status is 0;
//    for a valid formula also the same bits in a copy of the record, and SumOfSquares equals the
//    loop of single evaluations bit for bit.
std::string CheckFormulaText(const std::uint8_t* data, std::size_t size);

// First six bytes: x series, y series, start row, row count, use-to-last-row flag and the answer
// to the blank-row question; the rest: a data file. IndexRows, LocateCell, CellText,
// ConvertCell and ConvertRange:
//  - the row index equals the one the file syntax gives (rows start two bytes after a CR, a CR
//    near the end ends the table), with its limit messages;
//  - every cell located equals a walk of the separators, and converts to a documented status;
//  - the conversion stops where, and with the message, that the cells call for, and otherwise
//    gives exactly the cells' values in row order; a stopped conversion leaves the points alone.
std::string CheckDataText(const std::uint8_t* data, std::size_t size);

// The bytes as a condition file: read, written back from what was read, read again:
//  - the second read gives what the first gave (constant texts cut to the 19 bytes the writer
//    keeps), with the same formula verdict, angle unit, rough estimation and data interval;
//  - writing the second read gives the same bytes as writing the first;
//  - the data interval stays within 1..100.
std::string CheckConditionFile(const std::uint8_t* data, std::size_t size);

// The bytes as a selection file: the values read are written back as one line of five decimal
// numbers separated by tabs and ended by CR LF, which reads back as the same five values.
std::string CheckSelectionFile(const std::uint8_t* data, std::size_t size);

// The checks by harness name (the corpus folder names), for the replay.
using CheckFunction = std::string (*)(const std::uint8_t*, std::size_t);
struct NamedCheck {
  std::string_view name;
  CheckFunction check;
};
inline constexpr NamedCheck kChecks[] = {
    {"number_text", &CheckNumberText},       {"formula", &CheckFormulaText},
    {"data_text", &CheckDataText},           {"condition_file", &CheckConditionFile},
    {"selection_file", &CheckSelectionFile},
};

}  // namespace calvane::fuzz
