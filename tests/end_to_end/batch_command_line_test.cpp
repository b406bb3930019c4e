// calvane-batch's command line, its refusals and their exit codes, and the terminal seams.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

#include "formula/formula_check.h"
#include "tests/end_to_end/batch_test_support.h"
#include "tests/support/temp_dir.h"

namespace calvane {
namespace {

using test::CapturedOutput;
using Args = std::vector<std::string>;

const Args kBase = {"--data",  "d.csv", "--x",   "1", "--y",          "2",
                    "--start", "2",     "--end", "9", "--conditions", "c.ccn"};

Args With(Args args, std::initializer_list<std::string> more) {
  args.insert(args.end(), more);
  return args;
}

Args Without(const Args& args, const std::string& option) {
  Args result;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == option) {
      ++i;  // and its value
      continue;
    }
    result.push_back(args[i]);
  }
  return result;
}

TEST(BatchArguments, AcceptedCommandLinesGiveTheirOptions) {
  BatchParse parse =
      ParseBatchArguments(With(kBase, {"--report", "out.frs", "--overwrite", "--skip-blank-rows"}));
  ASSERT_TRUE(parse.ok) << parse.error;
  const BatchOptions& o = parse.options;
  EXPECT_EQ(o.data_file, "d.csv");
  EXPECT_EQ(o.conditions_file, "c.ccn");
  EXPECT_EQ(o.report_file, "out.frs");
  EXPECT_EQ(o.x_series, 1);
  EXPECT_EQ(o.y_series, 2);
  EXPECT_EQ(o.start_row, 2);
  EXPECT_EQ(o.end_row, 9);
  EXPECT_FALSE(o.to_last_row);
  EXPECT_TRUE(o.overwrite);
  EXPECT_TRUE(o.skip_blank_rows);
  EXPECT_FALSE(o.help);

  parse = ParseBatchArguments(With(Without(kBase, "--end"), {"--to-last-row"}));
  ASSERT_TRUE(parse.ok) << parse.error;
  EXPECT_TRUE(parse.options.to_last_row);
  EXPECT_TRUE(parse.options.report_file.empty());
  EXPECT_FALSE(parse.options.overwrite);

  // Out-of-range series and rows pass here: the range check refuses them with its own message.
  parse = ParseBatchArguments(With(Without(kBase, "--x"), {"--x", "300"}));
  ASSERT_TRUE(parse.ok);
  EXPECT_EQ(parse.options.x_series, 300);

  parse = ParseBatchArguments({"--x", "nonsense", "--help"});
  ASSERT_TRUE(parse.ok);
  EXPECT_TRUE(parse.options.help);
}

TEST(BatchArguments, RefusedCommandLinesSayWhy) {
  struct Case {
    Args args;
    std::string error;
  };
  const Case cases[] = {
      {With(kBase, {"--verbose"}), "不明なオプションです: --verbose"},
      {With(kBase, {"--report"}), "オプションの値がありません: --report"},
      {With(Without(kBase, "--x"), {"--x", "1.5"}), "オプションの値が整数ではありません: --x 1.5"},
      {With(Without(kBase, "--y"), {"--y", "two"}), "オプションの値が整数ではありません: --y two"},
      {With(Without(kBase, "--start"), {"--start", "3000000000"}),
       "オプションの値が整数ではありません: --start 3000000000"},
      {With(Without(kBase, "--end"), {"--end", "9x"}),
       "オプションの値が整数ではありません: --end 9x"},
      {With(kBase, {"--x", "3"}), "オプションが重複しています: --x"},
      {With(kBase, {"--overwrite", "--overwrite"}), "オプションが重複しています: --overwrite"},
      {Without(kBase, "--data"), "必須のオプションがありません: --data"},
      {Without(kBase, "--conditions"), "必須のオプションがありません: --conditions"},
      {Without(kBase, "--y"), "必須のオプションがありません: --y"},
      {With(kBase, {"--to-last-row"}), "--end と --to-last-row は同時に指定できません。"},
      {Without(kBase, "--end"), "--end か --to-last-row のどちらかを指定してください。"},
      {With(Without(kBase, "--data"), {"--data", ""}), "オプションの値がありません: --data"},
  };
  for (const Case& c : cases) {
    BatchParse parse = ParseBatchArguments(c.args);
    EXPECT_FALSE(parse.ok) << c.error;
    EXPECT_EQ(parse.error, c.error);
  }
}

TEST(BatchTerminal, MessageLinesShowCarriageReturnsAsSlashes) {
  EXPECT_EQ(TerminalLine("データエラー", "3行目のデータにエラーがあります。\r値が大きすぎ"),
            "データエラー: 3行目のデータにエラーがあります。 / 値が大きすぎ");
  EXPECT_EQ(TerminalLine("エラー", "a\r\nb\nc"), "エラー: a / b / c");
  EXPECT_EQ(TerminalLine("確認", ""), "確認: ");
}

TEST(BatchTerminal, QuestionsAreAnsweredAsTheCommandLineSays) {
  struct Case {
    bool yes, ok;
    Buttons buttons;
    Answer expected;
  };
  const Case cases[] = {
      {false, false, Buttons::kYesNo, Answer::kNo},
      {true, false, Buttons::kYesNo, Answer::kYes},
      {false, false, Buttons::kOkCancel, Answer::kCancel},
      {false, true, Buttons::kOkCancel, Answer::kOk},
      {true, true, Buttons::kOk, Answer::kOk},
  };
  for (const Case& c : cases) {
    CapturedOutput output;
    TerminalPrompter prompter(output, c.yes, c.ok);
    EXPECT_EQ(prompter.Ask("q\rr", "確認", c.buttons, WindowId::kMain), c.expected);
    EXPECT_EQ(output.err(), std::vector<std::string>{"確認: q / r"});
    EXPECT_TRUE(output.out().empty());
  }
}

// A Gaussian data file with a heading row; row 5 (x = -1.7) is blank when `blank_row` is set.
std::string GaussData(bool blank_row) {
  std::string data = test::Fixture("gauss-peak/gauss.csv");
  if (blank_row) data = test::ReplaceAll(data, "-1.7,-0.002134\r\n", ",\r\n");
  return data;
}

const std::string kGaussConditions = "gauss-peak/gauss.ccn";

struct Refusal {
  const char* name;
  Args args;
  std::optional<std::string> data;        // data file bytes; none: no data file
  std::optional<std::string> conditions;  // condition file bytes; none: no condition file
  int exit_code;
  std::string err_line;  // a line stderr must hold
};

TEST(BatchRefusal, EachRefusalEndsWithItsCodeAndMessage) {
  const std::string ccn = test::Fixture(kGaussConditions);
  const std::string data = GaussData(false);
  const std::string formula = "k0*Exp(-(x-k1)^2/k2)";
  const Args base = {
      "--data", "d.csv",         "--x",          "1",     "--y",      "2",    "--start",
      "2",      "--to-last-row", "--conditions", "c.ccn", "--report", "r.frs"};
  const Refusal cases[] = {
      {"x series beyond 256", With(Without(base, "--x"), {"--x", "257"}), data, ccn, 3,
       "エラー: x(x系列) は1から255にしなくてはなりません"},
      {"heading row converted", With(Without(base, "--start"), {"--start", "1"}), data, ccn, 3,
       "データエラー: 1行目のデータにエラーがあります。 / "
       "不正な文字、あるいは不正な表現を含んでいます。データ読み込みを中断します。"},
      {"blank row declined", base, GaussData(true), ccn, 3,
       "空白行があります: 5行目のデータは空白です。"
       "以後、空白を含む行は全て無視して読み込みを継続しますか？"},
      {"unbalanced formula", base, data, test::ReplaceAll(ccn, formula, "k0*Exp(-(x-k1)^2/k2"), 3,
       "エラー: " +
           std::string(FormulaCheckMessage(FormulaCheckCode::FormulaUnbalancedParentheses))},
      {"empty formula", base, data, test::ReplaceAll(ccn, formula, ""), 3,
       "エラー: 【エラー】式が未入力です"},
      {"no left side", base, data, test::ReplaceAll(ccn, "y=", "(Not selected)="), 3,
       "エラー: 計算条件を設定してください。"},
      {"accuracy not positive", base, data, test::ReplaceAll(ccn, "0.5,-5,5,0.0001", "0.5,-5,5,0"),
       3, "エラー: 計算精度は正でなければなりません。"},
      {"missing lower bound", base, data, test::ReplaceAll(ccn, "0.5,-5,5,0.0001", "0.5,,5,0.0001"),
       1, "計算中: k1の下限が入力されていません。"},
      {"missing data file", base, std::nullopt, ccn, 3, "エラー: ファイルを開くのに失敗しました。"},
      {"missing condition file", base, data, std::nullopt, 3,
       "エラー: ファイルを開くのに失敗しました。"},
      {"bad option", With(base, {"--fast"}), data, ccn, 3, "エラー: 不明なオプションです: --fast"},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    if (c.data) {
      ASSERT_TRUE(WriteWholeFile(dir.File("d.csv"), *c.data));
    }
    if (c.conditions) {
      ASSERT_TRUE(WriteWholeFile(dir.File("c.ccn"), *c.conditions));
    }
    CapturedOutput output;
    EXPECT_EQ(test::RunBatchIn(dir.path(), c.args, output), c.exit_code) << output.ErrText();
    EXPECT_TRUE(output.ErrContains(c.err_line)) << output.ErrText();
    EXPECT_TRUE(output.out().empty()) << "stdout carries results only";
    EXPECT_FALSE(FileExists(dir.File("r.frs"))) << "no report without results";
  }
}

TEST(BatchRefusal, BlankRowsAreSkippedWhenAskedTo) {
  test::TempDir dir;
  ASSERT_TRUE(WriteWholeFile(dir.File("d.csv"), GaussData(true)));
  test::CopyFixture(kGaussConditions, dir.path(), "c.ccn");
  CapturedOutput output;
  Args args = {"--data",        "d.csv",
               "--x",           "1",
               "--y",           "2",
               "--start",       "2",
               "--to-last-row", "--conditions",
               "c.ccn",         "--skip-blank-rows"};
  EXPECT_EQ(test::RunBatchIn(dir.path(), args, output), 0) << output.ErrText();
  EXPECT_TRUE(output.ErrContains("空白行があります: 5行目のデータは空白です。"));
  ASSERT_EQ(output.out().size(), 11u);
  EXPECT_EQ(output.out()[3], "k3, ---");
  // The selection file remembers the range as chosen; the run skipped the blank row.
  EXPECT_EQ(ReadWholeFile(dir.File("DataReadCondition.ini")), "1\t2\t2\t62\t1\r\n");
  EXPECT_FALSE(FileExists(dir.File("r.frs")));
}

// The report's data-file line holds at most 499 bytes, as the windows write it.
TEST(BatchReport, DataFileLineIsCutTo499Bytes) {
  test::TempDir dir;
  // Nested folders of 99 characters make the path of the data file well over 499 bytes.
  std::string folder = dir.path();
  std::string relative;
  for (int i = 0; i < 6; ++i) {
    const std::string part(99, static_cast<char>('a' + i));
    folder += "/" + part;
    relative += part + "/";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  }
  ASSERT_TRUE(WriteWholeFile(folder + "/d.csv", GaussData(false)));
  test::CopyFixture(kGaussConditions, dir.path(), "c.ccn");
  CapturedOutput output;
  Args args = {"--data", relative + "d.csv", "--x",          "1",     "--y",      "2",    "--start",
               "2",      "--to-last-row",    "--conditions", "c.ccn", "--report", "r.frs"};
  ASSERT_EQ(test::RunBatchIn(dir.path(), args, output), 0) << output.ErrText();
  const std::string report = ReadWholeFile(dir.File("r.frs")).value_or("");
  const std::string head = "[Data File Name]\r\n";
  const std::size_t start = report.find(head);
  ASSERT_NE(start, std::string::npos);
  const std::size_t line = start + head.size();
  const std::string full = folder + "/d.csv";
  ASSERT_GT(full.size(), 499u);
  EXPECT_EQ(report.substr(line, report.find("\r\n", line) - line), full.substr(0, 499));
}

TEST(BatchRefusal, HelpPrintsTheUsageOnStdout) {
  test::TempDir dir;
  CapturedOutput output;
  EXPECT_EQ(test::RunBatchIn(dir.path(), {"--help"}, output), 0);
  EXPECT_EQ(output.OutText(), BatchUsage());
  EXPECT_EQ(BatchUsage(),
            "calvane-batch --data FILE --x N --y N --start N (--end N | --to-last-row)\n"
            "              --conditions FILE.ccn [--report FILE] [--details FILE] [--overwrite]\n"
            "              [--skip-blank-rows]\n");
  // Every option the command line takes is named.
  for (const char* option :
       {"--data", "--x", "--y", "--start", "--end", "--to-last-row", "--conditions", "--report",
        "--details", "--overwrite", "--skip-blank-rows"}) {
    EXPECT_NE(BatchUsage().find(option), std::string_view::npos) << option;
  }
  EXPECT_TRUE(output.err().empty());

  CapturedOutput refused;
  EXPECT_EQ(test::RunBatchIn(dir.path(), {"--data"}, refused), 3);
  EXPECT_TRUE(refused.out().empty());
  EXPECT_FALSE(refused.err().empty());
}

// A data file that cannot be opened is reported with the data file's own message, whole, and
// refused like every other file error (the program does not end by itself).
TEST(BatchRefusal, UnopenableDataFileShowsTheDataFileMessage) {
  test::TempDir dir;
  ASSERT_TRUE(WriteWholeFile(dir.File("c.ccn"), test::Fixture(kGaussConditions)));
  const Args args = {"--data", "missing.csv",   "--x",          "1",    "--y", "2", "--start",
                     "2",      "--to-last-row", "--conditions", "c.ccn"};
  CapturedOutput output;
  EXPECT_EQ(test::RunBatchIn(dir.path(), args, output), kBatchRefused);
  EXPECT_TRUE(
      output.ErrContains("エラー: ファイルを開くのに失敗しました。"
                         "既に他のアプリケーションで開かれている可能性があります。"))
      << output.ErrText();
}

}  // namespace
}  // namespace calvane
