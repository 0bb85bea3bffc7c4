// Conversion between Shift-JIS (code page 932) and UTF-8 at the display,
// keyboard and file-name boundaries. Inside the programs text stays
// Shift-JIS bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plat {

// Bytes that are not valid code page 932 each become U+FFFD.
std::string SjisToUtf8(std::string_view sjis);

// Characters that code page 932 lacks (and malformed UTF-8) become
// `replacement`.
std::string Utf8ToSjis(std::string_view utf8, char replacement = '?');

// As above, but refuses text that cannot be converted whole.
std::optional<std::string> Utf8ToSjisStrict(std::string_view utf8);

}  // namespace plat
