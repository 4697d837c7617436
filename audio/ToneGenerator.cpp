#include "ToneGenerator.h"

#include "common/DtmfTones.h"
#include "common/SampleFormat.h"
#include "common/Utf8.h"

#include <cmath>
#include <new>

namespace quelsor {

namespace {

    constexpr double kPi = 3.141592653589793;

    // One tone's contribution to a sample, truncated toward zero (|value| ≤ 12000). A frequency
    // that is not a number gives silence rather than an undefined conversion.
    int ToneTerm(double phase, double gain)
    {
        const double value = std::sin(phase) * kToneAmplitude * gain;
        return std::isfinite(value) ? static_cast<int>(value) : 0;
    }

    // The tone pair of the character at sequence[i]; none for a character of several bytes
    // (an accented letter is one character without tones, not one per byte).
    std::optional<ToneIndexPair> KeyTonesAt(const std::string& sequence, std::size_t i)
    {
        if (Utf8CharacterLength(sequence, i) != 1)
            return std::nullopt;
        return TonesOfKey(sequence[i]);
    }

} // namespace

std::size_t SamplesForDuration(int ms)
{
    if (ms <= 0)
        return 0;
    // (ms × 2 × 16000) / 1000 bytes, rounded up to whole samples, in 64 bits so long durations
    // cannot overflow.
    std::int64_t bytes = static_cast<std::int64_t>(ms) * kBlockAlign * kSampleRate / 1000;
    if (bytes % 2 != 0)
        ++bytes;
    return static_cast<std::size_t>(bytes / kBlockAlign);
}

void AppendTone(std::vector<std::int16_t>& samples, int ms, bool mute, double f1, double f2)
{
    const std::size_t count = SamplesForDuration(ms);
    const double gain = mute ? 0.0 : 1.0;
    // π / (8000 / f) radians per sample: 2π·f / 16000.
    const double step1 = kPi / ((kSampleRate / 2.0) / f1);
    const double step2 = kPi / ((kSampleRate / 2.0) / f2);
    double phase1 = 0.0;
    double phase2 = 0.0;
    samples.reserve(samples.size() + count);
    for (std::size_t i = 0; i < count; ++i) {
        phase2 += step2;
        const int a = ToneTerm(phase2, gain);
        phase1 += step1;
        const int b = ToneTerm(phase1, gain);
        samples.push_back(static_cast<std::int16_t>(a + b));
    }
}

void AppendSilence(std::vector<std::int16_t>& samples, int ms)
{
    samples.insert(samples.end(), SamplesForDuration(ms), std::int16_t { 0 });
}

void AppendDtmfSequence(std::vector<std::int16_t>& samples, const std::string& sequence)
{
    for (std::size_t i = 0; i < sequence.size(); i += Utf8CharacterLength(sequence, i)) {
        if (const auto tones = KeyTonesAt(sequence, i)) {
            AppendTone(samples, kToneDurationMs, false,
                kToneFrequencies[static_cast<std::size_t>(tones->high)],
                kToneFrequencies[static_cast<std::size_t>(tones->low)]);
        }
        AppendSilence(samples, kGapDurationMs);
    }
}

int WriteSamples(const std::vector<std::int16_t>& samples, std::FILE* file)
{
    if (file == nullptr || samples.empty())
        return 0;
    std::vector<unsigned char> bytes(samples.size() * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto value = static_cast<std::uint16_t>(samples[i]);
        bytes[2 * i] = static_cast<unsigned char>(value & 0xFFu);
        bytes[2 * i + 1] = static_cast<unsigned char>(value >> 8);
    }
    return static_cast<int>(std::fwrite(bytes.data(), bytes.size(), 1, file));
}

int WriteTone(int ms, std::FILE* file, bool mute, double f1, double f2)
{
    try {
        std::vector<std::int16_t> samples;
        AppendTone(samples, ms, mute, f1, f2);
        return WriteSamples(samples, file);
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

int WriteSilence(int ms, std::FILE* file)
{
    try {
        std::vector<std::int16_t> samples;
        AppendSilence(samples, ms);
        return WriteSamples(samples, file);
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

int WriteDTMFSequence(const std::string& sequence, std::FILE* file)
{
    for (std::size_t i = 0; i < sequence.size(); i += Utf8CharacterLength(sequence, i)) {
        if (const auto tones = KeyTonesAt(sequence, i)) {
            WriteTone(kToneDurationMs, file, false,
                kToneFrequencies[static_cast<std::size_t>(tones->high)],
                kToneFrequencies[static_cast<std::size_t>(tones->low)]);
        }
        WriteSilence(kGapDurationMs, file);
    }
    return 0;
}

} // namespace quelsor
