#include "report/fit_details.h"

#include <cmath>
#include <optional>

#include "base/cp932.h"
#include "engine/engine_messages.h"
#include "formula/number_text.h"
#include "report/report_messages.h"

namespace calvane {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kSeparator = ", ";

// FormatNumber of a finite value, else "計算できません".
std::string Figure(double value) {
  return std::isfinite(value) ? FormatNumber(value) : std::string(text::kR2NotComputable);
}

// A count in plain decimal, as FormatNumber writes whole numbers.
std::string Count(std::int64_t value) { return FormatNumber(static_cast<double>(value)); }

// "k" and the constant's digit (0..9).
std::string ConstantName(int digit) {
  std::string name = "k";
  name.push_back(static_cast<char>('0' + digit));
  return name;
}

void AddLine(std::string& out, std::string_view line) {
  out.append(line);
  out.append(kLineEnd);
}

template <typename Cells>
std::string JoinCells(const Cells& cells) {
  std::string line;
  bool first = true;
  for (const auto& cell : cells) {
    if (!first) line.append(kSeparator);
    line.append(cell);
    first = false;
  }
  return line;
}

}  // namespace

FitDetails MakeFitDetails(const FitStatistics& stats, LeftSide left_side, bool provisional) {
  FitDetails d;
  d.provisional = provisional;
  d.abscissa_name = left_side == LeftSide::X ? "y" : "x";
  if (stats.verdict == StatisticsVerdict::kTooFewPoints) d.reason = text::kStatsTooFewPoints;
  if (stats.verdict == StatisticsVerdict::kNotEvaluable) d.reason = text::kStatsNotEvaluable;

  auto add = [&d](std::string_view label, std::string value) {
    d.figures.emplace_back(std::string(label), std::move(value));
  };
  add(text::kDetailsPoints, Count(stats.point_count) + " (" + std::string(text::kDetailsInterval) +
                                " " + Count(stats.data_interval) + ")");
  add(text::kDetailsConstantCount, Count(stats.constant_count));
  const bool computed = d.reason.empty();
  if (computed) {
    add(text::kDetailsDegreesOfFreedom, Count(stats.degrees_of_freedom));
    add(text::kDetailsRss, Figure(stats.rss));
    add(text::kDetailsResidualSd, Figure(stats.residual_sd));
    add(text::kDetailsR2,
        stats.r2_computed ? Figure(stats.r2) : std::string(text::kR2NotComputable));
    add(text::kDetailsDetermination, Figure(stats.determination));
    add(text::kDetailsAdjusted, Figure(stats.adjusted_determination));
    add(text::kDetailsAic, Figure(stats.aic));
    add(text::kDetailsBic, Figure(stats.bic));
    add(text::kDetailsTQuantile, Figure(stats.t_quantile));
  }

  const std::string undetermined(text::kUndetermined);
  for (const ConstantStatistics& c : stats.constants) {
    d.names.push_back(ConstantName(c.digit));
    std::array<std::string, 6> row{ConstantName(c.digit), FormatNumber(c.value)};
    for (std::size_t i = 2; i < row.size(); ++i) row[i] = computed ? undetermined : std::string();
    if (computed && c.determined) {
      row[2] = Figure(c.standard_error);
      row[3] = Figure(c.relative_error_percent);
      row[4] = Figure(c.lower_95);
      row[5] = Figure(c.upper_95);
    }
    d.constants.push_back(std::move(row));
  }
  if (computed) {
    for (std::size_t i = 0; i < stats.constants.size(); ++i) {
      std::vector<std::string> row;
      for (std::size_t j = 0; j < stats.constants.size(); ++j) {
        const double r = stats.correlation[i][j];
        row.push_back(std::isfinite(r) ? FormatNumber(r) : undetermined);
      }
      d.correlation.push_back(std::move(row));
    }
  }
  return d;
}

std::string FitDetailsText(const FitDetails& details, const FitStatistics& stats) {
  std::string out;
  AddLine(out, "*** " + std::string(text::kDetailsTitle) + " ***");
  if (details.provisional) AddLine(out, text::kDetailsProvisional);
  for (const auto& [label, value] : details.figures) {
    AddLine(out, label + std::string(kSeparator) + value);
  }
  if (!details.reason.empty()) AddLine(out, details.reason);

  AddLine(out, "");
  AddLine(out, "[" + std::string(text::kDetailsConstantsSection) + "]");
  if (details.reason.empty()) {
    AddLine(out, JoinCells(std::array<std::string_view, 6>{
                     text::kDetailsColumnName, text::kDetailsColumnValue, text::kDetailsColumnError,
                     text::kDetailsColumnRelative, text::kDetailsColumnLower,
                     text::kDetailsColumnUpper}));
    for (const auto& row : details.constants) AddLine(out, JoinCells(row));
  } else {
    AddLine(out, JoinCells(std::array<std::string_view, 2>{text::kDetailsColumnName,
                                                           text::kDetailsColumnValue}));
    for (const auto& row : details.constants)
      AddLine(out, row[0] + std::string(kSeparator) + row[1]);
    return out;
  }

  AddLine(out, "");
  AddLine(out, "[" + std::string(text::kDetailsCorrelationSection) + "]");
  std::string heading;  // an empty first cell, then the names
  for (const std::string& name : details.names) heading += std::string(kSeparator) + name;
  AddLine(out, heading);
  for (std::size_t i = 0; i < details.correlation.size(); ++i) {
    AddLine(out, details.names[i] + std::string(kSeparator) + JoinCells(details.correlation[i]));
  }

  AddLine(out, "");
  AddLine(out, "[" + std::string(text::kDetailsResidualsSection) + "]");
  AddLine(out, JoinCells(std::array<std::string_view, 4>{
                   details.abscissa_name, text::kDetailsColumnObserved, text::kDetailsColumnModel,
                   text::kDetailsColumnResidual}));
  for (const ResidualPoint& r : stats.residuals) {
    AddLine(out,
            JoinCells(std::array<std::string, 4>{FormatNumber(r.abscissa), FormatNumber(r.observed),
                                                 FormatNumber(r.model), FormatNumber(r.residual)}));
  }
  return out;
}

std::string FitDetailsFileBytes(const FitDetails& details, const FitStatistics& stats) {
  const std::string utf8 = FitDetailsText(details, stats);
  // Every text of the details has a Shift-JIS form; the numbers are ASCII.
  std::optional<std::string> bytes = Utf8ToCp932(utf8);
  return bytes ? *bytes : utf8;
}

SaveResultsStatus SaveFitDetails(const FitDetails& details, const FitStatistics& stats,
                                 const std::string& path, Prompter& prompter, WindowId owner) {
  return SaveUserFile(FitDetailsFileBytes(details, stats), path, prompter, owner);
}

}  // namespace calvane
