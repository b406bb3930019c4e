#include "conditions/condition_accept.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/file_io.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/temp_dir.h"

namespace calvane {
namespace {

using test::ScriptedPrompter;
using test::TempDir;

const std::string kInvalidInput = "不正な入力値です。";
const std::string kTooLarge = "値が大きすぎ、あるいは小さすぎます。";
const std::string kAccuracy = "計算精度は正でなければなりません。";
const std::string kBounds = "下限は上限より小さくくなければなりません。";
const std::string kInitial = "初期値は下限と上限の間でなければなりません。";

TEST(CutShiftJis, CutsAtTheLimitWithoutSplittingADoubleByteCharacter) {
  struct Case {
    std::string text;
    std::size_t max;
    std::string cut;
  };
  const Case cases[] = {
      {"abcdef", 4, "abcd"},
      {"ab", 19, "ab"},
      {"abc\x82\xA0", 4, "abc"},
      {"abc\x82\xA0", 5, "abc\x82\xA0"},
      {"\x88\x9F\x88\x9F", 3, "\x88\x9F"},
      {"a\xB1\xB2", 2, "a\xB1"},  // single-byte katakana
      {std::string("ab\0cd", 5), 19, "ab"},
      {"a\x82", 19, "a\x82"},  // a lone lead byte at the end is kept as it is
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(CutShiftJis(c.text, c.max), c.cut);
  }
}

TEST(ValidateConstantField, RefusesWhatIsNotOneWholeNumberAndAcceptsEmptyFields) {
  struct Case {
    std::string text;
    FieldCheck check;
  };
  const Case cases[] = {
      {"", FieldCheck::kAccepted},
      {"   ", FieldCheck::kAccepted},
      {"12", FieldCheck::kAccepted},
      {" -0.5 ", FieldCheck::kAccepted},
      {".5", FieldCheck::kAccepted},
      {"1e-3", FieldCheck::kAccepted},
      {"1e301", FieldCheck::kAccepted},
      {"abc", FieldCheck::kInvalid},
      {"12 x", FieldCheck::kInvalid},
      {"1,5", FieldCheck::kInvalid},
      {"1;", FieldCheck::kInvalid},
      {"\t1", FieldCheck::kInvalid},
      {"1\r", FieldCheck::kInvalid},
      {"1.", FieldCheck::kInvalid},
      {"--1", FieldCheck::kInvalid},
      {"1e400", FieldCheck::kOutOfRange},
      {"-3e302", FieldCheck::kOutOfRange},
      {std::string(400, '9'), FieldCheck::kAccepted},
      {std::string(21, '1') + "x", FieldCheck::kInvalid},
      {std::string(22, '1') + "x", FieldCheck::kAccepted},  // only 22 bytes are read
      // The 22 bytes are read exactly as stored: a double-byte character whose lead byte is
      // the 22nd byte is cut inside it, and the lone lead byte is not part of a number.
      {std::string(21, '1') + "\x82\x50", FieldCheck::kInvalid},  // 21 digits and "１"
      {std::string(20, '1') + "\x82\x50", FieldCheck::kInvalid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(CheckConstantText(c.text), c.check);
    ConditionDialogValues values;
    values.constants[6][2] = c.text;
    ScriptedPrompter prompter;
    EXPECT_EQ(ValidateConstantField(values, 7, 3, prompter), c.check == FieldCheck::kAccepted);
    if (c.check == FieldCheck::kAccepted) {
      EXPECT_TRUE(prompter.calls().empty());
    } else {
      ASSERT_EQ(prompter.calls().size(), 1u);
      EXPECT_EQ(prompter.calls()[0].text,
                c.check == FieldCheck::kInvalid ? kInvalidInput : kTooLarge);
      EXPECT_EQ(prompter.calls()[0].caption, "エラー");
      EXPECT_EQ(prompter.calls()[0].owner, WindowId::kConditions);
    }
  }
}

TEST(ValidateConstantField, ChecksOnlyTheNamedFieldAndIgnoresFieldsOutsideTheTable) {
  ConditionDialogValues values;
  values.constants[0][0] = "abc";
  ScriptedPrompter prompter;
  EXPECT_TRUE(ValidateConstantField(values, 1, 2, prompter));
  EXPECT_TRUE(ValidateConstantField(values, 2, 1, prompter));
  EXPECT_FALSE(ValidateConstantField(values, 1, 1, prompter));
  EXPECT_TRUE(ValidateConstantField(values, 0, 1, prompter));
  EXPECT_TRUE(ValidateConstantField(values, 11, 1, prompter));
  EXPECT_TRUE(ValidateConstantField(values, 1, 5, prompter));
  EXPECT_EQ(prompter.calls().size(), 1u);
}

class AcceptConditionsTest : public testing::Test {
 protected:
  void SetUp() override {
    state_ = MakeAppState(dir_.path());
    std::remove(dir_.File("Formula.ini").c_str());
    std::strcpy(state_->formula.formulaText, "old");
    state_->conditions.constants[0].InitialValue = "old";
    values_.formula = "k0*x+k1";
    values_.formula_status = "";
  }

  AcceptResult Accept() { return AcceptConditions(values_, *state_, prompter_); }

  void ExpectNothingStored() {
    EXPECT_STREQ(state_->formula.formulaText, "old");
    EXPECT_EQ(state_->conditions.constants[0].InitialValue, "old");
    EXPECT_EQ(state_->conditions.formulaState, FormulaState::NotEntered);
    EXPECT_FALSE(FileExists(dir_.File("Formula.ini")));
  }

  TempDir dir_;
  std::unique_ptr<AppState> state_;
  ConditionDialogValues values_;
  ScriptedPrompter prompter_;
};

TEST_F(AcceptConditionsTest, RowChecksNameTheFieldInError) {
  struct Case {
    const char* name;
    std::array<std::string, 4> row;  // initial, lower, upper, accuracy
    int column;                      // 0: accepted
    const std::string* message;
  };
  const Case cases[] = {
      {"all empty", {"", "", "", ""}, 0, nullptr},
      {"accuracy 0", {"", "", "", "0"}, 4, &kAccuracy},
      {"accuracy -1", {"", "", "", "-1"}, 4, &kAccuracy},
      {"accuracy empty", {"1", "0", "2", ""}, 0, nullptr},
      {"equal bounds", {"", "5", "5", ""}, 2, &kBounds},
      {"lower above upper", {"", "6", "5", "1"}, 2, &kBounds},
      {"lower only", {"", "5", "", ""}, 0, nullptr},
      {"initial at the upper bound", {"10", "0", "10", "0.1"}, 0, nullptr},
      {"initial at the lower bound", {"0", "0", "10", "0.1"}, 0, nullptr},
      {"initial above upper", {"11", "0", "10", "0.1"}, 1, &kInitial},
      {"initial below lower", {"-1", "0", "", ""}, 1, &kInitial},
      {"initial above a lone upper", {"3", "", "2", ""}, 1, &kInitial},
      {"accuracy before bounds", {"20", "5", "5", "0"}, 4, &kAccuracy},
      {"bounds before initial", {"20", "5", "5", "1"}, 2, &kBounds},
      {"invalid text", {"1", "abc", "", ""}, 2, &kInvalidInput},
      {"too large", {"1e400", "", "", ""}, 1, &kTooLarge},
      {"form before accuracy", {"", "", "x", "0"}, 3, &kInvalidInput},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    ScriptedPrompter prompter;
    values_.constants[4] = c.row;
    const AcceptResult result = AcceptConditions(values_, *state_, prompter);
    EXPECT_EQ(result.accepted, c.column == 0);
    if (c.column == 0) {
      EXPECT_TRUE(prompter.calls().empty());
      EXPECT_EQ(state_->conditions.constants[4].VarRegionL, c.row[1]);
      continue;
    }
    EXPECT_EQ(result.row, 5);
    EXPECT_EQ(result.column, c.column);
    EXPECT_EQ(result.message, *c.message);
    ASSERT_EQ(prompter.calls().size(), 1u);
    EXPECT_EQ(prompter.calls()[0].text, *c.message);
    EXPECT_EQ(prompter.calls()[0].caption, "エラー");
    EXPECT_EQ(prompter.calls()[0].owner, WindowId::kConditions);
    ExpectNothingStored();
  }
}

TEST_F(AcceptConditionsTest, FirstFailingRowWinsAndOnlyItsMessageIsShown) {
  values_.constants[7] = {"", "", "", "0"};
  values_.constants[3] = {"", "9", "1", ""};
  values_.constants[5] = {"abc", "", "", ""};
  AcceptResult result = Accept();
  EXPECT_FALSE(result.accepted);
  EXPECT_EQ(result.row, 4);
  EXPECT_EQ(result.column, 2);
  EXPECT_EQ(prompter_.Texts(), std::vector<std::string>{kBounds});

  // Within a row, the first malformed field from the left wins over any later check.
  values_.constants[3] = {"1", "", "1e999", "y"};
  result = Accept();
  EXPECT_EQ(result.row, 4);
  EXPECT_EQ(result.column, 3);
  EXPECT_EQ(result.message, kTooLarge);
  ExpectNothingStored();
}

TEST_F(AcceptConditionsTest, StoresEverythingAndWritesTheFormulaFile) {
  values_.left_side_index = LeftSideIndex(LeftSide::X);
  values_.formula = "k0*y+k1";
  values_.degree = false;
  values_.constants[0] = {"1", "-10", "10", "0.0001"};
  values_.constants[9] = {"", "-5", "", ""};
  values_.constants[2][0] = "0.000000000000000000000";  // 23 bytes, stored cut: still 0
  const AcceptResult result = Accept();
  ASSERT_TRUE(result.accepted);
  EXPECT_TRUE(prompter_.calls().empty());
  const ConditionRecord& record = state_->conditions;
  EXPECT_EQ(record.leftSide, LeftSide::X);
  EXPECT_STREQ(state_->formula.formulaText, "k0*y+k1");
  EXPECT_EQ(record.formulaState, FormulaState::Valid);
  EXPECT_EQ(record.angleUnit, AngleUnit::Radian);
  EXPECT_EQ(record.constants[0].InitialValue, "1");
  EXPECT_EQ(record.constants[0].VarRegionL, "-10");
  EXPECT_EQ(record.constants[0].VarRegionU, "10");
  EXPECT_EQ(record.constants[0].Accuracy, "0.0001");
  EXPECT_EQ(record.constants[9].VarRegionL, "-5");
  EXPECT_EQ(record.constants[9].InitialValue, "");
  EXPECT_EQ(record.constants[2].InitialValue, "0.00000000000000000");
  EXPECT_TRUE(result.formula_file_written);
  EXPECT_TRUE(FileExists(dir_.File("Formula.ini")));

  values_.degree = true;
  values_.left_side_index = -1;
  ASSERT_TRUE(Accept().accepted);
  EXPECT_EQ(state_->conditions.angleUnit, AngleUnit::Degree);
  EXPECT_EQ(state_->conditions.leftSide, LeftSide::NotSelected);
}

TEST_F(AcceptConditionsTest, ALongTextIsStoredCutOnlyWhenTheCutKeepsItsValue) {
  struct Case {
    const char* name;
    std::string text;
    bool accepted;
    std::string stored;
  };
  const Case cases[] = {
      {"trailing zeros", "1.0000000000000000000", true, "1.00000000000000000"},
      {"20 characters, the cut keeps the value", "1.000000000000000000", true,
       "1.00000000000000000"},
      {"20 digits, the cut loses one", "12345678901234567890", false, ""},
      {"the program's own 1e-5", "1.00000000000000e-05", false, ""},
      {"exponent cut away", "123456789012345678e+5", false, ""},
      {"digits beyond double precision", "0.10000000000000000001", true, "0.10000000000000000"},
      {"23 bytes: the check reads 22", "-1234567890123456789012", false, ""},
      {"cut leaves only spaces", std::string(19, ' ') + "5", false, ""},
      {"19 characters stored whole", "1234567890123456789", true, "1234567890123456789"},
      {"spaces after the number", "5" + std::string(20, ' '), true, "5" + std::string(18, ' ')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    ScriptedPrompter prompter;
    values_.constants[1][1] = c.text;
    const AcceptResult result = AcceptConditions(values_, *state_, prompter);
    EXPECT_EQ(result.accepted, c.accepted);
    if (c.accepted) {
      EXPECT_EQ(state_->conditions.constants[1].VarRegionL, c.stored);
      continue;
    }
    EXPECT_EQ(result.row, 2);
    EXPECT_EQ(result.column, 2);
    EXPECT_EQ(prompter.Texts(), std::vector<std::string>{kInvalidInput});
    ExpectNothingStored();
  }
}

TEST_F(AcceptConditionsTest, FormulaIsCutTo499Bytes) {
  values_.formula = std::string(600, 'x');
  ASSERT_TRUE(Accept().accepted);
  EXPECT_EQ(std::strlen(state_->formula.formulaText), 499u);
}

// The run command and the status line that follow from the formula state are the shared
// flow's (tests/app/condition_commands_test.cpp).
TEST_F(AcceptConditionsTest, FormulaStateFollowsTheStatusLabel) {
  struct Case {
    const char* label;
    WorkflowStateValue workflow;
    LeftSide left;
    FormulaState state;
  };
  const Case cases[] = {
      {"【エラー】式が未入力です", WorkflowStateValue::kDataLoaded, LeftSide::Y,
       FormulaState::NotEntered},
      {"【エラー】式が未入力です", WorkflowStateValue::kNoData, LeftSide::Y,
       FormulaState::NotEntered},
      {"【エラー】式が不正です", WorkflowStateValue::kDataLoaded, LeftSide::X,
       FormulaState::Invalid},
      {"【エラー】式が不正です", WorkflowStateValue::kResultsSaved, LeftSide::X,
       FormulaState::Invalid},
      {"", WorkflowStateValue::kDataLoaded, LeftSide::Y, FormulaState::Valid},
      {"", WorkflowStateValue::kDataLoaded, LeftSide::NotSelected, FormulaState::Valid},
      {"", WorkflowStateValue::kCompletedResults, LeftSide::Y, FormulaState::Valid},
      {"something else", WorkflowStateValue::kDataLoaded, LeftSide::Y, FormulaState::Invalid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.label << " workflow " << static_cast<int>(c.workflow));
    SetUp();
    state_->conditions.formulaState = FormulaState::Invalid;
    state_->workflow = c.workflow;
    values_.formula_status = c.label;
    values_.left_side_index = LeftSideIndex(c.left);
    const AcceptResult result = Accept();
    ASSERT_TRUE(result.accepted);
    EXPECT_EQ(state_->conditions.formulaState, c.state);
    EXPECT_EQ(state_->workflow.load(), c.workflow) << "OK leaves the workflow state alone";
  }
}

TEST_F(AcceptConditionsTest, FailedFormulaFileWriteIsNotReportedAndOkGoesOn) {
  state_->working_directory = dir_.File("missing-folder");
  const AcceptResult result = Accept();
  EXPECT_TRUE(result.accepted);
  EXPECT_FALSE(result.formula_file_written);
  EXPECT_TRUE(prompter_.calls().empty());
  EXPECT_STREQ(state_->formula.formulaText, "k0*x+k1");
}

TEST(DialogValuesFromRecord, ShowsTheRecordAsTheDialogOpensIt) {
  auto state = MakeAppState("");
  std::strcpy(state->formula.formulaText, "k0*x");
  state->conditions.leftSide = LeftSide::X;
  state->conditions.angleUnit = AngleUnit::Radian;
  state->conditions.constants[8] = {"a", "b", "c", "d"};
  const char* labels[] = {"【エラー】式が未入力です", "【エラー】式が不正です", ""};
  for (FormulaState formula_state :
       {FormulaState::NotEntered, FormulaState::Invalid, FormulaState::Valid}) {
    state->conditions.formulaState = formula_state;
    const ConditionDialogValues values = DialogValuesFromRecord(*state);
    EXPECT_EQ(values.formula_status, labels[static_cast<int>(formula_state)]);
    EXPECT_EQ(values.left_side_index, LeftSideIndex(LeftSide::X));
    EXPECT_EQ(values.formula, "k0*x");
    EXPECT_FALSE(values.degree);
    EXPECT_EQ(values.constants[8][3], "d");
    EXPECT_EQ(values.constants[7][0], "");
  }
}

}  // namespace
}  // namespace calvane
