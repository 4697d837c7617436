#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace quelsor {

// The DTMF tone generator: each character of a command sequence becomes a 150 ms tone pair (when
// it is a keypad character 0-9, *, #, A-D) followed by 150 ms of silence, in the program's sample
// format (16-bit, mono, 16000 Hz). Each tone of a pair has an amplitude of 12000, so a pair peaks
// at 24000 and never clips. The file writers append to an open file after its header; the
// in-memory forms produce the very same samples (the simulated remote devices use them).
inline constexpr int kToneDurationMs = 150;
inline constexpr int kGapDurationMs = 150;
inline constexpr double kToneAmplitude = 12000.0;

// Number of samples in ms milliseconds (16 per ms); 0 for a negative duration.
std::size_t SamplesForDuration(int ms);

// Appends ms milliseconds of the tone pair f1 + f2 (Hz; the sequence writers pass the high-group
// tone first). Both phases start at 0 and are advanced before use, so the first sample is
// sin(step1)·12000 + sin(step2)·12000, each term truncated toward zero. mute gives zeros of the
// same length.
void AppendTone(std::vector<std::int16_t>& samples, int ms, bool mute, double f1, double f2);
void AppendSilence(std::vector<std::int16_t>& samples, int ms);
// Per character: the 150 ms pair if it has one, then 150 ms of silence. The sequence is UTF-8:
// a character of several bytes counts once (a byte that is not valid UTF-8 counts alone).
void AppendDtmfSequence(std::vector<std::int16_t>& samples, const std::string& sequence);

// The same written at the current position of an open file, as little-endian 16-bit samples, one
// item per call. WriteTone returns the number of items written (1, or 0 when the write failed or
// there was nothing to write) or −1 when the samples could not be produced (out of memory).
int WriteTone(int ms, std::FILE* file, bool mute, double f1, double f2);
int WriteSilence(int ms, std::FILE* file);
// Writes every character of sequence; returns 0. Write failures are left to the caller to
// detect (std::ferror).
int WriteDTMFSequence(const std::string& sequence, std::FILE* file);

// Writes samples to file as one item of little-endian 16-bit values; returns the item count.
int WriteSamples(const std::vector<std::int16_t>& samples, std::FILE* file);

} // namespace quelsor
