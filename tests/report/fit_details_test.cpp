// The details text of a run's statistics, its file, and the residual plot's placement.

#include "report/fit_details.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/cp932.h"
#include "base/file_io.h"
#include "report/residual_plot.h"
#include "tests/support/recording_prompter.h"
#include "tests/support/temp_dir.h"

namespace calvane {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Two constants, k0 determined and k2 not, over three points.
FitStatistics TwoConstants() {
  FitStatistics s;
  s.point_count = 3;
  s.data_interval = 2;
  s.constant_count = 2;
  s.degrees_of_freedom = 1;
  s.rss = 0.5;
  s.residual_sd = std::sqrt(0.5);
  s.r2_computed = true;
  s.r2 = 0.75;
  s.determination = 0.5;
  s.adjusted_determination = -0.5;
  s.aic = kNaN;
  s.bic = 2.25;
  s.t_quantile = 12.5;
  s.constants = {{0, 2.5, true, 0.25, 10.0, -0.625, 5.625}, {2, 0.0, false, 0, 0, 0, 0}};
  s.correlation = {{1.0, kNaN}, {kNaN, kNaN}};
  s.residuals = {{1, 2, 1.5, 0.5}, {3, 4, 4.5, -0.5}, {5, 6, 6, 0}};
  return s;
}

TEST(FitDetails, TextListsFiguresConstantsCorrelationsAndResiduals) {
  const FitStatistics stats = TwoConstants();
  const FitDetails details = MakeFitDetails(stats, LeftSide::X, /*provisional=*/false);
  EXPECT_EQ(FitDetailsText(details, stats),
            "*** 計算結果の詳細 ***\r\n"
            "使用したデータ点数, 3 (データ間隔 2)\r\n"
            "定数の数, 2\r\n"
            "自由度, 1\r\n"
            "残差平方和, 0.5\r\n"
            "残差標準偏差, 0.707106781186548\r\n"
            "相関係数R^2, 0.75\r\n"
            "決定係数(1-残差平方和/全平方和), 0.5\r\n"
            "自由度調整済み決定係数, -0.5\r\n"
            "AIC, 計算できません\r\n"
            "BIC, 2.25\r\n"
            "t分布の97.5%点, 12.5\r\n"
            "\r\n"
            "[定数]\r\n"
            "定数, 値, 標準誤差, 相対誤差(%), 95%信頼区間下限, 95%信頼区間上限\r\n"
            "k0, 2.5, 0.25, 10, -0.625, 5.625\r\n"
            "k2, 0, 不定, 不定, 不定, 不定\r\n"
            "\r\n"
            "[相関行列]\r\n"
            ", k0, k2\r\n"
            "k0, 1, 不定\r\n"
            "k2, 不定, 不定\r\n"
            "\r\n"
            "[残差]\r\n"
            "y, 観測値, 計算値, 残差\r\n"
            "1, 2, 1.5, 0.5\r\n"
            "3, 4, 4.5, -0.5\r\n"
            "5, 6, 6, 0\r\n");
}

TEST(FitDetails, WithoutStatisticsTheReasonAndTheValuesOnly) {
  struct Row {
    StatisticsVerdict verdict;
    const char* reason;
  };
  for (const Row& row : {Row{StatisticsVerdict::kTooFewPoints,
                             "データ点数が定数の数以下のため、統計量を計算できません。"},
                         Row{StatisticsVerdict::kNotEvaluable,
                             "計算値を求められないデータ点があるため、統計量を計算できません。"}}) {
    FitStatistics stats = TwoConstants();
    stats.verdict = row.verdict;
    const FitDetails details = MakeFitDetails(stats, LeftSide::Y, /*provisional=*/true);
    EXPECT_EQ(details.reason, row.reason);
    EXPECT_TRUE(details.correlation.empty());
    EXPECT_EQ(FitDetailsText(details, stats),
              std::string("*** 計算結果の詳細 ***\r\n"
                          "計算が途中で終了したため、値は暫定値です。\r\n"
                          "使用したデータ点数, 3 (データ間隔 2)\r\n"
                          "定数の数, 2\r\n") +
                  row.reason + "\r\n\r\n[定数]\r\n定数, 値\r\nk0, 2.5\r\nk2, 0\r\n");
  }
}

TEST(FitDetails, FileIsShiftJisAndFollowsTheOverwriteRule) {
  const FitStatistics stats = TwoConstants();
  const FitDetails details = MakeFitDetails(stats, LeftSide::Y, false);
  const std::string bytes = FitDetailsFileBytes(details, stats);
  EXPECT_EQ(Cp932ToUtf8(bytes), FitDetailsText(details, stats));
  EXPECT_NE(bytes, FitDetailsText(details, stats));  // converted, not UTF-8
  EXPECT_EQ(bytes.find('\0'), std::string::npos);

  test::TempDir dir;
  const std::string path = dir.File("d.txt");
  test::RecordingPrompter prompter;
  EXPECT_EQ(SaveFitDetails(details, stats, path, prompter, WindowId::kFitDetails),
            SaveResultsStatus::kSaved);
  EXPECT_EQ(ReadWholeFile(path), bytes);
  EXPECT_TRUE(prompter.calls().empty());

  // A second save asks; Cancel keeps the file, OK replaces it.
  ASSERT_TRUE(WriteWholeFile(path, "kept"));
  prompter.Answer(Answer::kCancel);
  EXPECT_EQ(SaveFitDetails(details, stats, path, prompter, WindowId::kFitDetails),
            SaveResultsStatus::kCancelled);
  EXPECT_EQ(ReadWholeFile(path), "kept");
  prompter.Answer(Answer::kOk);
  EXPECT_EQ(SaveFitDetails(details, stats, path, prompter, WindowId::kFitDetails),
            SaveResultsStatus::kSaved);
  EXPECT_EQ(ReadWholeFile(path), bytes);
  ASSERT_EQ(prompter.calls().size(), 2u);
  EXPECT_EQ(prompter.calls()[0].owner, WindowId::kFitDetails);
  EXPECT_EQ(prompter.calls()[0].caption, "確認");

  // A folder that does not exist: the open failure, shown and returned.
  EXPECT_EQ(SaveFitDetails(details, stats, dir.File("none/d.txt"), prompter, WindowId::kMain),
            SaveResultsStatus::kOpenFailed);
  EXPECT_EQ(prompter.calls().back().text, "ファイルを開くのに失敗しました。");
}

TEST(ResidualPlot, ZeroLineInTheMiddleAndDotsByAbscissaAndResidual) {
  const std::vector<ResidualPoint> residuals = {
      {1, 0, 0, 0.5}, {3, 0, 0, -0.25}, {5, 0, 0, 0}, {7, 0, 0, kNaN}};
  const ResidualPlotPlan plan = PlanResidualPlot(residuals, 242, 130);
  EXPECT_EQ(plan.left, kResidualPlotLeftMargin);
  EXPECT_EQ(plan.width, 200);
  EXPECT_EQ(plan.height, 100);
  EXPECT_EQ(plan.zero_row, plan.top + 50);
  ASSERT_EQ(plan.dots.size(), 3u);  // the residual that is not a number is left out
  EXPECT_EQ(plan.dots[0].x, plan.left);
  EXPECT_EQ(plan.dots[2].x, plan.left + 199);
  // The largest residual, 0.5, reaches 1/1.1 of the half height above the zero line.
  EXPECT_EQ(plan.dots[0].y, static_cast<int>(plan.zero_row - 50 / 1.1));
  EXPECT_EQ(plan.dots[1].y, static_cast<int>(plan.zero_row + 25 / 1.1));
  EXPECT_EQ(plan.dots[2].y, plan.zero_row);
  // One abscissa and no residual: the dot in the middle of the box, on the zero line.
  const ResidualPlotPlan single = PlanResidualPlot({{4, 1, 1, 0}}, 242, 130);
  ASSERT_EQ(single.dots.size(), 1u);
  EXPECT_EQ(single.dots[0].x, single.left + 99);
  EXPECT_EQ(single.dots[0].y, single.zero_row);
  EXPECT_TRUE(PlanResidualPlot({}, 242, 130).dots.empty());
}

}  // namespace
}  // namespace calvane
