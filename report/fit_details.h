#pragma once

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "base/prompter.h"
#include "report/fit_statistics.h"
#include "report/results_report.h"

namespace calvane {

// The details of a run as texts (UTF-8), for the window "計算結果の詳細" and for its text file.
// Numbers are written by FormatNumber; an undetermined quantity reads "不定" and a figure that is
// not a number (a relative error of a zero value, AIC of a perfect fit) "計算できません".
struct FitDetails {
  std::string reason;        // empty when the statistics were computed, else why not
  bool provisional = false;  // the run stopped before convergence
  // The figures, label and value: points used (with the data interval), constants,
  // degrees of freedom, RSS, s, R^2, 1 - RSS/TSS, adjusted, AIC, BIC, the t quantile.
  std::vector<std::pair<std::string, std::string>> figures;
  // One row per used constant: name, value, standard error, relative error (%), lower and upper
  // 95 % limit.
  std::vector<std::array<std::string, 6>> constants;
  std::vector<std::string> names;                     // the used constants, "k0" ...
  std::vector<std::vector<std::string>> correlation;  // names.size() squared
  std::string abscissa_name;                          // "x", or "y" when x is the left side
};

// The details of `stats`. `left_side` names the abscissa of the residuals; `provisional` marks a
// run that stopped before convergence. Pure.
FitDetails MakeFitDetails(const FitStatistics& stats, LeftSide left_side, bool provisional);

// The details as a text, each line ending in CR LF (UTF-8): the title, the provisional note, the
// figures (or the reason there are none, with the constants' values), then the sections of the
// constants, the correlation matrix and the residuals of every used point. Pure.
std::string FitDetailsText(const FitDetails& details, const FitStatistics& stats);

// The bytes of the details file: FitDetailsText in Shift-JIS. Pure.
std::string FitDetailsFileBytes(const FitDetails& details, const FitStatistics& stats);

// Writes the details file to `path` by the rules of every user file (SaveUserFile). Main thread.
SaveResultsStatus SaveFitDetails(const FitDetails& details, const FitStatistics& stats,
                                 const std::string& path, Prompter& prompter, WindowId owner);

}  // namespace calvane
