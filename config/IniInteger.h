#pragma once

#include <cstdint>
#include <string_view>

namespace quelsor {

// Reads an integer the way the configuration always has: optional leading blanks (spaces, tabs),
// then either an optional sign and decimal digits, or hexadecimal digits introduced by "$", "x",
// "X", "0x" or "0X" (no sign before a hexadecimal number). The value must fit in a signed 32-bit
// integer. Anything else (empty text, no digits, trailing blanks or other characters, overflow)
// gives defaultValue.
std::int32_t ReadIniInteger(std::string_view text, std::int32_t defaultValue);

} // namespace quelsor
