#pragma once

#include <string_view>

#include "base/base_messages.h"
#include "formula/formula_messages.h"

// The fitting-conditions subsystem's own texts, UTF-8, exactly as the user sees them.
namespace calvane::text {

// Formula status label (control 1036), as the formula check sets it.
inline constexpr std::string_view kStatusNotEntered = text::kLabelEmpty;
inline constexpr std::string_view kStatusInvalid = text::kLabelInvalid;

// Constant fields: the check on leaving a field, and OK.
inline constexpr std::string_view kInvalidInput = "不正な入力値です。";
inline constexpr std::string_view kOutOfRange = "値が大きすぎ、あるいは小さすぎます。";
inline constexpr std::string_view kAccuracyNotPositive = "計算精度は正でなければなりません。";
inline constexpr std::string_view kBoundsOrder = "下限は上限より小さくくなければなりません。";
inline constexpr std::string_view kInitialOutsideBounds =
    "初期値は下限と上限の間でなければなりません。";

// Left-side box: a variable of the right-hand side cannot be chosen.
inline constexpr std::string_view kLeftSideInFormula =
    "右辺に含まれている変数(xもしくはy)を選択することはできません。";

// Condition-file dialogs.
inline constexpr std::string_view kOpenTitle = "計算条件ファイルを開く";
inline constexpr std::string_view kSaveTitle = "計算条件ファイルの保存";
inline constexpr std::string_view kFilterLabel = "計算条件ファイル(*.ccn)";
inline constexpr std::string_view kFilterPattern = "*.ccn";
inline constexpr std::string_view kExtension = "ccn";

// The fitting-conditions dialog.
inline constexpr std::string_view kConditionsCaption = "計算条件";
inline constexpr std::string_view kFormulaLabel = "フィッティング式：";
inline constexpr std::string_view kLeftSideEmpty = "";
inline constexpr std::string_view kLeftSideX = "x (x系列)";
inline constexpr std::string_view kLeftSideY = "y (y系列)";
inline constexpr std::string_view kEquals = "=";
inline constexpr std::string_view kConstantHeader = "文字定数";
inline constexpr std::string_view kInitialHeader = "初期値";
inline constexpr std::string_view kLowerHeader = "下限";
inline constexpr std::string_view kUpperHeader = "上限";
inline constexpr std::string_view kAccuracyHeader = "計算精度";
inline constexpr std::string_view kAngleUnitFrame = "角度の単位";
inline constexpr std::string_view kDegree = "Degree";
inline constexpr std::string_view kRadian = "Radian";
inline constexpr std::string_view kReset = "再設定";

// The detailed-conditions dialog.
inline constexpr std::string_view kDetailedCaption = "詳細条件";
inline constexpr std::string_view kNoRoughEstimation = "解の概略推測をしない";
inline constexpr std::string_view kIntervalLabel = "計算に使用するデータの間隔";
inline constexpr std::string_view kSearchMethodFrame = "探索方法";
inline constexpr std::string_view kMethodLattice = "格子探索";
inline constexpr std::string_view kMethodLatticeThenLm = "格子探索＋LM法で仕上げ";
inline constexpr std::string_view kMethodLmOnly = "LM法のみ（高速）";

}  // namespace calvane::text
