#include "conditions/condition_accept.h"

#include <algorithm>
#include <cstring>

#include "base/base_messages.h"

#include "formula/compiled_formula.h"
#include "formula/number_text.h"

namespace calvane {
namespace {

constexpr std::size_t kFieldCheckBytes = 22;  // what the per-field check reads
constexpr std::size_t kStoredBytes = 19;      // what OK reads and stores
constexpr std::size_t kFormulaStoredBytes = 499;

// First byte of a Shift-JIS double-byte character.
inline bool IsLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// A constant text's value as OK reads it; `present` is false for an empty field.
struct FieldValue {
  double value = 0.0;
  bool present = false;
};

// The bytes the per-field check reads: at most 22, exactly as stored, up to a zero byte.
std::string_view FieldCheckBytes(std::string_view text) {
  text = text.substr(0, std::min(text.size(), kFieldCheckBytes));
  return text.substr(0, std::min(text.size(), text.find('\0')));
}

FieldValue ReadFieldValue(const std::string& stored) {
  std::size_t position = 0;
  ParseStatus status = ParseStatus::ParseInvalid;
  FieldValue field;
  field.value = ParseNumber(stored.c_str(), position, status);
  field.present = status != ParseStatus::ParseEndOfText;
  return field;
}

}  // namespace

std::string CutShiftJis(std::string_view text, std::size_t max_bytes) {
  std::size_t end = 0;
  while (end < text.size() && text[end] != '\0') {
    std::size_t length = 1;
    if (IsLeadByte(static_cast<unsigned char>(text[end])) && end + 1 < text.size() &&
        text[end + 1] != '\0') {
      length = 2;
    }
    if (end + length > max_bytes) break;
    end += length;
  }
  return std::string(text.substr(0, end));
}

ConditionDialogValues DialogValuesFromRecord(const AppState& state) {
  const ConditionRecord& record = state.conditions;
  ConditionDialogValues values;
  values.left_side_index = record.leftSide <= LeftSide::Y ? LeftSideIndex(record.leftSide) : 0;
  switch (record.formulaState) {
    case FormulaState::NotEntered:
      values.formula_status = std::string(text::kStatusNotEntered);
      break;
    case FormulaState::Invalid:
      values.formula_status = std::string(text::kStatusInvalid);
      break;
    default:
      values.formula_status.clear();
      break;
  }
  values.degree = record.angleUnit == AngleUnit::Degree;
  for (int row = 0; row < 10; ++row) {
    const ConstantTexts& c = record.constants[row];
    values.constants[row] = {c.InitialValue, c.VarRegionL, c.VarRegionU, c.Accuracy};
  }
  const char* text = state.formula.formulaText;
  values.formula.assign(text, strnlen(text, kFormulaTextSize));
  return values;
}

FieldCheck CheckConstantText(std::string_view text) {
  const std::string read(FieldCheckBytes(text));
  std::size_t position = 0;
  ParseStatus status = ParseStatus::ParseInvalid;
  ParseNumber(read.c_str(), position, status);
  if (position != read.size() || status == ParseStatus::ParseInvalid) return FieldCheck::kInvalid;
  if (status == ParseStatus::ParseOutOfRange) return FieldCheck::kOutOfRange;
  return FieldCheck::kAccepted;
}

std::string_view FieldCheckMessage(FieldCheck check) {
  switch (check) {
    case FieldCheck::kAccepted:
      return {};
    case FieldCheck::kInvalid:
      return text::kInvalidInput;
    case FieldCheck::kOutOfRange:
      return text::kOutOfRange;
  }
  return {};
}

bool ValidateConstantField(const ConditionDialogValues& values, int row, int column,
                           Prompter& prompter, WindowId owner) {
  if (row < 1 || row > 10 || column < 1 || column > 4) return true;
  const FieldCheck check = CheckConstantText(values.constants[row - 1][column - 1]);
  if (check == FieldCheck::kAccepted) return true;
  prompter.Show(FieldCheckMessage(check), text::kCaptionError, owner);
  return false;
}

AcceptResult AcceptConditions(const ConditionDialogValues& values, AppState& state,
                              Prompter& prompter, WindowId owner) {
  AcceptResult result;
  auto refuse = [&](int row, int column, std::string_view message) {
    result.row = row;
    result.column = column;
    result.message = message;
    prompter.Show(message, text::kCaptionError, owner);
    return result;
  };

  std::array<std::array<std::string, 4>, 10> stored;
  for (int row = 0; row < 10; ++row) {
    FieldValue field[4];
    for (int column = 0; column < 4; ++column) {
      const std::string& typed = values.constants[row][column];
      // A loaded file can put a text into a field that the per-field check never saw.
      const FieldCheck check = CheckConstantText(typed);
      if (check != FieldCheck::kAccepted) {
        return refuse(row + 1, column + 1, FieldCheckMessage(check));
      }
      // Only 19 bytes are stored: the cut must mean what the checked text meant, or a text
      // such as "1.00000000000000e-05" would be stored as "1.00000000000000e-0", that is 1.
      stored[row][column] = CutShiftJis(typed, kStoredBytes);
      field[column] = ReadFieldValue(stored[row][column]);
      if (stored[row][column].size() < typed.size()) {
        const FieldValue checked = ReadFieldValue(std::string(FieldCheckBytes(typed)));
        if (checked.present != field[column].present ||
            (checked.present && !(checked.value == field[column].value))) {
          return refuse(row + 1, column + 1, text::kInvalidInput);
        }
      }
    }
    const FieldValue& initial = field[0];
    const FieldValue& lower = field[1];
    const FieldValue& upper = field[2];
    const FieldValue& accuracy = field[3];
    if (accuracy.present && !(accuracy.value > 0.0))
      return refuse(row + 1, 4, text::kAccuracyNotPositive);
    if (lower.present && upper.present && !(lower.value < upper.value)) {
      return refuse(row + 1, 2, text::kBoundsOrder);
    }
    if (initial.present && ((lower.present && !(lower.value <= initial.value)) ||
                            (upper.present && !(initial.value <= upper.value)))) {
      return refuse(row + 1, 1, text::kInitialOutsideBounds);
    }
  }

  ConditionRecord& record = state.conditions;
  record.leftSide = LeftSideFromIndex(values.left_side_index);

  const std::string formula = CutShiftJis(values.formula, kFormulaStoredBytes);
  std::memset(state.formula.formulaText, 0, sizeof state.formula.formulaText);
  std::memcpy(state.formula.formulaText, formula.data(), formula.size());

  const std::string_view label = values.formula_status;
  if (label == text::kStatusNotEntered) {
    record.formulaState = FormulaState::NotEntered;
  } else if (label == text::kStatusInvalid) {
    record.formulaState = FormulaState::Invalid;
  } else if (label.empty()) {
    record.formulaState = FormulaState::Valid;
  }

  for (int row = 0; row < 10; ++row) {
    ConstantTexts& c = record.constants[row];
    c.InitialValue = stored[row][0];
    c.VarRegionL = stored[row][1];
    c.VarRegionU = stored[row][2];
    c.Accuracy = stored[row][3];
  }
  record.angleUnit = values.degree ? AngleUnit::Degree : AngleUnit::Radian;

  // Nothing depends on Formula.ini's content, so a failed write is not reported.
  result.formula_file_written = WriteFormulaFile(state.formula, state.working_directory);
  result.accepted = true;
  return result;
}

}  // namespace calvane
