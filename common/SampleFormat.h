#pragma once

#include <cstdint>

namespace quelsor {

// The one sample format of the whole program: PCM, signed 16-bit little-endian, mono, 16000 Hz.
// Capture, both WAV files and the tone generator use it; the filters and the FFT assume it.
inline constexpr int kSampleRate = 16000; // samples per second
inline constexpr int kChannels = 1;
inline constexpr int kBitsPerSample = 16;
inline constexpr int kBlockAlign = kChannels * kBitsPerSample / 8; // 2 bytes per sample frame
inline constexpr int kBytesPerSecond = kBlockAlign * kSampleRate; // 32000
inline constexpr int kSamplesPerMs = kSampleRate / 1000; // 16

using Sample = std::int16_t;

} // namespace quelsor
