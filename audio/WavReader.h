#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quelsor {

// The format record of a WAV file as found in its "fmt " chunk.
struct WavFormat {
    int formatTag = 0; // 1 = PCM, 0xFFFE = extensible (its sub-format is checked for PCM)
    int channels = 0;
    long sampleRate = 0; // Hz
    int bitsPerSample = 0;
};

// The result of reading a WAV file: the samples when it holds the program's sample format (PCM,
// 16-bit, mono, 16000 Hz), otherwise an error text that names what was found, for example
// "unsupported format: 2 channels, 44100 Hz, 16 bits" or
// "truncated data chunk: 1000 bytes announced, 10 present".
struct WavReadResult {
    bool ok = false;
    std::string error; // empty when ok
    WavFormat format; // as found, when a "fmt " chunk was read
    std::vector<std::int16_t> samples; // mono, 16000 Hz
};

// Reads a RIFF/WAVE file from memory. Chunks may come in any order; unknown chunks (LIST, fact,
// cue, ...) and the pad byte after an odd-sized chunk are skipped. Only the first "data" chunk
// is read; a trailing odd byte of sample data is ignored. Never reads outside [data, data+size).
WavReadResult ReadWavBuffer(const void* data, std::size_t size);

// Reads a RIFF/WAVE file from a path; a file that cannot be opened or read gives an error text
// naming the path.
WavReadResult ReadWavFile(const std::string& path);

} // namespace quelsor
