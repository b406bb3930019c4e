#include "conditions/condition_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <optional>

#include "base/base_messages.h"
#include "base/file_io.h"
#include "formula/formula_check.h"
#include "formula/number_text.h"

namespace calvane {
namespace {

constexpr std::size_t kDialogFormulaBytes = 999;  // read from the formula field when saving
constexpr std::size_t kDialogConstantBytes = 19;
constexpr std::size_t kLoadedFormulaBytes = 500;  // the formula field's limit
constexpr std::uint8_t kMinInterval = 1;
constexpr std::uint8_t kMaxInterval = 100;

std::string_view LeftSideLine(LeftSide left_side) {
  switch (left_side) {
    case LeftSide::X:
      return "x=";
    case LeftSide::Y:
      return "y=";
    default:
      return "(Not selected)=";
  }
}

// A number read from a file, truncated toward zero and kept within 1..100. Anything that is
// not a number (or NaN) gives the lowest interval.
std::uint8_t IntervalFromValue(double value, ParseStatus status) {
  if (status != ParseStatus::ParseOk && status != ParseStatus::ParseOutOfRange) return kMinInterval;
  if (std::isnan(value) || value < 1.0) return kMinInterval;
  if (value >= kMaxInterval) return kMaxInterval;
  return static_cast<std::uint8_t>(value);  // 1 <= value < 100: truncation is in range
}

// Reads a condition file's content without ever looking past its end: every position is
// checked against the size before a byte is taken, and a byte asked for at the end is zero.
class LayoutReader {
 public:
  explicit LayoutReader(const std::string& content)
      : content_(content), size_(content.size() - 1) {}

  char At() const { return position_ < size_ ? content_[position_] : '\0'; }
  bool AtEnd() const { return position_ >= size_; }
  void Step() {
    if (position_ < size_) ++position_;
  }
  // Advances to the next `c`, then steps over it and the two bytes after it (its CR LF).
  void SkipPast(char c) {
    while (position_ < size_ && content_[position_] != c) ++position_;
    for (int i = 0; i < 3; ++i) Step();
  }
  // The bytes from here up to (not including) the next byte of `stops` or the end; the
  // position is left on that byte. A zero byte ends the copied text, as a field would hold it.
  std::string CopyUntil(std::string_view stops) {
    const std::size_t start = position_;
    while (position_ < size_ && stops.find(content_[position_]) == std::string_view::npos) {
      ++position_;
    }
    std::string text = content_.substr(start, position_ - start);
    const std::size_t zero = text.find('\0');
    if (zero != std::string::npos) text.resize(zero);
    return text;
  }
  std::size_t position() const { return position_; }
  void MoveTo(std::size_t position) { position_ = position < size_ ? position : size_; }
  const char* c_str() const { return content_.c_str(); }

 private:
  const std::string& content_;  // the content plus one zero byte
  std::size_t size_;
  std::size_t position_ = 0;
};

}  // namespace

std::string_view SearchMethodName(SearchMethod method) {
  switch (method) {
    case SearchMethod::LatticeThenLm:
      return kSearchMethodLatticeThenLm;
    case SearchMethod::LmOnly:
      return kSearchMethodLmOnly;
    case SearchMethod::Lattice:
      break;
  }
  return {};
}

SearchMethod SearchMethodFromName(std::string_view name) {
  if (name == kSearchMethodLatticeThenLm) return SearchMethod::LatticeThenLm;
  if (name == kSearchMethodLmOnly) return SearchMethod::LmOnly;
  return SearchMethod::Lattice;
}

std::string BuildConditionFile(ConditionSource source, const AppState& state,
                               const ConditionDialogValues& dialog) {
  const ConditionRecord& record = state.conditions;
  const bool from_dialog = source == ConditionSource::FromDialog;
  std::string text;
  text.reserve(1024);
  text += "[Formula]\r\n";
  text += LeftSideLine(from_dialog ? LeftSideFromIndex(dialog.left_side_index) : record.leftSide);
  text += "\r\n";
  if (from_dialog) {
    text += CutShiftJis(dialog.formula, kDialogFormulaBytes);
  } else {
    const char* formula = state.formula.formulaText;
    text.append(formula, strnlen(formula, kFormulaTextSize));
  }
  text += "\r\n";
  text += "[Initial, Minimum, Maximum and Accuracy]\r\n";
  for (int row = 0; row < 10; ++row) {
    if (from_dialog) {
      for (int column = 0; column < 4; ++column) {
        if (column > 0) text += ',';
        text += CutShiftJis(dialog.constants[row][column], kDialogConstantBytes);
      }
    } else {
      const ConstantTexts& c = record.constants[row];
      text += c.InitialValue + ',' + c.VarRegionL + ',' + c.VarRegionU + ',' + c.Accuracy;
    }
    text += "\r\n";
  }
  text += "[Angle Unit]\r\n";
  const bool degree = from_dialog ? dialog.degree : record.angleUnit == AngleUnit::Degree;
  text += degree ? "Degree\r\n" : "Radian\r\n";
  text += "[No Wild Guess]\r\n";
  text += record.roughEstimation == 0 ? "Valid\r\n" : "Invalid\r\n";
  text += "[Valid Data Interval]\r\n";
  text += FormatNumber(static_cast<double>(record.dataInterval));
  // The method only when it is not the lattice search, so that files of the default method keep
  // their layout byte for byte.
  const std::string_view method = SearchMethodName(record.searchMethod);
  if (!method.empty()) {
    text += "\r\n";
    text += kSearchMethodSection;
    text += "\r\n";
    text += method;
  }
  text.push_back('\0');
  return text;
}

bool WriteConditionFile(const std::string& path, ConditionSource source, const AppState& state,
                        const ConditionDialogValues& dialog, Prompter& prompter, WindowId owner) {
  if (WriteWholeFile(path, BuildConditionFile(source, state, dialog))) return true;
  prompter.Show(text::kMsgFileWriteFailed, text::kCaptionError, owner);
  return false;
}

bool SaveConditionFile(const std::string& path, const AppState& state,
                       const ConditionDialogValues& dialog, Prompter& prompter, WindowId owner) {
  const std::string bytes = BuildConditionFile(ConditionSource::FromDialog, state, dialog);
  FileWriteOutcome outcome = CreateNewFileWithOutcome(path, bytes);
  if (outcome == FileWriteOutcome::kExists) {
    if (prompter.Ask(text::kMsgOverwriteQuestion, text::kCaptionConfirm, Buttons::kOkCancel,
                     owner) != Answer::kOk) {
      return false;
    }
    outcome = ReplaceFileWithOutcome(path, bytes);
  }
  switch (outcome) {
    case FileWriteOutcome::kWritten:
      return true;
    case FileWriteOutcome::kWriteFailed:
      prompter.Show(text::kMsgFileWriteFailed, text::kCaptionError, owner);
      return false;
    case FileWriteOutcome::kExists:
    case FileWriteOutcome::kCannotCreate:
      break;
  }
  prompter.Show(text::kMsgFileOpenFailed, text::kCaptionError, owner);
  return false;
}

FormulaCheckCode LoadConditionFile(std::string_view file_bytes, ConditionDialogValues& dialog,
                                   AppState& state) {
  std::string content(file_bytes);
  content.push_back('\0');
  LayoutReader reader(content);

  // [Formula], then the left side.
  reader.SkipPast(']');
  switch (reader.At()) {
    case '(':
      dialog.left_side_index = LeftSideIndex(LeftSide::NotSelected);
      break;
    case 'x':
      dialog.left_side_index = LeftSideIndex(LeftSide::X);
      break;
    case 'y':
      dialog.left_side_index = LeftSideIndex(LeftSide::Y);
      break;
    default:
      break;
  }

  // The formula line.
  reader.SkipPast('=');
  dialog.formula = CutShiftJis(reader.CopyUntil("\r"), kLoadedFormulaBytes);

  // Ten constant rows of four fields.
  reader.SkipPast(']');
  for (int row = 0; row < 10; ++row) {
    for (int column = 0; column < 4; ++column) {
      dialog.constants[row][column] = reader.CopyUntil(",\r");
      reader.Step();  // the delimiter
    }
    reader.Step();  // the line feed
  }

  reader.SkipPast(']');
  if (reader.At() == 'D') dialog.degree = true;
  if (reader.At() == 'R') dialog.degree = false;

  reader.SkipPast(']');
  if (reader.At() == 'I') state.conditions.roughEstimation = 1;
  if (reader.At() == 'V') state.conditions.roughEstimation = 0;

  reader.SkipPast(']');
  std::size_t position = reader.position();
  ParseStatus status = ParseStatus::ParseInvalid;
  const double interval = ParseNumber(reader.c_str(), position, status);
  state.conditions.dataInterval = IntervalFromValue(interval, status);

  // The search method: the line after the next "]" names it; no such section (every file of
  // the default method) or any other text means the lattice search.
  reader.MoveTo(position);
  state.conditions.searchMethod = SearchMethod::Lattice;
  reader.SkipPast(']');
  if (!reader.AtEnd()) {
    state.conditions.searchMethod = SearchMethodFromName(reader.CopyUntil("\r"));
  }

  const FormulaCheckCode code =
      CheckFormula(state.formula, dialog.formula, LeftSideFromIndex(dialog.left_side_index));
  dialog.formula_status = std::string(FormulaStatusLabel(code));
  return code;
}

bool ReadConditionFile(const std::string& path, ConditionDialogValues& dialog, AppState& state,
                       Prompter& prompter, WindowId owner) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    prompter.Show(text::kMsgFileOpenFailed, text::kCaptionError, owner);
    return false;
  }
  ::close(fd);
  const std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes) {
    prompter.Show(text::kMsgFileReadFailed, text::kCaptionError, owner);
    return false;
  }
  LoadConditionFile(*bytes, dialog, state);
  return true;
}

}  // namespace calvane
