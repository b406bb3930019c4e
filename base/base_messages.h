#pragma once

#include <string_view>

// The captions, file-failure texts, status-line texts and font names that every subsystem uses
// (UTF-8, exactly as the user sees them). Every message header of the program puts its texts in
// the namespace calvane::text. A file that cannot be opened, read or written never ends the
// program: the message is shown and the command reports failure to its caller, which leaves
// everything as it was.
namespace calvane::text {

inline constexpr std::string_view kCaptionError = "エラー";
inline constexpr std::string_view kCaptionConfirm = "確認";

inline constexpr std::string_view kMsgFileOpenFailed = "ファイルを開くのに失敗しました。";
inline constexpr std::string_view kMsgFileReadFailed = "ファイルの読み込みに失敗しました。";
inline constexpr std::string_view kMsgFileWriteFailed = "ファイルの書き込みに失敗しました。";
inline constexpr std::string_view kMsgInternalFileMissing = "内部ファイルが見つかりません。";

// Asked before a user file of an existing name is replaced (OK/Cancel).
inline constexpr std::string_view kMsgOverwriteQuestion =
    "その名前のファイルは既に存在します。上書きしますか？";

// The main window's status line (control 1029): the next step for the user. The data,
// conditions, run and save commands set it.
inline constexpr std::string_view kStatusOpenData = "データを開いてください。";
inline constexpr std::string_view kStatusSetConditions = "計算条件を設定してください。";
inline constexpr std::string_view kStatusRun = "計算を実行してください。";
inline constexpr std::string_view kStatusSaveIfNeeded = "必要であれば計算結果を保存してください。";
inline constexpr std::string_view kStatusSaved = "計算結果保存済みです。";

// The save dialog of a graph as an image (the main window's graph, the residual plot): PNG or
// SVG, by the filter chosen.
inline constexpr std::string_view kImageSaveTitle = "グラフを画像で保存";
inline constexpr std::string_view kImageFilterPng = "PNG画像(*.png)";
inline constexpr std::string_view kImageFilterSvg = "SVG画像(*.svg)";

// Buttons of the dialogs.
inline constexpr std::string_view kButtonOk = "OK";
inline constexpr std::string_view kButtonCancel = "Cancel";

// The user-interface font and its fallbacks, in order of preference.
inline constexpr std::string_view kUiFontFace = "ＭＳ Ｐゴシック";
inline constexpr std::string_view kUiFontFallback1 = "IPAPGothic";
inline constexpr std::string_view kUiFontFallback2 = "Noto Sans CJK JP";
inline constexpr int kUiFontPixelSize = 12;

}  // namespace calvane::text
