#pragma once

#include <cstddef>
#include <cstdint>

namespace quelsor {

// The sample arithmetic of reading a recording, on values in full scale (±1.0 = the largest
// 16-bit sample).

// Mixes count interleaved frames of `channels` channels down to one: channel 0 takes the mean of
// all channels, channel 1..channels that channel alone. mono receives count values.
void MixDown(const double* frames, std::size_t count, int channels, int channel, double* mono);

// Scales count values to 16-bit samples: × 32768, rounded to the nearest integer (halves away
// from zero), clipped to −32768..32767; a NaN becomes 0. Returns how many values were clipped or
// NaN.
std::size_t ToSixteenBit(const double* values, std::size_t count, std::int16_t* samples);

} // namespace quelsor
