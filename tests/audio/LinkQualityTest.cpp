// The link quality the detector measures beside its decisions: an answer played at a known level
// over a link with a known noise, its level over the threshold and its signal-to-noise ratio.

#include "FakeDetectorHost.h"

#include "audio/DtmfDetector.h"
#include "audio/ToneGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <vector>

namespace quelsor {
namespace {

    // Keeps each quality with the answer it came before.
    class QualityHost : public testing::FakeDetectorHost {
    public:
        std::optional<AnswerQuality> pending;
        std::vector<std::pair<std::string, AnswerQuality>> answers;
        void OnAnswerQuality(const AnswerQuality& quality) override { pending = quality; }
        void OnAnswer(const std::string& text) override
        {
            ASSERT_TRUE(pending.has_value()) << "no quality before " << text;
            answers.emplace_back(text, *pending);
            pending.reset();
            FakeDetectorHost::OnAnswer(text);
        }
    };

    // text at levelDb below the generator's level, closed by a silence and a short pair, with
    // Gaussian noise of standard deviation sigma (sample units) over all of it.
    std::vector<std::int16_t> Answer(const std::string& text, double levelDb, double sigma)
    {
        std::vector<std::int16_t> tones;
        AppendSilence(tones, 100);
        AppendDtmfSequence(tones, text);
        AppendSilence(tones, 500);
        AppendTone(tones, 8, false, 1633.0, 941.0); // D: a change of mask that closes the answer
        AppendSilence(tones, 50);
        std::mt19937 random(7);
        std::normal_distribution<double> noise(0.0, sigma);
        const double gain = std::pow(10.0, levelDb / 20.0);
        for (std::int16_t& sample : tones) {
            const double value = sample * gain + (sigma > 0 ? noise(random) : 0.0);
            sample = static_cast<std::int16_t>(std::clamp(std::round(value), -32768.0, 32767.0));
        }
        return tones;
    }

    TEST(LinkQuality, LevelAndSignalToNoiseOfAnAnswer)
    {
        const struct {
            const char* what;
            std::string text;
            double levelDb;
            double sigma;
            double minLevelDb, maxLevelDb; // over the threshold of 30
            double minSnr, maxSnr;
            bool noiseMeasured;
        } rows[] = {
            { "clean link: the floor is 1", "78D1", 0, 0, 40, 48, 70, 78, true },
            { "noise 35 dB under the tones", "78D1", 0, 300, 40, 48, 44, 54, true },
            { "the same answer 20 dB weaker", "78D1", -20, 300, 22, 30, 24, 34, true },
            { "a single character has no gap: the floor is 1", "5", 0, 300, 40, 48, 70, 78, false },
        };
        for (const auto& row : rows) {
            const std::vector<std::int16_t> samples = Answer(row.text, row.levelDb, row.sigma);
            DetectorState state;
            const auto bank = NewDesignedFilterBank();
            QualityHost host;
            host.threshold = 30;
            DetectDTMF(state, *bank, host, samples.data(), static_cast<int>(samples.size()));
            ASSERT_EQ(host.answers.size(), 1u) << row.what;
            EXPECT_EQ(host.answers[0].first, row.text) << row.what;
            const AnswerQuality& quality = host.answers[0].second;
            EXPECT_EQ(quality.threshold, 30);
            EXPECT_GT(quality.toneBlocks, 42 * static_cast<std::int64_t>(row.text.size()));
            EXPECT_EQ(quality.noiseBlocks > 0, row.noiseMeasured) << row.what;
            EXPECT_GE(quality.LevelDb(), row.minLevelDb) << row.what;
            EXPECT_LE(quality.LevelDb(), row.maxLevelDb) << row.what;
            EXPECT_GE(quality.SnrDb(), row.minSnr) << row.what << " noise " << quality.noise;
            EXPECT_LE(quality.SnrDb(), row.maxSnr) << row.what << " noise " << quality.noise;
        }
    }

    TEST(LinkQuality, OneDecimalWhateverTheLocale)
    {
        EXPECT_EQ(OneDecimal(48.04), "48.0");
        EXPECT_EQ(OneDecimal(-6.02), "-6.0");
        EXPECT_EQ(OneDecimal(-0.04), "0.0");
        EXPECT_EQ(OneDecimal(5012.36), "5012.4");
    }

} // namespace
} // namespace quelsor
