#pragma once

#include <string>
#include <string_view>

namespace quelsor {

// Conversions between UTF-8, the program's text encoding, and Windows-1252, the encoding of
// configuration files written on Windows.

// True when bytes is well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// Windows-1252 bytes to UTF-8. The five bytes Windows-1252 leaves undefined (81, 8D, 8F, 90, 9D)
// become the control characters of the same number, as Windows converts them.
std::string Cp1252ToUtf8(std::string_view bytes);

// UTF-8 text to Windows-1252; a character Windows-1252 cannot hold, or a malformed sequence,
// becomes '?'.
std::string Utf8ToCp1252(std::string_view text);

} // namespace quelsor
