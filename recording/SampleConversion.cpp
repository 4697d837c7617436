#include "SampleConversion.h"

#include <cmath>

namespace quelsor {

void MixDown(const double* frames, std::size_t count, int channels, int channel, double* mono)
{
    const auto stride = static_cast<std::size_t>(channels);
    if (channel >= 1) {
        const auto pick = static_cast<std::size_t>(channel - 1);
        for (std::size_t i = 0; i < count; ++i)
            mono[i] = frames[i * stride + pick];
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        double sum = 0.0;
        for (std::size_t c = 0; c < stride; ++c)
            sum += frames[i * stride + c];
        mono[i] = sum / channels;
    }
}

std::size_t ToSixteenBit(const double* values, std::size_t count, std::int16_t* samples)
{
    std::size_t clipped = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double scaled = std::round(values[i] * 32768.0);
        if (scaled >= -32768.0 && scaled <= 32767.0) {
            samples[i] = static_cast<std::int16_t>(scaled);
            continue;
        }
        ++clipped;
        samples[i] = std::isnan(scaled) ? 0 : scaled < 0 ? -32768 : 32767;
    }
    return clipped;
}

} // namespace quelsor
