#pragma once

#include <string_view>

// The captions, file-failure texts and font names that every subsystem uses (UTF-8, exactly as the user
// sees them). A file that cannot be opened, read or written never ends the program: the message
// is shown and the command reports failure to its caller, which leaves everything as it was.
namespace calvane {

inline constexpr std::string_view kCaptionError = "エラー";
inline constexpr std::string_view kCaptionConfirm = "確認";

inline constexpr std::string_view kMsgFileOpenFailed = "ファイルを開くのに失敗しました。";
inline constexpr std::string_view kMsgFileReadFailed = "ファイルの読み込みに失敗しました。";
inline constexpr std::string_view kMsgFileWriteFailed = "ファイルの書き込みに失敗しました。";
inline constexpr std::string_view kMsgInternalFileMissing = "内部ファイルが見つかりません。";

// Asked before a user file of an existing name is replaced (OK/Cancel).
inline constexpr std::string_view kMsgOverwriteQuestion =
    "その名前のファイルは既に存在します。上書きしますか？";

// The user-interface font and its fallbacks, in order of preference.
inline constexpr std::string_view kUiFontFace = "ＭＳ Ｐゴシック";
inline constexpr std::string_view kUiFontFallback1 = "IPAPGothic";
inline constexpr std::string_view kUiFontFallback2 = "Noto Sans CJK JP";
inline constexpr int kUiFontPixelSize = 12;

}  // namespace calvane
