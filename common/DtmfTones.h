#pragma once

#include <array>
#include <optional>

namespace quelsor {

// The eight DTMF tones in the order every per-tone array uses: index 0..3 the low group,
// 4..7 the high group. Bit 7 of a tone mask is tone 0, bit 0 is tone 7.
inline constexpr int kToneCount = 8;
inline constexpr std::array<int, kToneCount> kToneFrequencies { 697, 770, 852, 941, 1209, 1336,
    1477, 1633 }; // Hz

// Rows by low tone (697, 770, 852, 941 Hz), columns by high tone (1209, 1336, 1477, 1633 Hz).
inline constexpr char kKeypad[4][4] = {
    { '1', '2', '3', 'A' },
    { '4', '5', '6', 'B' },
    { '7', '8', '9', 'C' },
    { '*', '0', '#', 'D' },
};

// Tone indices (0..3 low, 4..7 high) of a keypad character.
struct ToneIndexPair {
    int low;
    int high;
};

// The tone pair of a keypad character, or nothing for any other character. Only the upper-case
// letters A..D have a pair; lower-case letters, blanks and separators have none.
std::optional<ToneIndexPair> TonesOfKey(char key);

} // namespace quelsor
