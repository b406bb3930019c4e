#pragma once

#include <string_view>

#include "base/base_messages.h"

// The fitting engine's own texts: the progress window, its message area and the run log
// (Calculation.ini, whose headings are written in CP932). UTF-8, exactly as the user sees them.
namespace calvane::text {

inline constexpr std::string_view kProgressCaption = "計算中";
inline constexpr std::string_view kPreparing = "計算準備をしています。";
inline constexpr std::string_view kCalculating = "ただいま計算しています。";
inline constexpr std::string_view kStopped = "計算停止しています。";
inline constexpr std::string_view kAborting = "中止処理中です。お待ちください。";
inline constexpr std::string_view kConditionError = "計算条件エラー";
inline constexpr std::string_view kStepLabel = "ステップ";
inline constexpr std::string_view kCycleLabel = "サイクル";
inline constexpr std::string_view kSlash = "/";
inline constexpr std::string_view kZero = "0";
inline constexpr std::string_view kAbort = "中止";
// The pause button: its first caption, the caption while paused, the caption after a resume.
inline constexpr std::string_view kPauseFirst = "一時中断";
inline constexpr std::string_view kResume = "再開";
inline constexpr std::string_view kPauseAgain = "一時中止";
// The blinking line: 30 asterisks.
inline constexpr std::string_view kBlinkLine = "******************************";

// Progress window: the phases.
inline constexpr std::string_view kProgressCompleted = "完了しました。";
inline constexpr std::string_view kPhaseRoughEstimate = "--- 概略推測フェーズ ---";
inline constexpr std::string_view kPhaseLeastSquares = "--- 最小二乗計算フェーズ ---";
inline constexpr std::string_view kPhaseLm = "--- LM法フェーズ ---";

// A constant's text missing at the start of a run: "k3" followed by one of these.
inline constexpr std::string_view kMsgInitialValueMissing = "の初期値が入力されていません。";
inline constexpr std::string_view kMsgLowerBoundMissing = "の下限が入力されていません。";
inline constexpr std::string_view kMsgUpperBoundMissing = "の上限が入力されていません。";
inline constexpr std::string_view kMsgAccuracyMissing = "の計算精度が入力されていません。";

// Message area of the progress window during a run.
inline constexpr std::string_view kMsgRoughStartOverflow =
    "初期値が不適切なため、二乗値が非常に大きくなっています。\r概略推測できません。";
inline constexpr std::string_view kMsgRoughGiveUp =
    "初期値が不適切なため、概略推測ができません。\r"
    "妥当なフィッティング結果が得られない、あるいは計算に時間がかかる場合には、違う値を設定して"
    "再度計算実行してください。";
inline constexpr std::string_view kMsgSquareOverflow =
    "計算中の二乗値が非常に大きくなっています。\rこれ以上計算を継続できません。";
inline constexpr std::string_view kMsgBoundWarning =
    "文字定数の値が設定された上限/下限を超えました。\r"
    "妥当なフィッティング結果が得られない場合は、初期値や上限/下限を再設定後に再度実行し直して"
    "下さい。";

// The Levenberg-Marquardt phase: the sum of squares of the point reached (followed by the
// number), and why the phase ended early.
inline constexpr std::string_view kMsgLmSum = "最小二乗値：";
inline constexpr std::string_view kMsgLmOverflow =
    "LM法の計算中に二乗値が非常に大きくなりました。\r"
    "LM法フェーズを終了し、それまでの最良の値を残します。";
inline constexpr std::string_view kMsgLmEvaluationError =
    "LM法の計算中に式の値を計算できなくなりました。\r"
    "LM法フェーズを終了し、それまでの最良の値を残します。";
inline constexpr std::string_view kMsgLmIterationLimit =
    "LM法の反復回数が上限に達しました。\r"
    "LM法フェーズを終了し、それまでの最良の値を残します。";
inline constexpr std::string_view kMsgLmTooFewPoints =
    "データ点の数が文字定数の数より少ないため、LM法を実行できません。";
inline constexpr std::string_view kMsgLmAtBound =
    "文字定数の値が設定された上限/下限に達しました。\r"
    "妥当なフィッティング結果が得られない場合は、上限/下限を再設定後に再度実行し直して下さい。";

// Result display (and the results report): R^2 that cannot be computed, and the mark after a
// value of a run that stopped early or is paused.
inline constexpr std::string_view kR2NotComputable = "計算できません";
inline constexpr std::string_view kProvisionalMark = " *";

// Headings of the run log.
inline constexpr std::string_view kLogPreparation = "計算準備--------------------";
inline constexpr std::string_view kLogVariableCount = "変数の数";
inline constexpr std::string_view kLogRoughPhase = "概略推測フェーズ----------";
inline constexpr std::string_view kLogLeastSquaresPhase = "最小二乗計算フェーズ----------";
inline constexpr std::string_view kLogRoughImpossible = "概略推測不可能";
inline constexpr std::string_view kLogSquareBeforeRough = "概略推測前のMinSquare";
inline constexpr std::string_view kLogMatricesBefore = "概略推測開始前行列";
inline constexpr std::string_view kLogMatricesAfter = "概略推測終了後行列";
inline constexpr std::string_view kLogSquareAtRough = "概略推測解でのSquare";
inline constexpr std::string_view kLogIntermediate = "途中解";
inline constexpr std::string_view kLogMinSquare = "最小二乗値";
inline constexpr std::string_view kLogMinSquareRecomputed = "最小二乗値（再計算）";
inline constexpr std::string_view kLogLmPhase = "LM法フェーズ----------";
inline constexpr std::string_view kLogLmStartSum = "LM法開始時の最小二乗値";
inline constexpr std::string_view kLogLmIteration = "LM法反復";
inline constexpr std::string_view kLogLmEnd = "LM法終了";
inline constexpr std::string_view kLogLmKept = "LM法の解を採用";
inline constexpr std::string_view kLogLmNotKept = "LM法の解を不採用";
inline constexpr std::string_view kLogSeparator = "--------------------";

}  // namespace calvane::text
