#include "fuzz/fuzz_checks.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "app/app_state.h"
#include "base/base_messages.h"
#include "conditions/condition_accept.h"
#include "conditions/condition_file.h"
#include "data/data_messages.h"
#include "data/data_text.h"
#include "data/range_conversion.h"
#include "data/selection_file.h"
#include "formula/compiled_formula.h"
#include "formula/evaluator.h"
#include "formula/formula_check.h"
#include "formula/number_text.h"

namespace calvane::fuzz {
namespace {

constexpr double kRangeLimit = 1e302;

// Collects the first failed property; later ones are ignored.
class Verdict {
 public:
  void Require(bool holds, std::string_view what) {
    if (!holds && failure_.empty()) failure_ = std::string(what);
  }
  void Fail(std::string what) {
    if (failure_.empty()) failure_ = std::move(what);
  }
  bool failed() const { return !failure_.empty(); }
  std::string Take() { return std::move(failure_); }

 private:
  std::string failure_;
};

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool IsBlank(ParseStatus status) {
  return status == ParseStatus::ParseEndOfText || status == ParseStatus::ParseEndOfLine ||
         status == ParseStatus::ParseEmptyField;
}

bool IsKnownStatus(ParseStatus status) {
  return status == ParseStatus::ParseOk || status == ParseStatus::ParseInvalid ||
         status == ParseStatus::ParseOutOfRange || IsBlank(status);
}

bool IsFieldEnd(char c) { return c == '\t' || c == ',' || c == ';' || c == '\r' || c == '\0'; }

bool IsSeparator(char c) { return c == '\t' || c == ',' || c == ';'; }

// A prompter that records what was shown and answers the one question the readers ask.
class CountingPrompter : public Prompter {
 public:
  explicit CountingPrompter(Answer answer = Answer::kYes) : answer_(answer) {}
  void Show(std::string_view text, std::string_view caption, WindowId) override {
    shown.emplace_back(text);
    captions.emplace_back(caption);
  }
  Answer Ask(std::string_view text, std::string_view, Buttons, WindowId) override {
    asked.emplace_back(text);
    return answer_;
  }
  std::vector<std::string> shown;
  std::vector<std::string> captions;
  std::vector<std::string> asked;

 private:
  Answer answer_;
};

// ---- number text ----------------------------------------------------------------------------

// Significant digits of a FormatNumber text: from the first non-zero digit to the last
// non-zero digit of the mantissa.
int SignificantDigits(const std::string& text) {
  const std::string mantissa = text.substr(0, text.find('e'));
  const std::size_t first = mantissa.find_first_of("123456789");
  if (first == std::string::npos) return 0;
  const std::size_t last = mantissa.find_last_of("123456789");
  int digits = 0;
  for (std::size_t i = first; i <= last; ++i) digits += (mantissa[i] >= '0' && mantissa[i] <= '9');
  return digits;
}

// The round trip of one value that ParseNumber gave or that came from raw bits.
void CheckFormatted(double value, Verdict& verdict) {
  const std::string text = FormatNumber(value);
  verdict.Require(text.size() <= 23, "FormatNumber gave more than 23 bytes");
  char buffer[32];
  const std::size_t length = FormatNumberInto(value, buffer, sizeof buffer);
  verdict.Require(length == text.size() && text == buffer,
                  "FormatNumberInto differs from FormatNumber");
  char small[8];
  FormatNumberInto(value, small, sizeof small);
  verdict.Require(
      text.compare(0, 7, small) == 0 && std::strlen(small) == std::min<std::size_t>(7, text.size()),
      "FormatNumberInto does not cut to its buffer");
  if (!std::isfinite(value)) return;
  const double magnitude = std::fabs(value);
  if (value > 0.0) {
    verdict.Require(FormatNumber(-value) == "-" + text, "FormatNumber(-v) is not '-' + text");
  }
  // Below 1e-300 the powers of ten of the parse underflow, and above 1e301 the text of a value
  // may read back just beyond 1e302: the exact round trip holds in between, and for zero.
  if (!(value == 0.0 || (magnitude >= 1e-300 && magnitude <= 1e301))) return;
  std::size_t position = 0;
  ParseStatus status = static_cast<ParseStatus>(0xFF);
  const double back = ParseNumber(text.c_str(), position, status);
  if (status != ParseStatus::ParseOk) {
    verdict.Fail("the text of a value does not parse: " + text);
    return;
  }
  verdict.Require(position == text.size(), "the text of a value is not read whole");
  // The scaling by ten and the digit loop are prescribed in double arithmetic. In the fixed form
  // (at most fifteen scalings) their roundings still reach a few tenths of the 15th digit near
  // the top of a decade, so a text whose 14th or 15th digit is set may come back one unit off
  // there (and fifteen nines, in the band just below a power of ten, as the power itself); a
  // fixed text of at most 13 significant digits must come back unchanged. In the exponent form
  // hundreds of scalings move the last digits, and only the value is held to its 15 digits.
  const std::string again = FormatNumber(back);
  const bool fixed_form = text.find('e') == std::string::npos;
  if (fixed_form && SignificantDigits(text) <= 13 && again != text) {
    verdict.Fail("format, parse, format changed the text: " + text + " -> " + again);
  }
  const double tolerance = magnitude * 1e-14;
  if (!(std::fabs(back - value) <= tolerance)) {
    verdict.Fail("format and parse moved the value beyond 15 digits: " + text);
  }
}

}  // namespace

std::string CheckNumberText(const std::uint8_t* data, std::size_t size) {
  Verdict verdict;
  const std::string text(reinterpret_cast<const char*>(data), size);  // a zero byte follows
  const std::size_t text_length = std::strlen(text.c_str());

  std::size_t position = 0;
  ParseStatus status = static_cast<ParseStatus>(0xFF);
  const double value = ParseNumber(text.c_str(), position, status);
  verdict.Require(IsKnownStatus(status), "ParseNumber gave an unknown status");
  verdict.Require(position <= text_length, "ParseNumber moved past the end of the text");
  if (position <= text_length) {
    const char at = text[position];
    if (IsBlank(status)) {
      bool spaces = true;
      for (std::size_t i = 0; i < position; ++i) spaces = spaces && text[i] == ' ';
      verdict.Require(spaces, "a blank status after something other than spaces");
      const bool matches = (status == ParseStatus::ParseEndOfText && at == '\0') ||
                           (status == ParseStatus::ParseEndOfLine && at == '\r') ||
                           (status == ParseStatus::ParseEmptyField && IsSeparator(at));
      verdict.Require(matches, "a blank status that does not match the byte it stopped at");
    }
    if (status == ParseStatus::ParseOk) {
      verdict.Require(std::isfinite(value) && std::fabs(value) <= kRangeLimit,
                      "ParseOk with a value beyond 1e302");
      verdict.Require(IsFieldEnd(at) || (position > 0 && text[position - 1] == ' '),
                      "ParseOk before a byte that does not end a field");
      CheckFormatted(value, verdict);
    }
    if (status == ParseStatus::ParseOutOfRange) {
      verdict.Require(std::isnan(value) || std::fabs(value) > kRangeLimit,
                      "ParseOutOfRange for a value within 1e302");
    }
  }
  if (size >= sizeof(double)) {
    double raw = 0.0;
    std::memcpy(&raw, data, sizeof raw);
    CheckFormatted(raw, verdict);
  }
  return verdict.Take();
}

// ---- formula ----------------------------------------------------------------------------------

namespace {

constexpr std::string_view kAcceptedText = "k0*x+k1";

bool IsKnownCode(FormulaCheckCode code) {
  switch (code) {
    case FormulaCheckCode::FormulaValid:
    case FormulaCheckCode::FormulaInvalidText:
    case FormulaCheckCode::FormulaNoConstantOrVariable:
    case FormulaCheckCode::FormulaUnbalancedParentheses:
    case FormulaCheckCode::FormulaBadLiteral:
    case FormulaCheckCode::FormulaUsesLeftSide:
    case FormulaCheckCode::FormulaLiteralOutOfRange:
    case FormulaCheckCode::FormulaTooLong:
    case FormulaCheckCode::FormulaEmpty:
      return true;
    default:
      return false;
  }
}

bool IsKnownEvalStatus(std::int8_t status) {
  switch (status) {
    case 0:
    case 4:
    case 5:
    case 7:
    case 9:
    case 10:
    case 14:
    case 15:
    case 20:
    case 21:
    case 23:
    case 25:
      return true;
    default:
      return false;
  }
}

void PrepareRecord(CompiledFormula& formula) {
  std::memset(formula.formulaText, 0, sizeof formula.formulaText);
  std::memcpy(formula.formulaText, kAcceptedText.data(), kAcceptedText.size());
  const double constants[kMaxConstants] = {1.5, -0.5, 2.0, 0.25, 3.0, -2.0, 0.75, 10.0, -0.1, 4.0};
  std::copy(std::begin(constants), std::end(constants), formula.paramValue);
}

// `valid`: the check accepted the formula. The program of a rejected formula is never run by a
// fit; it must still evaluate safely, but it may read cells of slots that were never emitted,
// whose values are whatever an earlier evaluation left, so its results depend on the history.
void CheckEvaluation(CompiledFormula& formula, bool valid, Verdict& verdict) {
  static const Point kPoints[] = {{0.0, 0.0, 0.0},  {1.0, 2.0, 0.0},  {-2.5, 0.5, 0.0},
                                  {0.5, -3.0, 0.0}, {90.0, 1e3, 0.0}, {1e-3, -1e-3, 0.0}};
  constexpr std::uint32_t kCount = sizeof kPoints / sizeof kPoints[0];
  auto copy = std::make_unique<CompiledFormula>();
  copy->CopyFrom(formula);
  for (bool observed_is_x : {false, true}) {
    std::int8_t loop_status = 0;
    double loop_sum = 0.0;
    for (const Point& point : kPoints) {
      std::int8_t status = 0;
      const double value = EvaluateFormula(formula, point, status, nullptr);
      verdict.Require(IsKnownEvalStatus(status), "an evaluation gave an undocumented status");
      if (status == 0) {
        verdict.Require(value >= -kRangeLimit && value <= kRangeLimit,
                        "status 0 with a value beyond 1e302");
      }
      std::int8_t copy_status = 0;
      const double copy_value = EvaluateFormula(*copy, point, copy_status, nullptr);
      if (valid) {
        verdict.Require(SameBits(value, copy_value) && status == copy_status,
                        "a copy of the record evaluates differently");
      }
      const double residual = (observed_is_x ? point.x : point.y) -
                              EvaluateFormula(formula, point, loop_status, nullptr);
      loop_sum += residual * residual;
    }
    SumOfSquaresTask task;
    task.points = kPoints;
    task.count = kCount;
    task.observed_is_x = observed_is_x;
    std::int8_t sum_status = 0;
    const SumOfSquaresResult sum = SumOfSquares(formula, task, sum_status, nullptr);
    if (!valid) continue;
    if (!SameBits(sum.sum, loop_sum) && !(std::isnan(sum.sum) && std::isnan(loop_sum))) {
      verdict.Fail("SumOfSquares differs from the loop of evaluations: " + FormatNumber(sum.sum) +
                   " against " + FormatNumber(loop_sum) + (observed_is_x ? " (x observed)" : ""));
    }
    verdict.Require(sum_status == loop_status, "SumOfSquares gives another status than the loop");
  }
}

}  // namespace

std::string CheckFormulaText(const std::uint8_t* data, std::size_t size) {
  Verdict verdict;
  if (size == 0) return {};
  const LeftSide left_side = static_cast<LeftSide>(data[0] % 3);
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  static CompiledFormula* formula = new CompiledFormula();
  static CompiledFormula* second = new CompiledFormula();
  PrepareRecord(*formula);
  const FormulaCheckCode code = CheckFormula(*formula, text, left_side);

  verdict.Require(IsKnownCode(code), "CheckFormula gave an unknown code");
  verdict.Require(std::string_view(formula->formulaText) == kAcceptedText,
                  "CheckFormula changed the accepted formula text");
  verdict.Require(formula->EvaluationPrepared(), "the program is not prepared for evaluation");

  const std::string_view read = text.substr(0, std::min<std::size_t>(text.size(), 500));
  const std::size_t length = std::min(read.find('\0'), read.size());
  if (code == FormulaCheckCode::FormulaTooLong)
    verdict.Require(length >= 500, "code 8 for a text below 500 bytes");
  if (code == FormulaCheckCode::FormulaEmpty) {
    verdict.Require(read.substr(0, length).find_first_not_of(' ') == std::string_view::npos,
                    "code 10 for a text that is not only spaces");
  }

  PrepareRecord(*second);
  const FormulaCheckCode second_code = CheckFormula(*second, text, left_side);
  verdict.Require(second_code == code, "a second check gives another code");
  verdict.Require(
      std::memcmp(formula->opCode, second->opCode, sizeof formula->opCode) == 0 &&
          std::memcmp(formula->paramIndex, second->paramIndex, sizeof formula->paramIndex) == 0 &&
          formula->usesX == second->usesX && formula->usesY == second->usesY,
      "a second check compiles another program");

  if (code == FormulaCheckCode::FormulaValid) {
    verdict.Require(length < 500, "a valid formula of 500 bytes or more");
    int slots = 0;
    while (slots < kMaxSlots && formula->opCode[slots] != 0) ++slots;
    verdict.Require(slots >= 1, "a valid formula without a slot");
    for (int s = 0; s < slots; ++s) {
      verdict.Require(formula->opCode[s] <= 16, "a valid formula with an unknown operation");
    }
    bool index_seen[kMaxConstants] = {};
    int used = 0;
    for (int k = 0; k < kMaxConstants; ++k) {
      const std::uint8_t index = formula->paramIndex[k];
      if (index == kUnusedConstant) continue;
      ++used;
      if (index >= kMaxConstants || index_seen[index]) {
        verdict.Fail("constant indices are not distinct or out of range");
      } else {
        index_seen[index] = true;
      }
    }
    verdict.Require(used >= 1, "a valid formula without a constant");
    for (int i = 0; i < used; ++i) {
      verdict.Require(index_seen[i], "constant indices leave a gap");
    }
    verdict.Require(formula->usesX || formula->usesY, "a valid formula without a variable");
    verdict.Require(!(left_side == LeftSide::X && formula->usesX) &&
                        !(left_side == LeftSide::Y && formula->usesY),
                    "a valid formula uses the left side");
  }

  // Every program, valid or not, must evaluate safely: the checked tables are complete.
  CheckEvaluation(*formula, code == FormulaCheckCode::FormulaValid, verdict);
  ApplyAngleUnit(*formula, AngleUnit::Degree);
  verdict.Require(formula->EvaluationPrepared(), "ApplyAngleUnit left the program unprepared");
  CheckEvaluation(*formula, code == FormulaCheckCode::FormulaValid, verdict);
  ApplyAngleUnit(*formula, AngleUnit::Radian);
  CheckEvaluation(*formula, code == FormulaCheckCode::FormulaValid, verdict);

  const std::string ini = FormulaFileText(*formula);
  verdict.Require(!ini.empty() && ini.back() == '\0', "Formula.ini text without its zero byte");
  return verdict.Take();
}

// ---- data text --------------------------------------------------------------------------------

namespace {

struct ReferenceIndex {
  std::vector<std::size_t> starts;
  int widest = 0;
  bool rows_truncated = false;
};

// The row index as the file syntax defines it, written out plainly.
ReferenceIndex IndexByRule(const char* p) {
  ReferenceIndex index;
  index.starts.push_back(0);
  int fields = 1;
  std::size_t i = 0;
  for (;;) {
    const char c = p[i];
    if (IsSeparator(c)) {
      ++fields;
      ++i;
    } else if (c == '\r') {
      index.widest = std::max(index.widest, fields);
      fields = 1;
      if (p[i + 1] == '\0' || p[i + 2] == '\0') break;
      if (index.starts.size() == kMaxRows) {
        index.rows_truncated = true;
        break;
      }
      i += 2;
      index.starts.push_back(i);
    } else if (c == '\0') {
      index.widest = std::max(index.widest, fields);
      break;
    } else {
      ++i;
    }
  }
  return index;
}

// Where field `series` of the row starting at `start` begins, by walking its separators.
CellLocation LocateByRule(const char* p, std::size_t start, int series) {
  CellLocation location;
  std::size_t i = start;
  for (int separators = 0; separators < series - 1;) {
    if (p[i] == '\r' || p[i] == '\0') {
      location.offset = i;
      return location;
    }
    if (IsSeparator(p[i])) ++separators;
    ++i;
  }
  location.offset = i;
  location.present = true;
  return location;
}

}  // namespace

std::string CheckDataText(const std::uint8_t* data, std::size_t size) {
  Verdict verdict;
  constexpr std::size_t kHeader = 6;
  if (size < kHeader) return {};
  RangeSelection selection;
  selection.x_series = 1 + data[0] % 8;
  selection.y_series = 1 + data[1] % 8;
  selection.start_row = 1 + data[2] % 16;
  selection.end_row = selection.start_row + data[3] % 32;
  selection.use_to_last_row = data[4] & 1;
  const Answer answer = (data[5] & 1) ? Answer::kYes : Answer::kNo;

  DataText text(std::string(reinterpret_cast<const char*>(data + kHeader), size - kHeader));
  verdict.Require(text.text_end() == std::strlen(text.bytes()), "text_end is not the first zero");
  CountingPrompter index_prompter;
  IndexRows(text, index_prompter);

  const ReferenceIndex expected = IndexByRule(text.bytes());
  verdict.Require(text.row_count() == expected.starts.size(), "row count differs from the rule");
  const int expected_series = std::min(expected.widest, kMaxSeries);
  verdict.Require(text.series_count() == expected_series, "series count differs from the rule");
  verdict.Require(text.rows_truncated() == expected.rows_truncated, "row limit differs");
  verdict.Require(text.series_truncated() == (expected.widest > kMaxSeries),
                  "series limit differs");
  std::vector<std::string> limit_messages;
  if (expected.rows_truncated) limit_messages.emplace_back(text::kMsgTooManyRows);
  if (expected.widest > kMaxSeries) limit_messages.emplace_back(text::kMsgTooManySeries);
  verdict.Require(index_prompter.shown == limit_messages && index_prompter.asked.empty(),
                  "IndexRows showed other messages than its limits call for");
  const std::uint32_t rows =
      std::min<std::uint32_t>(text.row_count(), static_cast<std::uint32_t>(expected.starts.size()));
  for (std::uint32_t row = 1; row <= rows; ++row) {
    verdict.Require(text.RowStart(row) == expected.starts[row - 1], "a row starts elsewhere");
  }
  verdict.Require(text.RowStart(0) == text.text_end() && text.RowStart(rows + 1) == text.text_end(),
                  "a row outside the table does not start at the end of the text");

  // Cells: the first rows fully, a few series beyond the widest.
  const std::uint32_t checked_rows = std::min<std::uint32_t>(rows, 64);
  for (std::uint32_t row = 0; row <= checked_rows + 1; ++row) {
    for (int series = 0; series <= std::min(text.series_count(), 40) + 2; ++series) {
      const CellLocation cell = LocateCell(text, row, series);
      verdict.Require(cell.offset <= text.text_end(), "a cell beyond the end of the text");
      if (row < 1 || row > rows || series < 1) {
        verdict.Require(!cell.present, "a cell outside the table is present");
        continue;
      }
      const CellLocation rule = LocateByRule(text.bytes(), expected.starts[row - 1], series);
      verdict.Require(cell.present == rule.present && cell.offset == rule.offset,
                      "a cell is located elsewhere than its separators say");
      const CellValue value = ConvertCell(text, cell.offset);
      verdict.Require(IsKnownStatus(value.status), "a cell converts to an unknown status");
      if (!cell.present) verdict.Require(IsBlank(value.status), "a missing cell is not blank");
      if (value.status == ParseStatus::ParseOk) {
        verdict.Require(std::fabs(value.value) <= kRangeLimit, "a cell value beyond 1e302");
      }
      const CellValue read = ReadCell(text, row, series);
      verdict.Require(read.status == value.status && (SameBits(read.value, value.value) ||
                                                      read.status != ParseStatus::ParseOk),
                      "ReadCell differs from LocateCell and ConvertCell");
      const std::string_view shown = CellText(text, row, series);
      verdict.Require(shown.size() <= 20, "a cell text longer than asked");
      for (char c : shown) {
        verdict.Require(!IsFieldEnd(c), "a cell text runs over a separator or line end");
      }
    }
  }

  // The conversion of the chosen range, against the cells read one by one.
  const RangeSelection applied = ApplyUseToLastRow(selection, text);
  static AppState* state = MakeAppState("").release();
  constexpr double kMark = -123.25;
  const std::uint32_t kMarkCount = 3;
  for (std::uint32_t i = 0; i < 40; ++i) state->points.records[i] = Point{kMark, kMark, kMark};
  state->points.records[kGraphScratchPoint] = Point{kMark, kMark, kMark};
  state->points.count = kMarkCount;

  ConversionStop expected_stop = ConversionStop::kCompleted;
  std::uint32_t expected_row = 0;
  std::vector<Point> expected_points;
  bool asked = false;
  if (CheckRange(applied) != RangeCheck::kAccepted) {
    expected_stop = ConversionStop::kInvalidRange;
  } else {
    const std::uint32_t first = static_cast<std::uint32_t>(applied.start_row);
    const std::uint32_t last = std::min(static_cast<std::uint32_t>(applied.end_row), rows);
    bool skip = false;
    for (std::uint32_t row = first; row <= last && expected_row == 0; ++row) {
      const CellValue x = ReadCell(text, row, applied.x_series);
      const CellValue y = ReadCell(text, row, applied.y_series);
      const bool x_blank = IsBlank(x.status);
      const bool y_blank = IsBlank(y.status);
      ConversionStop why = ConversionStop::kCompleted;
      if (x.status == ParseStatus::ParseInvalid) {
        why = ConversionStop::kInvalidData;
      } else if (x.status == ParseStatus::ParseOutOfRange) {
        why = ConversionStop::kOutOfRange;
      } else if (x_blank != y_blank || y.status == ParseStatus::ParseInvalid) {
        why = ConversionStop::kInvalidData;
      } else if (y.status == ParseStatus::ParseOutOfRange) {
        why = ConversionStop::kOutOfRange;
      } else if (x_blank) {
        if (!skip) {
          asked = true;
          if (answer != Answer::kYes) why = ConversionStop::kBlankRowDeclined;
          skip = true;
        }
        if (why == ConversionStop::kCompleted) continue;
      }
      if (why != ConversionStop::kCompleted) {
        expected_stop = why;
        expected_row = row;
        break;
      }
      expected_points.push_back(Point{x.value, y.value, 0.0});
    }
    if (expected_stop == ConversionStop::kCompleted && expected_points.empty()) {
      expected_stop = ConversionStop::kNoData;
    }
  }

  CountingPrompter prompter(answer);
  const ConversionResult result =
      ConvertRange(text, applied, state->points, state->ranges, prompter);
  if (result.stop != expected_stop || result.row != expected_row) {
    verdict.Fail("the conversion stopped otherwise than its cells call for");
  }
  verdict.Require(prompter.asked.size() == (asked ? 1u : 0u), "the blank-row question count");
  const std::size_t messages = (expected_stop == ConversionStop::kCompleted ||
                                expected_stop == ConversionStop::kInvalidRange ||
                                expected_stop == ConversionStop::kBlankRowDeclined)
                                   ? 0
                                   : 1;
  verdict.Require(prompter.shown.size() == messages, "the conversion showed other messages");
  if (messages == 1 && expected_row != 0) {
    verdict.Require(prompter.shown[0].rfind(std::to_string(expected_row), 0) == 0 &&
                        prompter.captions[0] == text::kCaptionDataError,
                    "a data error that does not name its row");
  }
  const Point& scratch = state->points.records[kGraphScratchPoint];
  verdict.Require(scratch.x == kMark && scratch.y == kMark, "the graph's scratch point changed");
  if (expected_stop == ConversionStop::kCompleted) {
    verdict.Require(result.point_count == expected_points.size() &&
                        state->points.count == expected_points.size(),
                    "the point count differs from the cells");
    for (std::size_t i = 0; i < expected_points.size() && i < kMaxPoints; ++i) {
      const Point& got = state->points.records[i];
      if (!SameBits(got.x, expected_points[i].x) || !SameBits(got.y, expected_points[i].y) ||
          got.z != 0.0) {
        verdict.Fail("a point differs from its cells");
        break;
      }
    }
    const std::size_t after = expected_points.size();
    for (std::size_t i = after; i < std::min<std::size_t>(after + 4, kMaxPoints); ++i) {
      const Point& got = state->points.records[i];
      verdict.Require(got.x == 0.0 && got.y == 0.0 && got.z == 0.0,
                      "a record beyond the points is not cleared");
    }
  } else {
    verdict.Require(state->points.count == kMarkCount && result.point_count == 0,
                    "a stopped conversion changed the point count");
    bool kept = true;
    for (std::uint32_t i = 0; i < 40; ++i) {
      kept = kept && state->points.records[i].x == kMark && state->points.records[i].z == kMark;
    }
    verdict.Require(kept, "a stopped conversion changed the points");
  }
  return verdict.Take();
}

// ---- condition file ---------------------------------------------------------------------------

std::string CheckConditionFile(const std::uint8_t* data, std::size_t size) {
  Verdict verdict;
  static AppState* first_state = MakeAppState("").release();
  static AppState* second_state = MakeAppState("").release();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  first_state->conditions = ConditionRecord{};
  PrepareRecord(first_state->formula);
  ConditionDialogValues first;
  const FormulaCheckCode first_code = LoadConditionFile(bytes, first, *first_state);
  const ConditionRecord& record = first_state->conditions;
  verdict.Require(record.dataInterval >= 1 && record.dataInterval <= 100,
                  "a data interval outside 1..100");
  verdict.Require(first.formula.size() <= 500, "a formula of more than 500 bytes was loaded");
  verdict.Require(std::string_view(first_state->formula.formulaText) == kAcceptedText,
                  "loading changed the accepted formula text");
  verdict.Require(first.left_side_index >= 0 && first.left_side_index <= 2,
                  "loading selected a left side outside the box");
  const std::string written = BuildConditionFile(ConditionSource::FromDialog, *first_state, first);
  verdict.Require(
      !written.empty() && written.back() == '\0' && written.find('\0') == written.size() - 1,
      "the written file is not its text plus one zero byte");

  // Read back into values that differ from every default, so nothing can pass by staying put.
  second_state->conditions = ConditionRecord{};
  second_state->conditions.roughEstimation = record.roughEstimation == 0 ? 1 : 0;
  second_state->conditions.dataInterval = record.dataInterval == 50 ? 51 : 50;
  second_state->conditions.searchMethod =
      record.searchMethod == SearchMethod::LmOnly ? SearchMethod::Lattice : SearchMethod::LmOnly;
  PrepareRecord(second_state->formula);
  ConditionDialogValues second;
  second.left_side_index = first.left_side_index == 0 ? 2 : 0;
  second.degree = !first.degree;
  second.formula = "not read";
  for (auto& row : second.constants) row.fill("not read");
  const FormulaCheckCode second_code = LoadConditionFile(written, second, *second_state);

  verdict.Require(second.left_side_index == first.left_side_index, "the left side changed");
  if (second.formula != first.formula) verdict.Fail("the formula changed: " + second.formula);
  for (int row = 0; row < 10; ++row) {
    for (int column = 0; column < 4; ++column) {
      if (second.constants[row][column] != CutShiftJis(first.constants[row][column], 19)) {
        verdict.Fail("constant text k" + std::to_string(row) + " field " +
                     std::to_string(column + 1) + " changed");
      }
    }
  }
  verdict.Require(second.degree == first.degree, "the angle unit changed");
  verdict.Require(second_state->conditions.roughEstimation == record.roughEstimation,
                  "rough estimation changed");
  verdict.Require(second_state->conditions.dataInterval == record.dataInterval,
                  "the data interval changed");
  verdict.Require(second_state->conditions.searchMethod == record.searchMethod,
                  "the search method changed");
  verdict.Require(second_code == first_code && second.formula_status == first.formula_status,
                  "the formula verdict changed");
  const std::string rewritten =
      BuildConditionFile(ConditionSource::FromDialog, *second_state, second);
  verdict.Require(rewritten == written, "writing the second read gives other bytes");
  return verdict.Take();
}

// ---- selection file ---------------------------------------------------------------------------

std::string CheckSelectionFile(const std::uint8_t* data, std::size_t size) {
  Verdict verdict;
  const RangeSelection read =
      ParseSelectionText(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string line = SelectionFileText(read);
  verdict.Require(line.size() >= 11 && line.compare(line.size() - 2, 2, "\r\n") == 0,
                  "the selection line does not end with CR LF");
  verdict.Require(std::count(line.begin(), line.end(), '\t') == 4,
                  "the selection line does not hold five tab-separated values");
  verdict.Require(line.find_first_not_of("0123456789-\t\r\n") == std::string::npos,
                  "the selection line holds something other than decimal integers");
  const RangeSelection back = ParseSelectionText(line);
  verdict.Require(back.x_series == read.x_series && back.y_series == read.y_series &&
                      back.start_row == read.start_row && back.end_row == read.end_row &&
                      back.use_to_last_row == read.use_to_last_row,
                  "the selection line reads back as other values");
  return verdict.Take();
}

}  // namespace calvane::fuzz
