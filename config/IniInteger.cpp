#include "IniInteger.h"

#include <limits>

namespace quelsor {

namespace {
    int DigitValue(char c, int base)
    {
        int value = -1;
        if (c >= '0' && c <= '9')
            value = c - '0';
        else if (c >= 'a' && c <= 'f')
            value = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            value = c - 'A' + 10;
        return value < base ? value : -1;
    }
} // namespace

std::int32_t ReadIniInteger(std::string_view text, std::int32_t defaultValue)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;

    bool negative = false;
    int base = 10;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    } else if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0'
        && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }

    if (i == text.size())
        return defaultValue; // nothing but blanks, a sign or a prefix
    // Accumulate as a magnitude; the negative limit is one larger than the positive one.
    const std::int64_t limit = negative
        ? -static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min())
        : std::numeric_limits<std::int32_t>::max();
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const int digit = DigitValue(text[i], base);
        if (digit < 0)
            return defaultValue;
        magnitude = magnitude * base + digit;
        if (magnitude > limit)
            return defaultValue;
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

} // namespace quelsor
