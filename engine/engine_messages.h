#pragma once

#include <string_view>

// The progress window's own texts (UTF-8, exactly as the user sees them).
namespace calvane::engine_text {

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
inline constexpr std::string_view kOk = "OK";
inline constexpr std::string_view kAbort = "中止";
// The pause button: its first caption, the caption while paused, the caption after a resume.
inline constexpr std::string_view kPauseFirst = "一時中断";
inline constexpr std::string_view kResume = "再開";
inline constexpr std::string_view kPauseAgain = "一時中止";
// The blinking line: 30 asterisks.
inline constexpr std::string_view kBlinkLine = "******************************";

}  // namespace calvane::engine_text
