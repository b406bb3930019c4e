#pragma once

#include <string_view>

// The report's texts of its own (UTF-8, exactly as the user sees them): the details of a run's
// statistics, shown in the window "計算結果の詳細" and written by its text save and by
// calvane-batch --details. The report's file failures use base's texts.
namespace calvane::text {

// An undetermined quantity: a constant without influence on the model, or one that the points
// cannot tell apart from others (a rank-deficient problem).
inline constexpr std::string_view kUndetermined = "不定";

// Why there are no statistics.
inline constexpr std::string_view kStatsTooFewPoints =
    "データ点数が定数の数以下のため、統計量を計算できません。";
inline constexpr std::string_view kStatsNotEvaluable =
    "計算値を求められないデータ点があるため、統計量を計算できません。";

// The details: title, figures, table headings.
inline constexpr std::string_view kDetailsTitle = "計算結果の詳細";
inline constexpr std::string_view kDetailsPoints = "使用したデータ点数";
inline constexpr std::string_view kDetailsInterval = "データ間隔";
inline constexpr std::string_view kDetailsConstantCount = "定数の数";
inline constexpr std::string_view kDetailsDegreesOfFreedom = "自由度";
inline constexpr std::string_view kDetailsRss = "残差平方和";
inline constexpr std::string_view kDetailsResidualSd = "残差標準偏差";
inline constexpr std::string_view kDetailsR2 = "相関係数R^2";
inline constexpr std::string_view kDetailsDetermination = "決定係数(1-残差平方和/全平方和)";
inline constexpr std::string_view kDetailsAdjusted = "自由度調整済み決定係数";
inline constexpr std::string_view kDetailsAic = "AIC";
inline constexpr std::string_view kDetailsBic = "BIC";
inline constexpr std::string_view kDetailsTQuantile = "t分布の97.5%点";
inline constexpr std::string_view kDetailsConstantsSection = "定数";
inline constexpr std::string_view kDetailsCorrelationSection = "相関行列";
inline constexpr std::string_view kDetailsResidualsSection = "残差";
inline constexpr std::string_view kDetailsColumnName = "定数";
inline constexpr std::string_view kDetailsColumnValue = "値";
inline constexpr std::string_view kDetailsColumnError = "標準誤差";
inline constexpr std::string_view kDetailsColumnRelative = "相対誤差(%)";
inline constexpr std::string_view kDetailsColumnLower = "95%信頼区間下限";
inline constexpr std::string_view kDetailsColumnUpper = "95%信頼区間上限";
inline constexpr std::string_view kDetailsColumnObserved = "観測値";
inline constexpr std::string_view kDetailsColumnModel = "計算値";
inline constexpr std::string_view kDetailsColumnResidual = "残差";
// The provisional note of a run that stopped before convergence.
inline constexpr std::string_view kDetailsProvisional =
    "計算が途中で終了したため、値は暫定値です。";

// The window "計算結果の詳細" (its caption is kDetailsTitle) and its text save dialog.
inline constexpr std::string_view kDetailsSaveText = "テキストで保存";
inline constexpr std::string_view kDetailsSaveImage = "残差グラフを画像で保存";
inline constexpr std::string_view kDetailsClose = "閉じる";
inline constexpr std::string_view kDetailsSaveTitle = "計算結果の詳細の保存";
inline constexpr std::string_view kDetailsFilter = "テキストファイル(*.txt)";
inline constexpr std::string_view kDetailsFilterPattern = "*.txt";
inline constexpr std::string_view kDetailsExtension = "txt";
// Labels of the residual plot's axes.
inline constexpr std::string_view kResidualAxis = "残差";

}  // namespace calvane::text
