// calvane-batch --details: the details text of the window's save, and nothing else changed.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/cp932.h"
#include "tests/end_to_end/batch_test_support.h"
#include "tests/support/temp_dir.h"

namespace calvane {
namespace {

using Args = std::vector<std::string>;

const Args kRun = {"--data", "d.csv",         "--x",          "1",    "--y", "2", "--start",
                   "2",      "--to-last-row", "--conditions", "c.ccn"};

Args With(Args args, std::initializer_list<std::string> more) {
  args.insert(args.end(), more);
  return args;
}

void PrepareGauss(const test::TempDir& dir) {
  test::CopyFixture("gauss-peak/gauss.csv", dir.path(), "d.csv");
  test::CopyFixture("gauss-peak/gauss.ccn", dir.path(), "c.ccn");
}

// The bytes of every file the run leaves, but the details file.
std::vector<std::optional<std::string>> RunFiles(const test::TempDir& dir) {
  std::vector<std::optional<std::string>> files;
  for (const char* name : {"Formula.ini", "FittingCondition.ini", "Calculation.ini",
                           "DataReadCondition.ini", "d.csv", "c.ccn"}) {
    files.push_back(ReadWholeFile(dir.File(name)));
  }
  return files;
}

TEST(BatchDetails, WritesTheDetailsAndLeavesStdoutAndEveryOtherFileAsTheyAre) {
  test::TempDir plain_dir, details_dir;
  PrepareGauss(plain_dir);
  PrepareGauss(details_dir);
  test::CapturedOutput plain, with_details;
  ASSERT_EQ(test::RunBatchIn(plain_dir.path(), kRun, plain), 0) << plain.ErrText();
  ASSERT_EQ(test::RunBatchIn(details_dir.path(), With(kRun, {"--details", "d.txt"}), with_details),
            0)
      << with_details.ErrText();

  EXPECT_EQ(with_details.out(), plain.out());
  EXPECT_EQ(with_details.err(), plain.err());
  EXPECT_EQ(RunFiles(details_dir), RunFiles(plain_dir));
  EXPECT_FALSE(FileExists(plain_dir.File("d.txt")));

  const std::string bytes = ReadWholeFile(details_dir.File("d.txt")).value_or("");
  const std::string text = Cp932ToUtf8(bytes).value_or("");
  EXPECT_TRUE(text.starts_with("*** 計算結果の詳細 ***\r\n使用したデータ点数, "));
  EXPECT_NE(text.find("\r\n[定数]\r\n定数, 値, 標準誤差, 相対誤差(%), 95%信頼区間下限, "
                      "95%信頼区間上限\r\nk0, "),
            std::string::npos);
  EXPECT_NE(text.find("\r\n[相関行列]\r\n, k0, k1, k2\r\nk0, 1, "), std::string::npos);
  EXPECT_TRUE(text.ends_with("\r\n"));
  // Not provisional: the run converged.
  EXPECT_EQ(text.find("暫定値"), std::string::npos);
}

TEST(BatchDetails, AnExistingFileIsReplacedOnlyWithOverwrite) {
  test::TempDir dir;
  PrepareGauss(dir);
  ASSERT_TRUE(WriteWholeFile(dir.File("d.txt"), "old"));
  test::CapturedOutput refused;
  EXPECT_EQ(test::RunBatchIn(dir.path(), With(kRun, {"--details", "d.txt"}), refused), 3);
  EXPECT_TRUE(refused.out().empty());
  EXPECT_TRUE(refused.ErrContains("その名前のファイルは既に存在します。上書きしますか？"));
  EXPECT_EQ(ReadWholeFile(dir.File("d.txt")), "old");
  EXPECT_FALSE(FileExists(dir.File("Calculation.ini"))) << "refused before the run";

  test::CapturedOutput replaced;
  EXPECT_EQ(
      test::RunBatchIn(dir.path(), With(kRun, {"--details", "d.txt", "--overwrite"}), replaced), 0)
      << replaced.ErrText();
  EXPECT_NE(ReadWholeFile(dir.File("d.txt")).value_or("old"), "old");
}

TEST(BatchDetails, OptionIsParsedLikeTheReport) {
  BatchParse parse = ParseBatchArguments(With(kRun, {"--details", "x.txt"}));
  ASSERT_TRUE(parse.ok) << parse.error;
  EXPECT_EQ(parse.options.details_file, "x.txt");
  EXPECT_TRUE(ParseBatchArguments(kRun).options.details_file.empty());
  EXPECT_FALSE(ParseBatchArguments(With(kRun, {"--details"})).ok);
  EXPECT_FALSE(ParseBatchArguments(With(kRun, {"--details", "a", "--details", "b"})).ok);
}

}  // namespace
}  // namespace calvane
