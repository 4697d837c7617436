#include "recording/SampleConversion.h"
#include "recording/RecordingTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace quelsor {
namespace {

    TEST(SampleConversionTest, ScalesRoundsAndClipsToSixteenBits)
    {
        struct Row {
            double value;
            std::int16_t sample;
            bool clipped;
        };
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const Row rows[] = {
            { 0.0, 0, false },
            { 0.5 / 32768, 1, false }, // halves away from zero
            { -0.5 / 32768, -1, false },
            { 0.49 / 32768, 0, false },
            { 1234.0 / 32768, 1234, false },
            { -1.0, -32768, false },
            { 32767.49 / 32768, 32767, false },
            { 1.0, 32767, true },
            { -1.5, -32768, true },
            { std::numeric_limits<double>::infinity(), 32767, true },
            { nan, 0, true },
        };
        for (const Row& row : rows) {
            std::int16_t sample = 99;
            EXPECT_EQ(ToSixteenBit(&row.value, 1, &sample), row.clipped ? 1u : 0u) << row.value;
            EXPECT_EQ(sample, row.sample) << row.value;
        }
    }

    TEST(SampleConversionTest, MixesDownByTheMeanOrPicksAChannel)
    {
        const std::vector<double> frames { 0.5, 0.25, -1.0, /**/ 0.1, 0.2, 0.3 };
        struct Row {
            int channel;
            std::vector<double> mono;
        };
        const Row rows[] = {
            { 0, { -0.25 / 3, 0.2 } },
            { 1, { 0.5, 0.1 } },
            { 3, { -1.0, 0.3 } },
        };
        for (const Row& row : rows) {
            std::vector<double> mono(2);
            MixDown(frames.data(), 2, 3, row.channel, mono.data());
            for (std::size_t i = 0; i < mono.size(); ++i)
                EXPECT_DOUBLE_EQ(mono[i], row.mono[i]) << row.channel;
        }
    }

    TEST(RecordingTimeTest, HoursMinutesSecondsMilliseconds)
    {
        struct Row {
            std::int64_t milliseconds;
            const char* text;
        };
        const Row rows[] = {
            { 0, "00:00:00.000" },
            { 4317, "00:00:04.317" },
            { 3723004, "01:02:03.004" },
            { 86399999, "23:59:59.999" },
            { 360000000, "100:00:00.000" },
            { -5, "00:00:00.000" },
        };
        for (const Row& row : rows)
            EXPECT_EQ(RecordingTimeText(row.milliseconds), row.text);
    }

} // namespace
} // namespace quelsor
