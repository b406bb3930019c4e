#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace calvane {

// Text crosses the edge between the widgets and the logic here: the logic keeps what the user
// typed as Shift-JIS (code page 932) bytes, the widgets hold QStrings.

// The byte that stands for a character Shift-JIS cannot hold. It is no token of the formula
// language and no part of a number, so the formula check and the constant-field check refuse
// such a text as they refuse any unknown character, instead of the character being dropped.
inline constexpr char kUnrepresentableByte = '?';

// The Shift-JIS bytes of `text`, one kUnrepresentableByte for each character that has no
// Shift-JIS form.
std::string ToCp932(const QString& text);

// The text of Shift-JIS bytes. A byte sequence that is not Shift-JIS (a lone lead byte, say)
// shows as U+FFFD, one per byte, and the rest of the text is kept.
QString FromCp932(std::string_view bytes);

}  // namespace calvane
