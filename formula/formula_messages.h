#pragma once

#include <string_view>

#include "base/base_messages.h"

// The formula language's own texts, UTF-8, exactly as the user sees them.
namespace calvane::text {

// Formula status label of the conditions dialog.
inline constexpr std::string_view kLabelInvalid = "【エラー】式が不正です";
inline constexpr std::string_view kLabelEmpty = "【エラー】式が未入力です";

// Message boxes of the formula check (caption kCaptionError).
inline constexpr std::string_view kCheckInvalid = "フィッティング式が不正です。";
inline constexpr std::string_view kCheckNoConstantOrVariable =
    "フィッティング式には文字定数(k0-k9)と変数(x,y,z)を少なくとも一つずつ含まなくてはなりません。";
inline constexpr std::string_view kCheckParentheses = "'(' と ')'の数が一致していません。";
inline constexpr std::string_view kCheckUsesLeftSide =
    "左辺と同一の変数(xもしくはy)をフィッティング式中に含むことはできません。";
inline constexpr std::string_view kCheckLiteralOutOfRange =
    "フィッティング式中に大きすぎる、あるいは小さすぎる数値定数が含まれています。";
inline constexpr std::string_view kCheckTooLong =
    "フィッティング式は500文字未満でなくてはいけません。";

// Evaluation errors, written to the progress window's message area.
inline constexpr std::string_view kEvalDivisionByZero = "ゼロで除算しました。計算できません。";
inline constexpr std::string_view kEvalFractionalPowerOfNegative =
    "負の値を小数で累乗しました。計算できません。";
inline constexpr std::string_view kEvalSqrtOfNegative =
    "Sqrtの対象に負の値が指定されました。計算できません。";
inline constexpr std::string_view kEvalLogOfNonPositive =
    "Logの対象に0以下の値が指定されました。計算できません。";
inline constexpr std::string_view kEvalLnOfNonPositive =
    "Lnの対象に0以下の値が指定されました。計算できません。";
inline constexpr std::string_view kEvalAsinOutOfRange =
    "Asinの対象に-1より小さい、あるいは1より大きい値が指定されました。計算できません。";
inline constexpr std::string_view kEvalAcosOutOfRange =
    "Acosの対象に-1より小さい、あるいは1より大きい値が指定されました。計算できません。";
inline constexpr std::string_view kEvalOutOfRange =
    "計算の途中で、値が取り扱い可能範囲を超えました。計算できません。";

// Message box of the main window (caption kCaptionError) for an operation code that is not 1..22.
inline constexpr std::string_view kEvalUnregisteredOperator = "演算子が登録されていません";

}  // namespace calvane::text
