#pragma once

#include <string>

#include "base/prompter.h"

namespace calvane {

// The working directory: the current directory of the process, read once at start-up. Every
// internal file, Sample/ and Help/Help.htm are looked up there, never beside the executable.
// Returns "." when the current directory cannot be read.
std::string ReadWorkingDirectory();

// <working directory>/Formula.ini, whose existence marks a program that has started before.
std::string FormulaIniPath(const std::string& working_directory);
// <working directory>/Help/Help.htm.
std::string HelpFilePath(const std::string& working_directory);

// First-run check: true when the working directory holds no Formula.ini.
bool IsFirstRun(const std::string& working_directory);
// Creates Formula.ini empty when it is missing (an existing file is left as it is).
// Returns false when it is missing and cannot be created; start-up carries on regardless.
bool CreateEmptyFormulaIni(const std::string& working_directory);

// Top-left corner that centres a window of outer size width x height on a desktop rectangle
// given by its edges (right and bottom exclusive): (left + right)/2 - width/2 and likewise,
// each truncated toward zero.
struct WindowPosition {
  int left = 0;
  int top = 0;
  friend bool operator==(const WindowPosition&, const WindowPosition&) = default;
};
WindowPosition CentredPosition(int desktop_left, int desktop_top, int desktop_right,
                               int desktop_bottom, int width, int height);

// The version box: a message with caption "バージョン情報" and the program's name, version and
// description, owned by `owner`.
void ShowVersionBox(Prompter& prompter, WindowId owner = WindowId::kMain);

}  // namespace calvane
