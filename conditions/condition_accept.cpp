#include "base/base_messages.h"
#include "conditions/condition_accept.h"

#include <cstring>

#include "formula/compiled_formula.h"
#include "formula/number_text.h"

namespace calvane {
namespace {

constexpr std::string_view kMsgInvalidInput = "不正な入力値です。";
constexpr std::string_view kMsgOutOfRange = "値が大きすぎ、あるいは小さすぎます。";
constexpr std::string_view kMsgAccuracy = "計算精度は正でなければなりません。";
constexpr std::string_view kMsgBounds = "下限は上限より小さくくなければなりません。";
constexpr std::string_view kMsgInitial = "初期値は下限と上限の間でなければなりません。";
constexpr std::string_view kStatusSetConditions = "計算条件を設定してください。";
constexpr std::string_view kStatusRun = "計算を実行してください。";

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

FieldValue ReadFieldValue(const std::string& stored) {
  std::size_t position = 0;
  std::uint8_t status = ParseInvalid;
  FieldValue field;
  field.value = ParseNumber(stored.c_str(), position, status);
  field.present = status != ParseEndOfText;
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
  values.left_side_index = record.leftSide <= Y ? int{record.leftSide} : int{NotSelected};
  switch (record.formulaState) {
    case NotEntered: values.formula_status = std::string(kStatusNotEntered); break;
    case Invalid: values.formula_status = std::string(kStatusInvalid); break;
    default: values.formula_status.clear(); break;
  }
  values.degree = record.angleUnit == Degree;
  for (int row = 0; row < 10; ++row) {
    const ConstantTexts& c = record.constants[row];
    values.constants[row] = {c.InitialValue, c.VarRegionL, c.VarRegionU, c.Accuracy};
  }
  const char* text = state.formula.formulaText;
  values.formula.assign(text, strnlen(text, kFormulaTextSize));
  return values;
}

FieldCheck CheckConstantText(std::string_view text) {
  const std::string read = CutShiftJis(text, kFieldCheckBytes);
  std::size_t position = 0;
  std::uint8_t status = ParseInvalid;
  ParseNumber(read.c_str(), position, status);
  if (position != read.size() || status == ParseInvalid) return FieldCheck::kInvalid;
  if (status == ParseOutOfRange) return FieldCheck::kOutOfRange;
  return FieldCheck::kAccepted;
}

std::string_view FieldCheckMessage(FieldCheck check) {
  switch (check) {
    case FieldCheck::kAccepted: return {};
    case FieldCheck::kInvalid: return kMsgInvalidInput;
    case FieldCheck::kOutOfRange: return kMsgOutOfRange;
  }
  return {};
}

bool ValidateConstantField(const ConditionDialogValues& values, int row, int column,
                           Prompter& prompter, WindowId owner) {
  if (row < 1 || row > 10 || column < 1 || column > 4) return true;
  const FieldCheck check = CheckConstantText(values.constants[row - 1][column - 1]);
  if (check == FieldCheck::kAccepted) return true;
  prompter.Show(FieldCheckMessage(check), kCaptionError, owner);
  return false;
}

AcceptResult AcceptConditions(const ConditionDialogValues& values, AppState& state,
                              Prompter& prompter, WindowId owner) {
  AcceptResult result;
  auto refuse = [&](int row, int column, std::string_view message) {
    result.row = row;
    result.column = column;
    result.message = message;
    prompter.Show(message, kCaptionError, owner);
    return result;
  };

  std::array<std::array<std::string, 4>, 10> stored;
  for (int row = 0; row < 10; ++row) {
    FieldValue field[4];
    for (int column = 0; column < 4; ++column) {
      const std::string& text = values.constants[row][column];
      // A loaded file can put a text into a field that the per-field check never saw. The
      // stored 19-byte cut is checked as well, so that no text OK stores is malformed.
      stored[row][column] = CutShiftJis(text, kStoredBytes);
      FieldCheck check = CheckConstantText(text);
      if (check == FieldCheck::kAccepted) check = CheckConstantText(stored[row][column]);
      if (check != FieldCheck::kAccepted) {
        return refuse(row + 1, column + 1, FieldCheckMessage(check));
      }
      field[column] = ReadFieldValue(stored[row][column]);
    }
    const FieldValue& initial = field[0];
    const FieldValue& lower = field[1];
    const FieldValue& upper = field[2];
    const FieldValue& accuracy = field[3];
    if (accuracy.present && !(accuracy.value > 0.0)) return refuse(row + 1, 4, kMsgAccuracy);
    if (lower.present && upper.present && !(lower.value < upper.value)) {
      return refuse(row + 1, 2, kMsgBounds);
    }
    if (initial.present && ((lower.present && !(lower.value <= initial.value)) ||
                            (upper.present && !(initial.value <= upper.value)))) {
      return refuse(row + 1, 1, kMsgInitial);
    }
  }

  ConditionRecord& record = state.conditions;
  const int index = values.left_side_index;
  record.leftSide =
      (index == X || index == Y) ? static_cast<std::uint8_t>(index) : std::uint8_t{NotSelected};

  const std::string formula = CutShiftJis(values.formula, kFormulaStoredBytes);
  std::memset(state.formula.formulaText, 0, sizeof state.formula.formulaText);
  std::memcpy(state.formula.formulaText, formula.data(), formula.size());

  const std::int8_t workflow = state.workflow.load();
  const std::string_view label = values.formula_status;
  if (label == kStatusNotEntered || label == kStatusInvalid) {
    record.formulaState = label == kStatusNotEntered ? NotEntered : Invalid;
    result.run_command = RunCommandChange::kDisable;
    if (workflow == kDataLoaded) result.status_line = kStatusSetConditions;
  } else if (label.empty()) {
    record.formulaState = Valid;
    const bool has_left_side = record.leftSide == X || record.leftSide == Y;
    if (workflow == kStoppedResults || (workflow == kDataLoaded && has_left_side)) {
      result.run_command = RunCommandChange::kEnable;
      result.status_line = kStatusRun;
    } else if (workflow == kNoData || (workflow == kDataLoaded && !has_left_side)) {
      result.run_command = RunCommandChange::kDisable;
    }
  }

  for (int row = 0; row < 10; ++row) {
    ConstantTexts& c = record.constants[row];
    c.InitialValue = stored[row][0];
    c.VarRegionL = stored[row][1];
    c.VarRegionU = stored[row][2];
    c.Accuracy = stored[row][3];
  }
  record.angleUnit = values.degree ? Degree : Radian;

  // Nothing depends on Formula.ini's content, so a failed write is not reported.
  result.formula_file_written = WriteFormulaFile(state.formula, state.working_directory);
  result.accepted = true;
  return result;
}

}  // namespace calvane
