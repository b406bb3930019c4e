#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace calvane {

// The one conversion between UTF-8 and Shift-JIS (Windows code page 932), over iconv.
// Returns nullopt when the input holds a sequence the other encoding cannot represent.
std::optional<std::string> Utf8ToCp932(std::string_view utf8);
std::optional<std::string> Cp932ToUtf8(std::string_view cp932);

// For literals known to be representable (the program's own texts): converts or aborts.
std::string Cp932(std::string_view utf8);

}  // namespace calvane
