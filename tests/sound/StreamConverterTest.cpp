#include "sound/StreamConverter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace quelsor {
namespace {

    // The amplitude of the `hz` component of `samples` (full scale 1.0), by correlation over
    // whole periods of the middle half, away from the filter's start and end.
    double Amplitude(const std::vector<float>& samples, int rate, double hz)
    {
        const std::size_t from = samples.size() / 4;
        const std::size_t count = samples.size() / 2;
        double re = 0.0;
        double im = 0.0;
        for (std::size_t i = 0; i < count; ++i) {
            const double phase = 2.0 * std::numbers::pi * hz * static_cast<double>(from + i) / rate;
            re += static_cast<double>(samples[from + i]) * std::cos(phase);
            im += static_cast<double>(samples[from + i]) * std::sin(phase);
        }
        return 2.0 * std::hypot(re, im) / static_cast<double>(count);
    }

    std::vector<std::uint8_t> DeviceTone(
        const DeviceStreamFormat& format, double hz, double amplitude, double seconds)
    {
        const auto frames = static_cast<std::size_t>(format.rate * seconds);
        std::vector<std::uint8_t> bytes(frames * static_cast<std::size_t>(format.BytesPerFrame()));
        std::uint8_t* at = bytes.data();
        for (std::size_t f = 0; f < frames; ++f) {
            const double value = amplitude
                * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(f) / format.rate);
            for (int c = 0; c < format.channels; ++c) {
                if (format.encoding == SampleEncoding::Float32) {
                    const auto v = static_cast<float>(value);
                    std::memcpy(at, &v, 4);
                } else if (format.encoding == SampleEncoding::Int16) {
                    const auto v = static_cast<std::int16_t>(std::lround(value * 32767.0));
                    std::memcpy(at, &v, 2);
                } else {
                    const auto v = static_cast<std::int32_t>(std::llround(value * 2147483647.0));
                    std::memcpy(at, &v, 4);
                }
                at += format.BytesPerSample();
            }
        }
        return bytes;
    }

    std::vector<float> AsFloat(const std::vector<std::int16_t>& samples)
    {
        std::vector<float> out;
        for (const std::int16_t s : samples)
            out.push_back(static_cast<float>(s) / 32768.0f);
        return out;
    }

    struct CaptureRow {
        DeviceStreamFormat format;
        double hz;
        double expectedAmplitude; // of the same frequency at 16000 Hz
    };

    // Device formats as shared-mode mixers give them; a tone in the DTMF band keeps its level,
    // one above 8000 Hz is not folded back into the band.
    TEST(StreamConverterTest, CaptureKeepsTheBandAndRefusesWhatWouldFold)
    {
        const CaptureRow rows[] = {
            { { 48000, 2, SampleEncoding::Float32 }, 1209.0, 0.5 },
            { { 44100, 1, SampleEncoding::Int16 }, 697.0, 0.5 },
            { { 96000, 6, SampleEncoding::Int32 }, 1633.0, 0.5 },
            { { 16000, 1, SampleEncoding::Int16 }, 941.0, 0.5 },
            { { 8000, 1, SampleEncoding::Int16 }, 770.0, 0.5 },
            { { 48000, 2, SampleEncoding::Float32 }, 12000.0, 0.0 }, // would fold to 4000 Hz
            { { 44100, 2, SampleEncoding::Int16 }, 9500.0, 0.0 }, // to 6500 Hz
        };
        for (const CaptureRow& row : rows) {
            SCOPED_TRACE(
                std::to_string(row.format.rate) + " Hz, " + std::to_string(row.hz) + " Hz tone");
            const std::vector<std::uint8_t> device = DeviceTone(row.format, row.hz, 0.5, 1.0);
            CaptureConverter converter(row.format);
            std::vector<std::int16_t> out;
            // In device-sized packets of 10 ms, as a capture client delivers them.
            const std::size_t packet = static_cast<std::size_t>(row.format.rate / 100)
                * static_cast<std::size_t>(row.format.BytesPerFrame());
            for (std::size_t at = 0; at < device.size(); at += packet)
                converter.Convert(device.data() + at,
                    std::min(packet, device.size() - at)
                        / static_cast<std::size_t>(row.format.BytesPerFrame()),
                    out);
            EXPECT_NEAR(static_cast<double>(out.size()), 16000.0, 60.0);
            const std::vector<float> samples = AsFloat(out);
            if (row.expectedAmplitude > 0.0) {
                EXPECT_NEAR(Amplitude(samples, 16000, row.hz), row.expectedAmplitude, 0.01);
            } else {
                // Sampled at 16000 Hz without the low-pass, it would come out at 16000 - hz.
                EXPECT_LT(Amplitude(samples, 16000, 16000.0 - row.hz), 0.5e-3);
            }
        }
    }

    // The way out: the whole block reaches the device, on every channel, at its level, with
    // the tail of the filter.
    TEST(StreamConverterTest, PlaybackGivesEveryChannelTheWholeBlock)
    {
        std::vector<std::int16_t> samples(16000);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<std::int16_t>(std::lround(16384.0
                * std::sin(2.0 * std::numbers::pi * 1336.0 * static_cast<double>(i) / 16000.0)));
        const DeviceStreamFormat device { 48000, 2, SampleEncoding::Float32 };
        const std::vector<std::uint8_t> frames = ToDeviceFrames(samples, 16000, device);
        ASSERT_EQ(frames.size() % 8, 0u);
        const std::size_t count = frames.size() / 8;
        EXPECT_NEAR(static_cast<double>(count), 48000.0, 3.0);
        std::vector<float> left(count);
        std::vector<float> right(count);
        for (std::size_t f = 0; f < count; ++f) {
            std::memcpy(&left[f], frames.data() + 8 * f, 4);
            std::memcpy(&right[f], frames.data() + 8 * f + 4, 4);
        }
        EXPECT_EQ(left, right);
        EXPECT_NEAR(Amplitude(left, 48000, 1336.0), 0.5, 0.01);
        // Nothing of the 16000 Hz sampling's images (16000 - 1336 Hz) is left.
        EXPECT_LT(Amplitude(left, 48000, 16000.0 - 1336.0), 0.5e-3);
    }

    TEST(StreamConverterTest, TheCaptureFormatPassesThroughUnchanged)
    {
        const std::vector<std::int16_t> samples { 0, 1, -1, 32767, -32768, 1234 };
        CaptureConverter converter({ 16000, 1, SampleEncoding::Int16 });
        std::vector<std::int16_t> out;
        converter.Convert(samples.data(), samples.size(), out);
        EXPECT_EQ(out, samples);
        EXPECT_EQ(ToDeviceFrames(samples, 16000, { 16000, 1, SampleEncoding::Int16 }).size(), 12u);
    }

} // namespace
} // namespace quelsor
