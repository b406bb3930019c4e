#include "formula/formula_check.h"

#include <cstring>

#include "formula/formula_messages.h"
#include "formula/number_text.h"

namespace calvane {
namespace {

using enum FormulaCheckCode;
using enum ParseStatus;

constexpr int kBufferSize = kFormulaTextSize;  // 502: 500 bytes of text and two zero bytes
constexpr std::size_t kMaxTextRead = 500;
constexpr char kMarker = 0x0A;  // stands where an operator, sign or function has been compiled

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsExponentLetter(char c) { return c == 'E' || c == 'e'; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Bytes that may follow an operand.
bool MayFollowOperand(char c) {
  return c == '\0' || c == ')' || c == '*' || c == '+' || c == '-' || c == '/' || c == '^';
}

// Bytes that end a numeric literal.
bool EndsLiteral(char c) {
  return c == '\0' || c == ' ' || c == ')' || c == '*' || c == '+' || c == '-' || c == '/' ||
         c == '^';
}

// One check-and-compile pass over a formula text. The text is rewritten in place in a buffer of
// its own: consumed bytes become spaces and every compiled operator, sign or function becomes a
// marker that later operands refer to. Every access goes through At/Set, which stay inside the
// buffer, and the terminating zero byte is never overwritten, so no text can move the end of the
// text past the buffer.
class FormulaChecker {
 public:
  FormulaChecker(CompiledFormula& formula, LeftSide left_side)
      : f_(formula), left_side_(left_side) {}

  FormulaCheckCode Run(std::string_view text);

 private:
  char At(int i) const { return (i >= 0 && i < kBufferSize) ? buffer_[i] : '\0'; }
  // Replaces a byte of the text (never the end of the text) by `c`.
  void Set(int i, char c) {
    if (i >= 0 && i < kBufferSize && buffer_[i] != '\0') buffer_[i] = c;
  }
  void Blank(int i) { Set(i, ' '); }
  bool IsMarker(int i) const { return At(i) == kMarker && i >= 0 && marker_slot_[i] >= 0; }
  int SkipSpaces(int i) const {
    while (At(i) == ' ') ++i;
    return i;
  }

  void FindGroup(int& open, int& stop);
  void ProcessGroup(int start, int stop);
  void CompileFunction(int open);
  void Emit(int p, std::uint8_t code);
  const double* ResolveOperand(int s, int q, int side);
  void FinalScan();

  CompiledFormula& f_;
  const LeftSide left_side_;
  char buffer_[kBufferSize];
  std::int16_t marker_slot_[kBufferSize];  // slot a marker stands for, -1 where there is none
  int constants_ = 0;
  int slots_ = 0;
  FormulaCheckCode code_ = FormulaValid;
};

FormulaCheckCode FormulaChecker::Run(std::string_view text) {
  f_.ResetProgram();
  std::memset(buffer_, 0, sizeof buffer_);
  for (std::int16_t& m : marker_slot_) m = -1;

  const std::size_t n = text.size() < kMaxTextRead ? text.size() : kMaxTextRead;
  std::memcpy(buffer_, text.data(), n);
  if (std::strlen(buffer_) > 499) code_ = FormulaTooLong;
  if (At(SkipSpaces(0)) == '\0') code_ = FormulaEmpty;

  for (;;) {
    int open = -1;
    int stop = 0;
    FindGroup(open, stop);
    ProcessGroup(open + 1, stop);
    if (open < 0) break;
    Blank(open);
    Blank(stop);  // the ")"; an end of text stays the end of the text
    CompileFunction(open);
  }

  FinalScan();
  if (code_ == FormulaValid && constants_ == 0) code_ = FormulaNoConstantOrVariable;
  if (code_ == FormulaValid && !f_.usesX && !f_.usesY) code_ = FormulaNoConstantOrVariable;
  f_.PrepareEvaluation();
  return code_;
}

// The innermost group: from the last "(" before the first ")" (or before the end of the text).
void FormulaChecker::FindGroup(int& open, int& stop) {
  open = -1;
  for (int i = 0;; ++i) {
    const char c = At(i);
    if (c == ')') {
      if (open < 0) code_ = FormulaUnbalancedParentheses;
      stop = i;
      return;
    }
    if (c == '\0') {
      if (open >= 0) code_ = FormulaUnbalancedParentheses;
      stop = i;
      return;
    }
    if (c == '(') open = i;
  }
}

// Compiles the operators of one group in the four rounds of precedence.
void FormulaChecker::ProcessGroup(int start, int stop) {
  for (int i = start; i < stop; ++i) {
    if (At(i) == '^') Emit(i, 5);
  }
  for (int i = start; i < stop; ++i) {
    if (At(i) == '*') {
      Emit(i, 3);
    } else if (At(i) == '/') {
      Emit(i, 4);
    }
  }
  const int first = SkipSpaces(start);
  if (first < stop) {
    if (At(first) == '+') {
      Blank(first);
    } else if (At(first) == '-') {
      Emit(first, 6);
    }
  }
  for (int i = start; i < stop; ++i) {
    const char c = At(i);
    if ((c == '+' || c == '-') && !IsExponentLetter(At(i - 1))) Emit(i, c == '+' ? 1 : 2);
  }
}

// After a group's parentheses are blanked: a function name before the "(" applies to the group.
void FormulaChecker::CompileFunction(int open) {
  int q = open - 1;
  if (q < 0) return;
  while (q > 0 && At(q) == ' ') --q;
  auto name_is = [&](const char* name, int length) {
    if (q < length - 1) return false;
    for (int k = 0; k < length; ++k) {
      if (Upper(At(q - length + 1 + k)) != name[k]) return false;
    }
    return true;
  };
  struct Name {
    const char* text;
    int length;
    std::uint8_t code;
  };
  static constexpr Name kNames[] = {
      {"SQRT", 4, 7}, {"ASIN", 4, 14}, {"ACOS", 4, 15}, {"ATAN", 4, 16}, {"EXP", 3, 8},
      {"LOG", 3, 9},  {"SIN", 3, 11},  {"COS", 3, 12},  {"TAN", 3, 13},  {"LN", 2, 10},
  };
  for (const Name& name : kNames) {
    if (name_is(name.text, name.length)) {
      for (int k = 0; k < name.length; ++k) Blank(q - k);
      Emit(open, name.code);
      return;
    }
  }
}

// Emits the next slot for the operator, sign or function at position p.
void FormulaChecker::Emit(int p, std::uint8_t code) {
  if (slots_ >= kMaxSlots) {
    // Only a text of runs of operators gets here (an operand costs a byte too); the byte stays
    // in the text and the final scan refuses it.
    code_ = FormulaInvalidText;
    return;
  }
  const int s = slots_++;
  f_.opCode[s] = code;
  if (code <= 5) {
    if (p == 0) {
      code_ = FormulaInvalidText;
    } else {
      int start = 0;
      for (int q = p - 1; q >= 0; --q) {
        const char c = At(q);
        if (c == '(' || c == '*' || c == '/' || c == '^' ||
            ((c == '+' || c == '-') && !IsExponentLetter(At(q - 1)))) {
          start = q + 1;
          break;
        }
      }
      f_.leftOperand[s] = ResolveOperand(s, start, 0);
    }
  }
  f_.rightOperand[s] = ResolveOperand(s, p + 1, 1);
  Set(p, kMarker);
  marker_slot_[p] = static_cast<std::int16_t>(s);
}

// Resolves the operand of slot s that starts at q (side 0 left, 1 right) and consumes it.
const double* FormulaChecker::ResolveOperand(int s, int q, int side) {
  q = SkipSpaces(q);
  const char c = At(q);
  const double* cell = nullptr;
  int end = q + 1;
  if (IsMarker(q)) {
    cell = &f_.slotValue[marker_slot_[q]];
    marker_slot_[q] = -1;
    Blank(q);
  } else if (IsDigit(c) || c == '.') {
    end = q + 1;
    for (;;) {
      const char next = At(end);
      if (IsExponentLetter(next) && (At(end + 1) == '+' || At(end + 1) == '-')) {
        end += 2;
      } else if (EndsLiteral(next)) {
        break;
      } else {
        ++end;
      }
    }
    char digits[kBufferSize + 1];
    int length = 0;
    for (int i = q; i < end && length < kBufferSize; ++i) digits[length++] = At(i);
    digits[length] = '\0';
    for (int i = q; i < end; ++i) Blank(i);
    std::size_t position = 0;
    ParseStatus status = ParseOk;
    const double value = ParseNumber(digits, position, status);
    if (status == ParseOutOfRange) code_ = FormulaLiteralOutOfRange;
    if (status == ParseInvalid) code_ = FormulaBadLiteral;
    // ParseNumber stops with success at a tab, ",", ";" or carriage return; such a byte inside
    // a literal would silently drop the rest of it, so the literal is refused.
    if ((status == ParseOk || status == ParseOutOfRange) && digits[position] != '\0') {
      code_ = FormulaBadLiteral;
    }
    f_.literal[s][side] = value;
    cell = &f_.literal[s][side];
  } else if (c == 'k' || c == 'K') {
    if (!IsDigit(At(q + 1))) {
      code_ = FormulaInvalidText;
      return nullptr;
    }
    const int n = At(q + 1) - '0';
    if (f_.paramIndex[n] == kUnusedConstant) {
      f_.paramIndex[n] = static_cast<std::uint8_t>(constants_++);
    }
    cell = &f_.paramValue[f_.paramIndex[n]];
    Blank(q);
    Blank(q + 1);
    end = q + 2;
  } else if (c == 'x' || c == 'X') {
    if (left_side_ == LeftSide::X) code_ = FormulaUsesLeftSide;
    cell = &f_.x;
    f_.usesX = true;
    Blank(q);
  } else if (c == 'y' || c == 'Y') {
    if (left_side_ == LeftSide::Y) code_ = FormulaUsesLeftSide;
    cell = &f_.y;
    f_.usesY = true;
    Blank(q);
  } else {
    code_ = FormulaInvalidText;
    return nullptr;
  }
  if (!MayFollowOperand(At(SkipSpaces(end)))) code_ = FormulaInvalidText;
  return cell;
}

// Only spaces and the one marker of the last slot may remain.
void FormulaChecker::FinalScan() {
  int markers = 0;
  for (int i = 0; At(i) != '\0'; ++i) {
    if (At(i) == ' ') continue;
    if (IsMarker(i)) {
      ++markers;
      continue;
    }
    code_ = FormulaInvalidText;
  }
  if (markers > 1) code_ = FormulaInvalidText;
}

}  // namespace

FormulaCheckCode CheckFormula(CompiledFormula& formula, std::string_view text, LeftSide left_side) {
  // The check works in a buffer of its own, so formula.formulaText, the text accepted by the
  // last OK command, is the same after the check as before it.
  FormulaChecker checker(formula, left_side);
  return checker.Run(text);
}

std::string_view FormulaStatusLabel(FormulaCheckCode code) {
  using enum FormulaCheckCode;
  if (code == FormulaValid) return "";
  if (code == FormulaEmpty) return text::kLabelEmpty;
  return text::kLabelInvalid;
}

std::string_view FormulaCheckMessage(FormulaCheckCode code) {
  using enum FormulaCheckCode;
  switch (code) {
    case FormulaInvalidText:
    case FormulaBadLiteral:
      return text::kCheckInvalid;
    case FormulaNoConstantOrVariable:
      return text::kCheckNoConstantOrVariable;
    case FormulaUnbalancedParentheses:
      return text::kCheckParentheses;
    case FormulaUsesLeftSide:
      return text::kCheckUsesLeftSide;
    case FormulaLiteralOutOfRange:
      return text::kCheckLiteralOutOfRange;
    case FormulaTooLong:
      return text::kCheckTooLong;
    default:
      return "";
  }
}

}  // namespace calvane
