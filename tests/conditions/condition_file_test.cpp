#include "conditions/condition_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/file_io.h"
#include "formula/formula_check.h"
#include "formula/number_text.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/temp_dir.h"

namespace calvane {
namespace {

using test::ScriptedPrompter;
using test::TempDir;

const std::string kHeader = "[Initial, Minimum, Maximum and Accuracy]\r\n";
const std::string kTail =
    "[Angle Unit]\r\nDegree\r\n[No Wild Guess]\r\nInvalid\r\n[Valid Data Interval]\r\n1";

std::string Repeat(std::string_view unit, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out.append(unit);
  return out;
}

void SetFormulaText(AppState& state, std::string_view text) {
  std::memset(state.formula.formulaText, 0, sizeof state.formula.formulaText);
  std::memcpy(state.formula.formulaText, text.data(), text.size());
}

// A dialog whose every value differs from what the files below hold, so that a field the
// parser forgets to set shows up.
ConditionDialogValues Stale() {
  ConditionDialogValues values;
  for (auto& row : values.constants) row.fill("stale");
  values.left_side_index = LeftSideIndex(LeftSide::X);
  values.formula = "stale";
  values.degree = false;
  values.formula_status = "stale";
  return values;
}

void ExpectSameDialog(const ConditionDialogValues& got, const ConditionDialogValues& want) {
  EXPECT_EQ(got.left_side_index, want.left_side_index);
  EXPECT_EQ(got.formula, want.formula);
  EXPECT_EQ(got.degree, want.degree);
  for (int row = 0; row < 10; ++row) {
    for (int column = 0; column < 4; ++column) {
      EXPECT_EQ(got.constants[row][column], want.constants[row][column])
          << "k" << row << " column " << column;
    }
  }
}

TEST(BuildConditionFile, DefaultRecordGivesExactly182Bytes) {
  auto state = MakeAppState("");
  const std::string bytes = BuildConditionFile(ConditionSource::FromRecord, *state);
  const std::string expected =
      "[Formula]\r\ny=\r\n\r\n" + kHeader + Repeat(",,,\r\n", 10) + kTail + std::string(1, '\0');
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(bytes.size(), 182u);
}

TEST(BuildConditionFile, LinearExampleFromTheRecord) {
  auto state = MakeAppState("");
  SetFormulaText(*state, "k0*x+k1");
  state->conditions.leftSide = LeftSide::Y;
  state->conditions.constants[0] = {"1", "-10", "10", "0.0001"};
  state->conditions.constants[1] = {"0", "-5", "5", "0.0001"};
  const std::string expected = "[Formula]\r\ny=\r\nk0*x+k1\r\n" + kHeader +
                               "1,-10,10,0.0001\r\n0,-5,5,0.0001\r\n" + Repeat(",,,\r\n", 8) +
                               kTail + std::string(1, '\0');
  EXPECT_EQ(BuildConditionFile(ConditionSource::FromRecord, *state), expected);
}

TEST(BuildConditionFile, LinesFollowLeftSideAngleRoughEstimationAndInterval) {
  auto state = MakeAppState("");
  ConditionRecord& record = state->conditions;
  record.leftSide = LeftSide::NotSelected;
  record.angleUnit = AngleUnit::Radian;
  record.roughEstimation = 0;
  record.dataInterval = 37;
  record.constants[9] = {"", "-5", "", ""};
  const std::string bytes = BuildConditionFile(ConditionSource::FromRecord, *state);
  EXPECT_EQ(bytes, "[Formula]\r\n(Not selected)=\r\n\r\n" + kHeader + Repeat(",,,\r\n", 9) +
                       ",-5,,\r\n[Angle Unit]\r\nRadian\r\n[No Wild Guess]\r\nValid\r\n"
                       "[Valid Data Interval]\r\n37" +
                       std::string(1, '\0'));
  record.leftSide = LeftSide::X;
  EXPECT_EQ(BuildConditionFile(ConditionSource::FromRecord, *state).substr(11, 4), "x=\r\n");
}

TEST(BuildConditionFile, FromDialogTakesTheFieldsButTheDetailedValuesFromTheRecord) {
  auto state = MakeAppState("");
  SetFormulaText(*state, "k0*x");  // the record's formula must not be used
  state->conditions.roughEstimation = 0;
  state->conditions.dataInterval = 5;
  ConditionDialogValues dialog;
  dialog.left_side_index = LeftSideIndex(LeftSide::X);
  dialog.formula = std::string(1200, 'k');
  dialog.degree = false;
  dialog.constants[0] = {"123456789012345678901234", "-1", "", "1e-3"};
  dialog.constants[1][2] = "\x82\xA0" + std::string(17, '1') + "\x82\xA0";  // 21 bytes
  const std::string bytes = BuildConditionFile(ConditionSource::FromDialog, *state, dialog);
  const std::string expected = "[Formula]\r\nx=\r\n" + std::string(999, 'k') + "\r\n" + kHeader +
                               "1234567890123456789,-1,,1e-3\r\n,,\x82\xA0" + std::string(17, '1') +
                               ",\r\n" + Repeat(",,,\r\n", 8) +
                               "[Angle Unit]\r\nRadian\r\n[No Wild Guess]\r\nValid\r\n"
                               "[Valid Data Interval]\r\n5" +
                               std::string(1, '\0');
  EXPECT_EQ(bytes, expected) << "19-byte cut never splits a double-byte character";
  dialog.left_side_index = -1;
  EXPECT_EQ(BuildConditionFile(ConditionSource::FromDialog, *state, dialog).substr(11, 17),
            "(Not selected)=\r\n");
}

TEST(LoadConditionFile, FileWrittenAndLoadedAgainRestoresTheDialogAndTheRecordFlags) {
  struct Case {
    const char* name;
    LeftSide left;
    std::string formula;
    bool degree;
    std::uint8_t rough;
    std::uint8_t interval;
  };
  const Case cases[] = {
      {"linear", LeftSide::Y, "k0*x+k1", true, 1, 1},
      {"no left side, no formula", LeftSide::NotSelected, "", false, 0, 37},
      {"x as left side", LeftSide::X, "k0*Exp(-(y-k1)^2/k2)", true, 0, 100},
      {"double-byte text", LeftSide::Y, "k0*x+\x82\xA0", false, 1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto writer = MakeAppState("");
    writer->conditions.roughEstimation = c.rough;
    writer->conditions.dataInterval = c.interval;
    ConditionDialogValues saved;
    saved.left_side_index = LeftSideIndex(c.left);
    saved.formula = c.formula;
    saved.degree = c.degree;
    saved.constants[0] = {"1", "-10", "10", "0.0001"};
    saved.constants[3] = {"", "-5", "", ""};  // only a lower bound
    saved.constants[4] = {"", "", "", "1e-6"};
    saved.constants[9] = {"1234567890123456789", "-1.5e+10", " 2 ", ""};
    const std::string bytes = BuildConditionFile(ConditionSource::FromDialog, *writer, saved);

    auto reader = MakeAppState("");
    reader->conditions.roughEstimation = static_cast<std::uint8_t>(1 - c.rough);
    reader->conditions.dataInterval = 50;
    SetFormulaText(*reader, "k0*y");
    ConditionDialogValues loaded = Stale();
    const FormulaCheckCode code = LoadConditionFile(bytes, loaded, *reader);
    ExpectSameDialog(loaded, saved);
    EXPECT_EQ(reader->conditions.roughEstimation, c.rough);
    EXPECT_EQ(reader->conditions.dataInterval, c.interval);
    EXPECT_EQ(loaded.formula_status, FormulaStatusLabel(code));
    EXPECT_STREQ(reader->formula.formulaText, "k0*y") << "the accepted text stays until OK";
  }
}

TEST(LoadConditionFile, FileWrittenFromTheRecordLoadsAsTheDialogWouldOpen) {
  auto state = MakeAppState("");
  SetFormulaText(*state, "k0*Sin(x)+k1");
  state->conditions.leftSide = LeftSide::Y;
  state->conditions.angleUnit = AngleUnit::Radian;
  state->conditions.constants[2] = {"3", "0", "", "0.5"};
  const std::string bytes = BuildConditionFile(ConditionSource::FromRecord, *state);
  ConditionDialogValues loaded = Stale();
  EXPECT_EQ(LoadConditionFile(bytes, loaded, *state), FormulaCheckCode::FormulaValid);
  ExpectSameDialog(loaded, DialogValuesFromRecord(*state));
  EXPECT_EQ(loaded.formula_status, "");
  EXPECT_EQ(state->formula.paramIndex[0], 0) << "the loaded formula was compiled";
  EXPECT_EQ(state->formula.paramIndex[1], 1);
  EXPECT_TRUE(state->formula.usesX);
}

TEST(LoadConditionFile, EmptyFormulaLineEmptiesTheFieldAndSaysNoFormula) {
  auto state = MakeAppState("");
  ConditionDialogValues dialog = Stale();
  const std::string bytes = BuildConditionFile(ConditionSource::FromRecord, *state);
  EXPECT_EQ(LoadConditionFile(bytes, dialog, *state), FormulaCheckCode::FormulaEmpty);
  EXPECT_EQ(dialog.formula, "");
  EXPECT_EQ(dialog.formula_status, "【エラー】式が未入力です");
}

TEST(LoadConditionFile, InvalidFormulaSetsTheInvalidLabelWithoutAMessage) {
  auto state = MakeAppState("");
  SetFormulaText(*state, "k0*x");
  state->conditions.leftSide = LeftSide::X;  // the formula uses the left side
  ConditionDialogValues dialog = Stale();
  EXPECT_EQ(
      LoadConditionFile(BuildConditionFile(ConditionSource::FromRecord, *state), dialog, *state),
      FormulaCheckCode::FormulaUsesLeftSide);
  EXPECT_EQ(dialog.left_side_index, LeftSideIndex(LeftSide::X));
  EXPECT_EQ(dialog.formula_status, "【エラー】式が不正です");
}

std::string FileWithLastLines(std::string_view rough, std::string_view interval) {
  return "[Formula]\r\ny=\r\nk0*x\r\n" + kHeader + Repeat(",,,\r\n", 10) +
         "[Angle Unit]\r\nRadian\r\n[No Wild Guess]\r\n" + std::string(rough) +
         "\r\n[Valid Data Interval]\r\n" + std::string(interval);
}

TEST(LoadConditionFile, DataIntervalIsTruncatedAndKeptWithin1To100) {
  struct Case {
    const char* text;
    std::uint8_t interval;
  };
  const Case cases[] = {
      {"2.9", 2}, {"1", 1},     {"100", 100}, {"99.99", 99}, {"0", 1},       {"0.5", 1},
      {"-5", 1},  {"101", 100}, {"256", 100}, {"257", 100},  {"1e400", 100}, {"-1e400", 1},
      {"abc", 1}, {"", 1},      {"  7  ", 7}, {"3\r\n", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto state = MakeAppState("");
    state->conditions.dataInterval = 50;
    ConditionDialogValues dialog;
    LoadConditionFile(FileWithLastLines("Invalid", c.text), dialog, *state);
    EXPECT_EQ(state->conditions.dataInterval, c.interval);
  }
}

TEST(SearchMethodSection, OnlyAMethodOtherThanTheLatticeSearchAddsTheSectionAndItReadsBack) {
  struct Case {
    SearchMethod method;
    std::string section;  // what follows the interval's digits before the zero byte
  };
  const Case cases[] = {
      {SearchMethod::Lattice, ""},
      {SearchMethod::LatticeThenLm, "\r\n[Search Method]\r\nLattice+LM"},
      {SearchMethod::LmOnly, "\r\n[Search Method]\r\nLM"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.method));
    auto writer = MakeAppState("");
    writer->conditions.roughEstimation = 0;
    writer->conditions.dataInterval = 37;
    const std::string without = BuildConditionFile(ConditionSource::FromRecord, *writer);
    writer->conditions.searchMethod = c.method;
    const std::string bytes = BuildConditionFile(ConditionSource::FromRecord, *writer);
    EXPECT_EQ(bytes, without.substr(0, without.size() - 1) + c.section + std::string(1, '\0'));

    // Every other method before the read, so that a reader that forgets the field shows.
    for (const SearchMethod before :
         {SearchMethod::Lattice, SearchMethod::LatticeThenLm, SearchMethod::LmOnly}) {
      auto reader = MakeAppState("");
      reader->conditions.searchMethod = before;
      ConditionDialogValues loaded = Stale();
      LoadConditionFile(bytes, loaded, *reader);
      EXPECT_EQ(reader->conditions.searchMethod, c.method);
      EXPECT_EQ(reader->conditions.dataInterval, 37) << "the interval line reads as before";
      EXPECT_EQ(reader->conditions.roughEstimation, 0);
    }
    // A reader that stops at the interval's number finds the same number where it always was.
    std::size_t position = bytes.find("[Valid Data Interval]\r\n") + 23;
    ParseStatus status = ParseStatus::ParseInvalid;
    EXPECT_EQ(ParseNumber(bytes.c_str(), position, status), 37.0);
    EXPECT_EQ(status, ParseStatus::ParseOk);
  }
}

TEST(SearchMethodSection, AnyOtherTextOrAMissingSectionMeansTheLatticeSearch) {
  const char* const sections[] = {
      "",  // today's layout
      "\r\n[Search Method]\r\nlm",
      "\r\n[Search Method]\r\nLM ",
      "\r\n[Search Method]\r\nLattice",
      "\r\n[Search Method]\r\n",
      "\r\n[Search Method]",
      "\r\n[Search",
  };
  for (const char* section : sections) {
    SCOPED_TRACE(section);
    auto state = MakeAppState("");
    state->conditions.searchMethod = SearchMethod::LmOnly;
    ConditionDialogValues dialog;
    LoadConditionFile(FileWithLastLines("Invalid", "4") + section, dialog, *state);
    EXPECT_EQ(state->conditions.searchMethod, SearchMethod::Lattice);
    EXPECT_EQ(state->conditions.dataInterval, 4);
  }
  auto state = MakeAppState("");
  ConditionDialogValues dialog;
  LoadConditionFile(FileWithLastLines("Invalid", "4") + "\r\n[Search Method]\r\nLM\r\nmore", dialog,
                    *state);
  EXPECT_EQ(state->conditions.searchMethod, SearchMethod::LmOnly) << "the line ends at its CR";
}

TEST(LoadConditionFile, RoughEstimationAndAngleChangeOnlyForTheirLetters) {
  struct Case {
    const char* rough;
    std::uint8_t before;
    std::uint8_t after;
  };
  const Case cases[] = {{"Valid", 1, 0}, {"Invalid", 0, 1}, {"valid", 1, 1}, {"?", 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rough);
    auto state = MakeAppState("");
    state->conditions.roughEstimation = c.before;
    ConditionDialogValues dialog;
    dialog.degree = true;
    LoadConditionFile(FileWithLastLines(c.rough, "1"), dialog, *state);
    EXPECT_EQ(state->conditions.roughEstimation, c.after);
    EXPECT_FALSE(dialog.degree) << "Radian";
  }
  std::string file = FileWithLastLines("Valid", "1");
  file.replace(file.find("Radian"), 6, "radian");
  auto state = MakeAppState("");
  ConditionDialogValues dialog;
  dialog.degree = true;
  LoadConditionFile(file, dialog, *state);
  EXPECT_TRUE(dialog.degree) << "an unknown byte leaves the angle buttons alone";
}

TEST(LoadConditionFile, LeftSideByteOtherThanTheThreeKeepsTheSelection) {
  auto state = MakeAppState("");
  std::string file = FileWithLastLines("Invalid", "1");
  file.replace(file.find("y="), 2, "z=");
  ConditionDialogValues dialog;
  dialog.left_side_index = LeftSideIndex(LeftSide::X);
  LoadConditionFile(file, dialog, *state);
  EXPECT_EQ(dialog.left_side_index, LeftSideIndex(LeftSide::X));
  EXPECT_EQ(dialog.formula, "k0*x");
}

TEST(LoadConditionFile, LongConstantTextIsLoadedWholeAndLongFormulaIsCutTo500) {
  auto state = MakeAppState("");
  std::string file = FileWithLastLines("Invalid", "1");
  file.replace(file.find("k0*x"), 4, std::string(700, '1'));
  const std::string long_text(25, '7');
  file.replace(file.find(",,,\r\n"), 5, long_text + ",,,\r\n");
  ConditionDialogValues dialog;
  EXPECT_NE(LoadConditionFile(file, dialog, *state), FormulaCheckCode::FormulaValid);
  EXPECT_EQ(dialog.formula, std::string(500, '1'));
  EXPECT_EQ(dialog.constants[0][0], long_text);
  EXPECT_EQ(dialog.constants[0][1], "");
  EXPECT_EQ(dialog.constants[1][0], "");
}

// Every text a parse puts into a field must come from the file, and the interval must stay
// within its range, whatever the bytes.
void ExpectBoundedResult(const std::string& bytes) {
  auto state = MakeAppState("");
  ConditionDialogValues dialog = Stale();
  LoadConditionFile(bytes, dialog, *state);
  const std::string content = bytes + '\0';
  auto from_file = [&](const std::string& field) {
    return field == "stale" || field.empty() || content.find(field) != std::string::npos;
  };
  EXPECT_TRUE(from_file(dialog.formula));
  EXPECT_LE(dialog.formula.size(), 500u);
  for (const auto& row : dialog.constants) {
    for (const std::string& field : row) {
      EXPECT_TRUE(from_file(field));
      EXPECT_EQ(field.find('\0'), std::string::npos);
    }
  }
  EXPECT_GE(state->conditions.dataInterval, 1);
  EXPECT_LE(state->conditions.dataInterval, 100);
  EXPECT_LE(state->conditions.roughEstimation, 1);
  EXPECT_GE(dialog.left_side_index, 0);
  EXPECT_LE(dialog.left_side_index, 2);
}

TEST(LoadConditionFile, FileCutAtEveryByteIsReadWithinItsContent) {
  auto state = MakeAppState("");
  SetFormulaText(*state, "k0*x+k1");
  state->conditions.constants[0] = {"1", "-10", "10", "0.0001"};
  state->conditions.dataInterval = 12;
  const std::string whole = BuildConditionFile(ConditionSource::FromRecord, *state);
  for (std::size_t n = 0; n <= whole.size(); ++n) {
    SCOPED_TRACE(n);
    ExpectBoundedResult(whole.substr(0, n));
  }
  // Cut just before the interval's digits: no number, so the lowest interval.
  auto cut = MakeAppState("");
  ConditionDialogValues dialog;
  LoadConditionFile(whole.substr(0, whole.size() - 3), dialog, *cut);
  EXPECT_EQ(cut->conditions.dataInterval, 1);
  LoadConditionFile(whole.substr(0, whole.size() - 1), dialog, *cut);
  EXPECT_EQ(cut->conditions.dataInterval, 12) << "the terminating zero byte is optional";
}

TEST(LoadConditionFile, MalformedLayoutsGiveWhatTheRulesYieldWithoutOverrun) {
  const std::string good = FileWithLastLines("Valid", "3");
  std::string lf_only;
  for (char c : good) {
    if (c != '\r') lf_only += c;
  }
  std::string short_rows = good;
  short_rows.replace(short_rows.find(",,,\r\n"), 5, "1,2\r\n");
  std::string zero_inside = good;
  zero_inside[zero_inside.find("k0*x") + 2] = '\0';
  const std::string cases[] = {
      "",
      "no brackets or equals at all",
      "[Formula]",
      "[Formula]\r\n",
      "[Formula]\r\ny",
      "]]]]]]",
      "======",
      "[Formula]\r\nx=\r\nk0*y",
      lf_only,
      short_rows,
      zero_inside,
      std::string(100000, ','),
      std::string(100000, '\r'),
      std::string(100000, ']') + "1",
  };
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(bytes.substr(0, 40));
    ExpectBoundedResult(bytes);
  }

  auto state = MakeAppState("");
  ConditionDialogValues dialog;
  LoadConditionFile(short_rows, dialog, *state);
  EXPECT_EQ(dialog.constants[0][0], "1");
  EXPECT_EQ(dialog.constants[0][1], "2");
  EXPECT_EQ(dialog.constants[0][2], "\n") << "the short row's line end is taken as a field";
  LoadConditionFile(zero_inside, dialog, *state);
  EXPECT_EQ(dialog.formula, "k0") << "a zero byte ends the field's text";
  EXPECT_EQ(state->conditions.dataInterval, 3);
  EXPECT_EQ(state->conditions.roughEstimation, 0);
}

TEST(LoadConditionFile, RandomBytesNeverReadOutsideTheContent) {
  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> byte(0, 255);
  const std::string alphabet = "[]=,\r\nxyDRIV0123456789.-e ";
  for (int round = 0; round < 300; ++round) {
    const std::size_t size = static_cast<std::size_t>(random() % 700);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
      // Half of the rounds draw from the layout's own bytes, to get deep into the parser.
      c = round % 2 ? static_cast<char>(byte(random))
                    : alphabet[static_cast<std::size_t>(random() % alphabet.size())];
    }
    ExpectBoundedResult(bytes);
  }
}

TEST(WriteConditionFile, WritesTheBytesAndReportsAFailedWriteWithoutEnding) {
  TempDir dir;
  auto state = MakeAppState(dir.path());
  ScriptedPrompter prompter;
  const std::string path = dir.File("FittingCondition.ini");
  ASSERT_TRUE(WriteWholeFile(path, std::string(5000, 'z')));
  EXPECT_TRUE(WriteConditionFile(path, ConditionSource::FromRecord, *state, ConditionDialogValues{},
                                 prompter));
  EXPECT_EQ(ReadWholeFile(path), BuildConditionFile(ConditionSource::FromRecord, *state));
  EXPECT_TRUE(prompter.calls().empty());

  EXPECT_FALSE(WriteConditionFile(dir.File("missing/x.ccn"), ConditionSource::FromRecord, *state,
                                  ConditionDialogValues{}, prompter, WindowId::kConditions));
  ASSERT_EQ(prompter.calls().size(), 1u);
  EXPECT_EQ(prompter.calls()[0].text, "ファイルの書き込みに失敗しました。");
  EXPECT_EQ(prompter.calls()[0].caption, "エラー");
  EXPECT_EQ(prompter.calls()[0].owner, WindowId::kConditions);
}

TEST(SaveConditionFile, CreatesNewFilesAndAsksBeforeReplacingAnExistingOne) {
  TempDir dir;
  auto state = MakeAppState(dir.path());
  ConditionDialogValues dialog;
  dialog.formula = "k0*x";
  const std::string path = dir.File("a.ccn");
  const std::string bytes = BuildConditionFile(ConditionSource::FromDialog, *state, dialog);
  {
    ScriptedPrompter prompter;
    EXPECT_TRUE(SaveConditionFile(path, *state, dialog, prompter));
    EXPECT_TRUE(prompter.calls().empty());
    EXPECT_EQ(ReadWholeFile(path), bytes);
  }
  dialog.formula = "k0*x+k1";
  {
    ScriptedPrompter prompter;
    prompter.Answer(Answer::kCancel);
    EXPECT_FALSE(SaveConditionFile(path, *state, dialog, prompter));
    ASSERT_EQ(prompter.calls().size(), 1u);
    EXPECT_TRUE(prompter.calls()[0].question);
    EXPECT_EQ(prompter.calls()[0].text, "その名前のファイルは既に存在します。上書きしますか？");
    EXPECT_EQ(prompter.calls()[0].caption, "確認");
    EXPECT_EQ(prompter.calls()[0].buttons, Buttons::kOkCancel);
    EXPECT_EQ(ReadWholeFile(path), bytes) << "Cancel leaves the old file untouched";
  }
  {
    ScriptedPrompter prompter;
    prompter.Answer(Answer::kOk);
    EXPECT_TRUE(SaveConditionFile(path, *state, dialog, prompter));
    EXPECT_EQ(ReadWholeFile(path), BuildConditionFile(ConditionSource::FromDialog, *state, dialog));
  }
  {
    ScriptedPrompter prompter;
    EXPECT_FALSE(SaveConditionFile(dir.File("missing/b.ccn"), *state, dialog, prompter));
    EXPECT_EQ(prompter.Texts(), std::vector<std::string>{"ファイルを開くのに失敗しました。"});
  }
}

// While it lives, no file can grow beyond `bytes`: a write past it fails (EFBIG) although the
// file was created, which is how a full disk looks to the writer.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previous_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limited = previous_;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previous_handler_);
  }

 private:
  rlimit previous_{};
  void (*previous_handler_)(int) = nullptr;
};

TEST(SaveConditionFile, AFailedWriteSaysSoAndNotThatTheFileCouldNotBeOpened) {
  TempDir dir;
  auto state = MakeAppState(dir.path());
  ConditionDialogValues dialog;
  const std::string existing = dir.File("old.ccn");
  ASSERT_TRUE(WriteWholeFile(existing, "old"));
  ScriptedPrompter prompter;
  prompter.Answer(Answer::kOk);
  {
    FileSizeLimit limit(16);
    EXPECT_FALSE(SaveConditionFile(dir.File("new.ccn"), *state, dialog, prompter));
    EXPECT_FALSE(SaveConditionFile(existing, *state, dialog, prompter));  // OK to replace
  }
  EXPECT_EQ(prompter.Texts(),
            (std::vector<std::string>{"ファイルの書き込みに失敗しました。",
                                      "その名前のファイルは既に存在します。上書きしますか？",
                                      "ファイルの書き込みに失敗しました。"}));
  EXPECT_FALSE(FileExists(dir.File("new.ccn"))) << "no half-written file is left";
  EXPECT_EQ(ReadWholeFile(existing), "old") << "the old file stays whole";
}

TEST(ReadConditionFile, LoadsAFileAndReportsOpenAndReadFailuresWithoutEnding) {
  TempDir dir;
  auto state = MakeAppState(dir.path());
  ConditionDialogValues saved;
  saved.formula = "k0*x+k1";
  saved.constants[1] = {"1", "", "", "2"};
  ASSERT_TRUE(WriteWholeFile(dir.File("c.ccn"),
                             BuildConditionFile(ConditionSource::FromDialog, *state, saved)));
  ScriptedPrompter prompter;
  ConditionDialogValues dialog = Stale();
  EXPECT_TRUE(ReadConditionFile(dir.File("c.ccn"), dialog, *state, prompter));
  ExpectSameDialog(dialog, saved);
  EXPECT_EQ(dialog.formula_status, "");

  dialog = Stale();
  EXPECT_FALSE(ReadConditionFile(dir.File("none.ccn"), dialog, *state, prompter));
  ASSERT_EQ(::mkdir(dir.File("folder.ccn").c_str(), 0755), 0);
  EXPECT_FALSE(ReadConditionFile(dir.File("folder.ccn"), dialog, *state, prompter));
  EXPECT_EQ(prompter.Texts(), (std::vector<std::string>{"ファイルを開くのに失敗しました。",
                                                        "ファイルの読み込みに失敗しました。"}));
  for (const auto& call : prompter.calls()) EXPECT_EQ(call.caption, "エラー");
  EXPECT_EQ(dialog.formula, "stale") << "a failed open changes nothing";
}

}  // namespace
}  // namespace calvane
