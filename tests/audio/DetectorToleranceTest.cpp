// How far the DTMF detector follows tones that are off their nominal frequency or unequal in
// level (twist). The rows pin what the detector does today, misses and split answers included,
// so that any change of its filters or of its decision rules shows here first.

#include "FakeDetectorHost.h"

#include "audio/DetectorFeed.h"
#include "audio/DtmfDetector.h"
#include "audio/ToneGenerator.h"
#include "common/DtmfTones.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace quelsor {
namespace {

    // Every keypad character once, so that every tone of both groups is tried.
    const std::string kKeypad = "123A456B789C*0#D";
    // The sample file's threshold (Seuil=170).
    constexpr int kThreshold = 30;

    struct ToneShape {
        double lowOffset = 0.0; // percent added to the frequency of each low-group tone
        double highOffset = 0.0; // percent added to the frequency of each high-group tone
        double twistDb = 0.0; // level of the high-group tone over the low-group one
    };

    // text as a device would send it (150 ms pairs, 150 ms gaps) with its tones shaped, then the
    // closing silence and a short nominal pair that closes the answer. The louder tone of a pair
    // has the generator's amplitude.
    std::vector<std::int16_t> ShapedAnswer(const std::string& text, const ToneShape& shape)
    {
        const double twist = std::pow(10.0, -std::fabs(shape.twistDb) / 20.0);
        const double lowGain = shape.twistDb > 0 ? twist : 1.0;
        const double highGain = shape.twistDb < 0 ? twist : 1.0;
        std::vector<std::int16_t> samples;
        AppendSilence(samples, 20);
        for (const char key : text) {
            const ToneIndexPair tones = *TonesOfKey(key);
            const double low = kToneFrequencies[static_cast<std::size_t>(tones.low)]
                * (1.0 + shape.lowOffset / 100.0);
            const double high = kToneFrequencies[static_cast<std::size_t>(tones.high)]
                * (1.0 + shape.highOffset / 100.0);
            for (std::size_t n = 1; n <= SamplesForDuration(kToneDurationMs); ++n) {
                const double t = 2.0 * std::numbers::pi * static_cast<double>(n) / 16000.0;
                samples.push_back(static_cast<std::int16_t>(kToneAmplitude
                    * (lowGain * std::sin(low * t) + highGain * std::sin(high * t))));
            }
            AppendSilence(samples, kGapDurationMs);
        }
        AppendSilence(samples, 500);
        AppendTone(samples, 20, false, 1633, 941);
        AppendSilence(samples, 50);
        return samples;
    }

    // The answers the detector closes, in order, then what it still holds ("" when nothing).
    std::vector<std::string> Heard(const std::vector<std::int16_t>& samples)
    {
        auto bank = NewDesignedFilterBank();
        DetectorState state;
        testing::FakeDetectorHost host;
        host.threshold = kThreshold;
        FeedRecording(state, *bank, host, samples.data(), samples.size());
        std::vector<std::string> heard = host.decoded;
        if (!state.receivedText.empty())
            heard.push_back(state.receivedText);
        return heard;
    }

    struct ToleranceRow {
        ToneShape shape;
        std::vector<std::string> heard;
    };

    void CheckRows(const std::vector<ToleranceRow>& rows)
    {
        for (const ToleranceRow& row : rows) {
            EXPECT_EQ(Heard(ShapedAnswer(kKeypad, row.shape)), row.heard)
                << "low " << row.shape.lowOffset << " %, high " << row.shape.highOffset
                << " %, twist " << row.shape.twistDb << " dB";
        }
    }

    TEST(DetectorTolerance, BothTonesOffTheirFrequency)
    {
        // Within ±2.5 % every character comes through; past it the filters lose one tone or
        // the other, and missed characters leave silences long enough to close the answer: at
        // +3.5 % it splits in three.
        const std::vector<std::string> all { kKeypad };
        CheckRows({
            { { -4.0, -4.0 }, { "123A" } },
            { { -3.5, -3.5 }, { "123A", "*" } },
            { { -3.0, -3.0 }, { "123A4", "789*0#D" } },
            { { -2.5, -2.5 }, all },
            { { -2.0, -2.0 }, all },
            { { -1.5, -1.5 }, all },
            { { -1.0, -1.0 }, all },
            { { -0.5, -0.5 }, all },
            { { 0.0, 0.0 }, all },
            { { 0.5, 0.5 }, all },
            { { 1.0, 1.0 }, all },
            { { 1.5, 1.5 }, all },
            { { 2.0, 2.0 }, all },
            { { 2.5, 2.5 }, all },
            { { 3.0, 3.0 }, { "123456B789C*0#D" } },
            { { 3.5, 3.5 }, { "45", "789", "*0#D" } },
            { { 4.0, 4.0 }, { "*0#D" } },
        });
    }

    TEST(DetectorTolerance, OneToneOffItsFrequency)
    {
        // A single tone off frequency still ranks among the two strongest: only the high group
        // at ±4 % loses characters.
        const std::vector<std::string> all { kKeypad };
        CheckRows({
            { { -4.0, 0.0 }, all },
            { { 4.0, 0.0 }, all },
            { { 0.0, -3.5 }, all },
            { { 0.0, 3.5 }, all },
            { { 0.0, -4.0 }, { "12345", "789*0#D" } },
            { { 0.0, 4.0 }, { "12345", "789C*0#D" } },
        });
    }

    TEST(DetectorTolerance, TwistAloneAndWithAnOffset)
    {
        // ±12 dB of twist costs nothing on frequency; off frequency, the louder group decides
        // which characters survive.
        const std::vector<std::string> all { kKeypad };
        CheckRows({
            { { 0.0, 0.0, -12.0 }, all },
            { { 0.0, 0.0, -6.0 }, all },
            { { 0.0, 0.0, 6.0 }, all },
            { { 0.0, 0.0, 12.0 }, all },
            { { -3.0, -3.0, -12.0 }, { "123A" } },
            { { -3.0, -3.0, -6.0 }, { "123A", "*" } },
            { { -3.0, -3.0, 6.0 }, all },
            { { -3.0, -3.0, 12.0 }, all },
            { { 3.0, 3.0, -12.0 }, { "*0#D" } },
            { { 3.0, 3.0, -6.0 }, { "4", "789", "*0#D" } },
            { { 3.0, 3.0, 6.0 }, all },
            { { 3.0, 3.0, 12.0 }, all },
        });
    }

} // namespace
} // namespace quelsor
