#pragma once

#include <cstddef>
#include <string_view>

namespace quelsor {

// Decodes the UTF-8 character that starts at bytes[i] (i < bytes.size()) into cp. Returns its
// length in bytes (1 to 4), or 0 when the bytes there are not a well-formed character (a stray
// continuation byte, a sequence cut short, an overlong form, a surrogate, beyond U+10FFFF).
std::size_t DecodeUtf8(std::string_view bytes, std::size_t i, char32_t& cp);

// The number of bytes of the character that starts at text[i]: its UTF-8 length, or 1 for a
// byte that does not start a well-formed character (so text in another 8-bit encoding is still
// walked one character per byte).
std::size_t Utf8CharacterLength(std::string_view text, std::size_t i);

} // namespace quelsor
