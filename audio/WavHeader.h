#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

namespace quelsor {

// The canonical 44-byte RIFF/WAVE header of both audio files of the program (the command file
// "tmp_dtmf.wav" and the capture file "tmp.wav"): PCM, mono, 16000 Hz, 16-bit. The fields are in
// file order; WriteWavHeader writes them one by one in little-endian byte order, so the layout in
// the file does not depend on the compiler's packing or on the host's byte order.
struct WavHeader {
    std::array<char, 4> riffTag {}; // "RIFF"
    std::uint32_t riffSize = 0; // data size + 36 (everything after these 8 bytes)
    std::array<char, 4> formType {}; // "WAVE"
    std::array<char, 4> formatTag {}; // "fmt "
    std::uint32_t formatSize = 0; // 16
    std::uint16_t audioFormat = 0; // 1 = PCM
    std::uint16_t channels = 0; // 1
    std::uint32_t samplesPerSecond = 0; // 16000
    std::uint32_t bytesPerSecond = 0; // blockAlign * samplesPerSecond = 32000
    std::uint16_t blockAlign = 0; // channels * bitsPerSample / 8 = 2
    std::uint16_t bitsPerSample = 0; // 16
    std::array<char, 4> dataTag {}; // "data"
    std::uint32_t dataSize = 0; // bytes of sample data after the header
};

inline constexpr int kWavHeaderSize = 44; // bytes
// Provisional data sizes written before the data is known: command file and capture file.
inline constexpr std::int32_t kCommandFileProvisionalSize = 1000;
inline constexpr std::int32_t kCaptureFileProvisionalSize = 1000000;

// Fills header for dataSize bytes of samples in the program's one sample format. A negative size
// (a failed position query of the caller) is written as 0 rather than as a huge unsigned size.
// Returns 0.
int BuildWavHeader(WavHeader& header, std::int32_t dataSize);

// The 44 bytes of header as they appear in the file.
std::array<std::uint8_t, kWavHeaderSize> SerializeWavHeader(const WavHeader& header);

// Seeks file to its start and writes the 44 bytes as one item. Returns the number of items
// written: 1 on success, 0 on failure (also for a null file). The position afterwards is 44.
int WriteWavHeader(const WavHeader& header, std::FILE* file);

} // namespace quelsor
