#pragma once

#include <string_view>

#include "base/base_messages.h"

// The texts that the data-input logic shows (UTF-8, exactly as the user sees them).
namespace calvane::text {

inline constexpr std::string_view kCaptionDataError = "データエラー";
inline constexpr std::string_view kCaptionBlankRow = "空白行があります";

inline constexpr std::string_view kMsgDataFileOpenFailed =
    "ファイルを開くのに失敗しました。既に他のアプリケーションで開かれている可能性があります。";
inline constexpr std::string_view kMsgDataFileReadFailed = kMsgFileReadFailed;

// The open-data file dialog: title and type list, in the order offered.
inline constexpr std::string_view kOpenDataTitle = "データファイルを開く";
inline constexpr std::string_view kFilterCsvLabel = "CSV カンマ区切り(*.csv)";
inline constexpr std::string_view kFilterTextLabel = "テキスト ファイル(*.txt)";
inline constexpr std::string_view kFilterAllLabel = "すべてのファイル(*.*)";

// The data sheet's labels and help-line prompts.
inline constexpr std::string_view kSheetCaption = "DataSheet";
inline constexpr std::string_view kSheetXLabel = "x（x系列）";
inline constexpr std::string_view kSheetYLabel = "y（y系列）";
inline constexpr std::string_view kSheetSeriesUnit = "系列目";
inline constexpr std::string_view kSheetStartLabel = "開始行";
inline constexpr std::string_view kSheetEndLabel = "終了行";
inline constexpr std::string_view kSheetRowUnit = "行目";
inline constexpr std::string_view kSheetUseToLastRow = "最終行まで使用";
inline constexpr std::string_view kSheetRangeGroup = "使用するﾃﾞｰﾀ範囲";
inline constexpr std::string_view kSheetFirstPrompt =
    "範囲を選択してください（マウスクリックでも可能です。その場合は、まずx(x系列)"
    "の開始行をクリックしてください。）";
inline constexpr std::string_view kSheetSecondPrompt =
    "範囲を選択してください（マウスクリックでも可能です。その場合は、つぎにy(y系列)"
    "の終了行をクリックしてください。）";

inline constexpr std::string_view kMsgTooManyRows =
    "データ要素数が最大値（65536）を越えています。以降のデータは無視されます。";
inline constexpr std::string_view kMsgTooManySeries =
    "データ系列数が最大値（256）を越えています。以降のデータは無視されます。";

inline constexpr std::string_view kMsgXSeriesRange = "x(x系列) は1から255にしなくてはなりません";
inline constexpr std::string_view kMsgYSeriesRange = "y(y系列) は1から255にしなくてはなりません";
inline constexpr std::string_view kMsgStartRowRange = "開始行は1から65536にしなくてはなりません";
inline constexpr std::string_view kMsgEndRowRange = "終了行は1から65536にしなくてはなりません";
inline constexpr std::string_view kMsgStartAfterEnd =
    "開始行は終了行よりも小さくなければなりません";
inline constexpr std::string_view kMsgSameSeries =
    "x(x系列)とy(y系列)は違うデータ列としなければなりません";

// Blank-row question: the row number, then this text.
inline constexpr std::string_view kMsgBlankRowQuestion =
    "行目のデータは空白です。以後、空白を含む行は全て無視して読み込みを継続しますか？";
// Data error: the row number, this text, one carriage return, then the reason.
inline constexpr std::string_view kMsgRowHasError = "行目のデータにエラーがあります。";
inline constexpr std::string_view kMsgInvalidData =
    "不正な文字、あるいは不正な表現を含んでいます。データ読み込みを中断します。";
inline constexpr std::string_view kMsgValueOutOfRange =
    "値が大きすぎ、あるいは小さすぎます。データ読み込みを中断します。";
inline constexpr std::string_view kMsgNoData =
    "データが1つも含まれていません。\rデータ読み込みを中断します。";

}  // namespace calvane::text
