// The reply a simulated remote device sends, through the real detector with noise: each text
// closes as one answer thanks to its short closing pair, and the pair never becomes a character.

#include "audio/DetectorFeed.h"
#include "audio/DtmfDetector.h"
#include "audio/FilterBank.h"
#include "audio/ToneGenerator.h"
#include "sim/ReplySignal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace quelsor {
namespace {

    // Records what the detector closes and every character it accepts.
    class ClosingHost : public IDetectorHost {
    public:
        int Threshold() const override { return 30; } // 200 - Seuil 170 of the sample file
        void OnToneMask(std::int64_t, std::uint8_t, const ToneIndicators&) override { }
        void OnCharacter(std::int64_t, char character) override { accepted += character; }
        void OnAnswer(const std::string& text) override { closed.push_back(text); }

        std::vector<std::string> closed;
        std::string accepted;
    };

    // Adds white Gaussian noise snrDb below the power of a full-level tone pair (two tones of
    // amplitude 12000 scaled by levelDb). Box-Muller over the engine's raw output, so the noise is
    // the same on every standard library.
    void AddNoise(std::vector<std::int16_t>& samples, double snrDb, double levelDb, unsigned seed)
    {
        std::mt19937 engine(seed);
        const double amplitude = kToneAmplitude * std::pow(10.0, levelDb / 20.0);
        const double signalPower = amplitude * amplitude; // two tones of power a²/2 each
        const double sigma = std::sqrt(signalPower / std::pow(10.0, snrDb / 10.0));
        constexpr double kTwoPi = 6.283185307179586;
        const auto uniform = [&] { return (static_cast<double>(engine()) + 1.0) / 4294967297.0; };
        for (std::int16_t& sample : samples) {
            const double gaussian
                = std::sqrt(-2.0 * std::log(uniform())) * std::cos(kTwoPi * uniform());
            const double noisy = static_cast<double>(sample) + sigma * gaussian;
            sample = static_cast<std::int16_t>(std::clamp(std::round(noisy), -32768.0, 32767.0));
        }
    }

    struct ReplyCase {
        const char* name;
        const char* command;
        const char* answer;
        bool echo;
        double levelDb;
        int closingPairMs;
        std::vector<std::string> closed; // what the requester's detector must close
    };

    class ClosingPairTest : public ::testing::TestWithParam<ReplyCase> { };

    TEST_P(ClosingPairTest, EveryTextClosesOnceAndThePairNeverBecomesACharacter)
    {
        const ReplyCase& reply = GetParam();
        std::string expectedCharacters;
        for (const std::string& text : reply.closed)
            expectedCharacters += text;
        const auto bank = NewDesignedFilterBank();
        for (unsigned seed = 1; seed <= 40; ++seed) {
            ReplyTiming timing;
            timing.closingPairMs = reply.closingPairMs;
            std::vector<std::int16_t> samples
                = BuildReply(reply.command, reply.answer, reply.echo, timing);
            ScaleLevel(samples, reply.levelDb);
            AppendSilence(samples, 200);
            AddNoise(samples, 25.0, reply.levelDb, seed);

            DetectorState state;
            ClosingHost host;
            FeedRecording(state, *bank, host, samples.data(), samples.size());
            EXPECT_EQ(host.closed, reply.closed) << "seed " << seed;
            EXPECT_EQ(host.accepted, expectedCharacters) << "seed " << seed;
            EXPECT_EQ(state.receivedText, "") << "seed " << seed;
        }
    }

    INSTANTIATE_TEST_SUITE_P(Replies, ClosingPairTest,
        ::testing::Values(
            ReplyCase { "AnswerOnly", "1234", "78D1CA1C#", false, 0.0, 8, { "78D1CA1C#" } },
            ReplyCase {
                "EchoThenAnswer", "1234", "78D1CA1C#", true, 0.0, 8, { "1234", "78D1CA1C#" } },
            ReplyCase {
                "TwentyDbLower", "1234", "78D1CA1C#", true, -20.0, 8, { "1234", "78D1CA1C#" } },
            ReplyCase {
                "EveryKey", "0", "0123456789ABCD*#", false, 0.0, 8, { "0123456789ABCD*#" } }),
        [](const ::testing::TestParamInfo<ReplyCase>& info) { return info.param.name; });

    TEST(ReplySignalTest, ScaleLevelRoundsAndClips)
    {
        std::vector<std::int16_t> samples { 1000, -1000, 32767, -32768, 0 };
        ScaleLevel(samples, -20.0);
        EXPECT_EQ(samples, (std::vector<std::int16_t> { 100, -100, 3277, -3277, 0 }));
        std::vector<std::int16_t> loud { 20000, -20000 };
        ScaleLevel(loud, 6.0);
        EXPECT_EQ(loud, (std::vector<std::int16_t> { 32767, -32768 }));
    }

} // namespace
} // namespace quelsor
