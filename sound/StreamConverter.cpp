#include "sound/StreamConverter.h"

#include "common/SampleFormat.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <numeric>

namespace quelsor {

namespace {

    constexpr int kZeroCrossings = 16; // of the sinc, each side of its centre
    constexpr double kKaiserBeta = 8.6; // about 90 dB of stop-band attenuation
    constexpr double kCutoffShare = 0.9; // of the lower Nyquist frequency

    // The modified Bessel function of the first kind, order 0 (Kaiser's window).
    double BesselI0(double x)
    {
        double sum = 1.0;
        double term = 1.0;
        for (int k = 1; k < 50 && term > sum * 1e-17; ++k) {
            const double half = x / (2.0 * k);
            term *= half * half;
            sum += term;
        }
        return sum;
    }

    float ReadSample(const std::uint8_t* at, SampleEncoding encoding)
    {
        switch (encoding) {
        case SampleEncoding::Float32: {
            float value;
            std::memcpy(&value, at, sizeof value);
            return std::isfinite(value) ? value : 0.0f;
        }
        case SampleEncoding::Int16: {
            std::int16_t value;
            std::memcpy(&value, at, sizeof value);
            return static_cast<float>(value) / 32768.0f;
        }
        case SampleEncoding::Int32: {
            std::int32_t value;
            std::memcpy(&value, at, sizeof value);
            return static_cast<float>(static_cast<double>(value) / 2147483648.0);
        }
        }
        return 0.0f;
    }

    void WriteSample(float value, std::uint8_t* at, SampleEncoding encoding)
    {
        const float clipped = std::clamp(value, -1.0f, 1.0f);
        switch (encoding) {
        case SampleEncoding::Float32:
            std::memcpy(at, &clipped, sizeof clipped);
            return;
        case SampleEncoding::Int16: {
            const auto sample = static_cast<std::int16_t>(
                std::clamp(std::lround(clipped * 32768.0f), -32768L, 32767L));
            std::memcpy(at, &sample, sizeof sample);
            return;
        }
        case SampleEncoding::Int32: {
            const auto sample = static_cast<std::int32_t>(
                std::clamp(std::llround(static_cast<double>(clipped) * 2147483648.0), -2147483648LL,
                    2147483647LL));
            std::memcpy(at, &sample, sizeof sample);
            return;
        }
        }
    }

    std::int16_t ToSample16(float value)
    {
        return static_cast<std::int16_t>(
            std::clamp(std::lround(value * 32768.0f), -32768L, 32767L));
    }

} // namespace

bool DeviceStreamFormat::IsCaptureFormat() const
{
    return rate == kSampleRate && channels == kChannels && encoding == SampleEncoding::Int16;
}

RateChanger::RateChanger(int inputRate, int outputRate)
    : step_(static_cast<double>(inputRate) / outputRate)
    , cutoff_(0.5 * kCutoffShare * std::min(1.0, static_cast<double>(outputRate) / inputRate))
    , halfWidth_(static_cast<int>(std::ceil(kZeroCrossings / (2.0 * cutoff_))))
    , passThrough_(inputRate == outputRate)
    , history_(static_cast<std::size_t>(halfWidth_), 0.0f)
    , position_(halfWidth_)
{
}

void RateChanger::Push(const float* samples, std::size_t count, std::vector<float>& out)
{
    if (passThrough_) {
        out.insert(out.end(), samples, samples + count);
        return;
    }
    history_.insert(history_.end(), samples, samples + count);
    Produce(out, static_cast<double>(history_.size() - static_cast<std::size_t>(halfWidth_)));
}

void RateChanger::Flush(std::vector<float>& out)
{
    if (passThrough_)
        return;
    // The outputs up to the time just past the last input, with silence after it.
    const auto end = static_cast<double>(history_.size());
    history_.insert(history_.end(), static_cast<std::size_t>(2 * halfWidth_ + 2), 0.0f);
    Produce(out, end);
}

const std::vector<float>& RateChanger::Taps(int phase)
{
    std::vector<float>& taps = phaseTaps_[static_cast<std::size_t>(phase)];
    if (!taps.empty())
        return taps;
    const double offset = static_cast<double>(phase) / kPhases;
    const double scale = 2.0 * cutoff_;
    const double windowNorm = BesselI0(kKaiserBeta);
    taps.resize(static_cast<std::size_t>(2 * halfWidth_));
    for (int k = -halfWidth_ + 1; k <= halfWidth_; ++k) {
        const double d = k - offset; // input time minus output time, in inputs
        const double x = scale * d;
        const double sinc
            = x == 0.0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
        const double r = d / halfWidth_;
        const double window
            = r * r < 1.0 ? BesselI0(kKaiserBeta * std::sqrt(1.0 - r * r)) / windowNorm : 0.0;
        taps[static_cast<std::size_t>(k + halfWidth_ - 1)]
            = static_cast<float>(scale * sinc * window);
    }
    return taps;
}

void RateChanger::Produce(std::vector<float>& out, double end)
{
    while (position_ < end) {
        const double centre = std::floor(position_);
        // The output's offset from the input grid, to 1/kPhases of an input (an error of at most
        // 1/(2 kPhases) input, some 70 dB below the signal at DTMF frequencies).
        int phase = static_cast<int>(std::lround((position_ - centre) * kPhases));
        double base = centre;
        if (phase == kPhases) {
            phase = 0;
            base += 1.0;
        }
        const std::vector<float>& taps = Taps(phase);
        const float* input = history_.data() + static_cast<std::size_t>(base) - halfWidth_ + 1;
        float sum = 0.0f;
        for (std::size_t i = 0; i < taps.size(); ++i)
            sum += taps[i] * input[i];
        out.push_back(sum);
        position_ += step_;
    }
    // Keep only the inputs later outputs still need.
    const double needed = std::floor(position_) - halfWidth_;
    if (needed > 0.0) {
        const auto drop = std::min(static_cast<std::size_t>(needed), history_.size());
        history_.erase(history_.begin(), history_.begin() + static_cast<std::ptrdiff_t>(drop));
        position_ -= static_cast<double>(drop);
    }
}

CaptureConverter::CaptureConverter(const DeviceStreamFormat& device)
    : device_(device)
    , rate_(device.rate, kSampleRate)
{
}

void CaptureConverter::Convert(const void* data, std::size_t frames, std::vector<std::int16_t>& out)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const int channels = std::max(device_.channels, 1);
    const auto sampleBytes = static_cast<std::size_t>(device_.BytesPerSample());
    mono_.resize(frames);
    for (std::size_t f = 0; f < frames; ++f) {
        float sum = 0.0f;
        for (int c = 0; c < channels; ++c)
            sum += ReadSample(bytes
                    + (f * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c))
                        * sampleBytes,
                device_.encoding);
        mono_[f] = sum / static_cast<float>(channels);
    }
    converted_.clear();
    rate_.Push(mono_.data(), mono_.size(), converted_);
    for (const float value : converted_)
        out.push_back(ToSample16(value));
}

std::vector<std::uint8_t> ToDeviceFrames(
    const std::vector<std::int16_t>& samples, int sampleRate, const DeviceStreamFormat& device)
{
    std::vector<float> mono(samples.size());
    std::transform(samples.begin(), samples.end(), mono.begin(),
        [](std::int16_t sample) { return static_cast<float>(sample) / 32768.0f; });
    RateChanger rate(sampleRate, device.rate);
    std::vector<float> converted;
    converted.reserve(
        static_cast<std::size_t>(static_cast<double>(mono.size()) * device.rate / sampleRate) + 64);
    rate.Push(mono.data(), mono.size(), converted);
    rate.Flush(converted);
    const int channels = std::max(device.channels, 1);
    const auto sampleBytes = static_cast<std::size_t>(device.BytesPerSample());
    std::vector<std::uint8_t> frames(
        converted.size() * static_cast<std::size_t>(channels) * sampleBytes);
    std::uint8_t* at = frames.data();
    for (const float value : converted) {
        for (int c = 0; c < channels; ++c, at += sampleBytes)
            WriteSample(value, at, device.encoding);
    }
    return frames;
}

} // namespace quelsor
