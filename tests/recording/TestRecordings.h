#pragma once

#include "audio/DetectorHost.h"
#include "audio/WavHeader.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#ifdef QUELSOR_HAVE_SNDFILE
#include <sndfile.h>
#endif

namespace quelsor::testing {

using Bytes = std::vector<std::uint8_t>;

// A WAV file of the program's own format (the command file's 44-byte header) holding samples.
inline Bytes OwnWav(const std::vector<std::int16_t>& samples)
{
    WavHeader header;
    BuildWavHeader(header, static_cast<std::int32_t>(samples.size() * 2));
    const auto head = SerializeWavHeader(header);
    Bytes file(head.begin(), head.end());
    for (std::int16_t s : samples) {
        file.push_back(static_cast<std::uint8_t>(s & 0xFF));
        file.push_back(static_cast<std::uint8_t>((static_cast<std::uint16_t>(s) >> 8) & 0xFF));
    }
    return file;
}

// The worked example's answer as a device sends it, synthesised at any rate, in full scale
// (the 16 kHz generator's levels: each tone 12000 / 32768): 1 s of silence, each character a
// 150 ms pair and 150 ms of silence, 600 ms of silence, a 20 ms pair (1633 + 941 Hz) that closes
// the answer, 100 ms of silence.
inline std::vector<float> SynthesisedAnswer(const std::string& text, int rate)
{
    static const char keys[] = "123A456B789C*0#D";
    static const double low[] = { 697, 770, 852, 941 };
    static const double high[] = { 1209, 1336, 1477, 1633 };
    std::vector<float> samples;
    const auto silence = [&](int ms) { samples.resize(samples.size() + rate * ms / 1000, 0.0f); };
    const auto pair = [&](int ms, double f1, double f2) {
        const int count = rate * ms / 1000;
        for (int n = 1; n <= count; ++n) {
            const double t = static_cast<double>(n) / rate;
            samples.push_back(static_cast<float>(12000.0 / 32768.0
                * (std::sin(2 * std::numbers::pi * f1 * t)
                    + std::sin(2 * std::numbers::pi * f2 * t))));
        }
    };
    silence(1000);
    for (char c : text) {
        const auto at = std::string(keys).find(c);
        pair(150, high[at % 4], low[at / 4]);
        silence(150);
    }
    silence(600);
    pair(20, 1633, 941);
    silence(100);
    return samples;
}

// Interleaves channels, the shorter ones padded with silence.
inline std::vector<float> Interleaved(const std::vector<std::vector<float>>& channels)
{
    std::size_t length = 0;
    for (const std::vector<float>& channel : channels)
        length = std::max(length, channel.size());
    std::vector<float> frames;
    for (std::size_t i = 0; i < length; ++i)
        for (const std::vector<float>& channel : channels)
            frames.push_back(i < channel.size() ? channel[i] : 0.0f);
    return frames;
}

#ifdef QUELSOR_HAVE_SNDFILE
// Writes interleaved frames with libsndfile in format (SF_FORMAT_WAV | SF_FORMAT_PCM_24, ...);
// false when libsndfile cannot.
inline bool WriteRecording(
    const std::string& path, const std::vector<float>& frames, int rate, int channels, int format)
{
    SF_INFO info {};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr)
        return false;
    const sf_count_t count = static_cast<sf_count_t>(frames.size()) / channels;
    const bool written = sf_writef_float(file, frames.data(), count) == count;
    return sf_close(file) == 0 && written;
}
#endif

// The detector's events that matter to a reader: accepted characters with their blocks, answers.
class AnswerCollector : public IDetectorHost {
public:
    int threshold = 30;
    std::vector<std::pair<std::int64_t, char>> characters;
    std::vector<std::string> answers;

    int Threshold() const override { return threshold; }
    void OnToneMask(std::int64_t, std::uint8_t, const ToneIndicators&) override { }
    void OnCharacter(std::int64_t block, char character) override
    {
        characters.emplace_back(block, character);
    }
    void OnAnswer(const std::string& text) override { answers.push_back(text); }
};

} // namespace quelsor::testing
