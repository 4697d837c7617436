#include "FakeDetectorHost.h"
#include "ScratchFile.h"

#include "audio/DetectorFeed.h"
#include "audio/DtmfDetector.h"
#include "audio/FilterBank.h"
#include "audio/ToneGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace quelsor {
namespace {

    using testing::FakeDetectorHost;

    TEST(ToneMaskToCharTest, KeypadMasksAndEverythingElse)
    {
        const struct {
            unsigned mask;
            char character;
        } rows[] = {
            { 0x88, '1' },
            { 0x84, '2' },
            { 0x82, '3' },
            { 0x81, 'A' },
            { 0x48, '4' },
            { 0x44, '5' },
            { 0x42, '6' },
            { 0x41, 'B' },
            { 0x28, '7' },
            { 0x24, '8' },
            { 0x22, '9' },
            { 0x21, 'C' },
            { 0x18, '*' },
            { 0x14, '0' },
            { 0x12, '#' },
            { 0x11, 'D' },
            { 0x00, '?' },
            { 0x80, '?' },
            { 0x08, '?' },
            { 0xC8, '?' },
            { 0x8C, '?' },
            { 0xFF, '?' },
            { 0x188, '?' },
        };
        for (const auto& row : rows)
            EXPECT_EQ(ToneMaskToChar(row.mask), row.character) << std::hex << row.mask;
    }

    TEST(ClassifyBlockTest, PresenceIndicatorsAndPairRule)
    {
        struct Row {
            const char* name;
            ToneEnergies energy;
            int threshold;
            unsigned mask;
            unsigned indicators; // bit 7 = tone 0, as the mask
        };
        const Row rows[] = {
            { "clean pair", { 100, 5, 5, 5, 100, 5, 5, 5 }, 0, 0x88, 0x88 },
            { "unequal pair", { 5, 5, 5, 90, 5, 5, 5, 60 }, 0, 0x11, 0x11 },
            { "same group", { 100, 100, 5, 5, 5, 5, 5, 5 }, 0, 0x00, 0xC0 },
            { "all equal", { 50, 50, 50, 50, 50, 50, 50, 50 }, 0, 0x00, 0x00 },
            { "third at 1.5", { 100, 0, 20, 0, 30, 0, 0, 0 }, 0, 0x00, 0x00 },
            { "present, indicator black", { 100, 0, 19, 0, 30, 0, 0, 0 }, 0, 0x88, 0x00 },
            { "factor 2 reached", { 100, 0, 14, 0, 30, 0, 0, 0 }, 0, 0x88, 0x88 },
            { "third exactly half", { 100, 0, 15, 0, 30, 0, 0, 0 }, 0, 0x88, 0x00 },
            { "at threshold", { 10, 0, 0, 0, 40, 0, 0, 0 }, 10, 0x00, 0x08 },
            { "above threshold", { 11, 0, 0, 0, 40, 0, 0, 0 }, 10, 0x88, 0x88 },
            { "threshold 0, energy 1", { 1, 0, 0, 0, 1, 0, 0, 0 }, 0, 0x88, 0x88 },
            { "silence", { 0, 0, 0, 0, 0, 0, 0, 0 }, 0, 0x00, 0x00 },
            { "three-way tie", { 100, 0, 0, 0, 100, 100, 0, 0 }, 0, 0x00, 0x00 },
            { "huge energies", { 2147483647, 0, 0, 2000000000, 2147483647, 0, 0, 0 }, 0, 0x00,
                0x00 },
            { "huge pair", { 2147483647, 0, 0, 0, 2147483647, 0, 0, 1000000000 }, 0, 0x88, 0x88 },
        };
        for (const Row& row : rows) {
            const BlockDecision d = ClassifyBlock(row.energy, row.threshold);
            EXPECT_EQ(d.toneMask, row.mask) << row.name;
            unsigned lit = 0;
            for (int t = 0; t < 8; ++t)
                lit |= d.indicators[static_cast<std::size_t>(t)] ? (0x80u >> t) : 0u;
            EXPECT_EQ(lit, row.indicators) << row.name;
        }
    }

    // The same rules, ranked by sorting, on random energies from a narrow range (so that ties
    // are common) and from the whole range.
    TEST(ClassifyBlockTest, RandomEnergiesFollowTheRankingBySort)
    {
        std::mt19937 random(17);
        for (const std::int32_t top : { 12, 2147483647 }) {
            std::uniform_int_distribution<std::int32_t> energyOf(0, top);
            for (int n = 0; n < 20000; ++n) {
                ToneEnergies energy;
                for (std::int32_t& e : energy)
                    e = energyOf(random);
                const int threshold = n % 3 == 0 ? 0 : energyOf(random);
                std::vector<std::int64_t> ranked(energy.begin(), energy.end());
                std::sort(ranked.rbegin(), ranked.rend());
                const std::int64_t second = ranked[1];
                const std::int64_t third = ranked[2];
                unsigned mask = 0;
                unsigned lit = 0;
                int low = 0;
                int high = 0;
                for (int t = 0; t < 8; ++t) {
                    const std::int32_t e = energy[static_cast<std::size_t>(t)];
                    const bool strong = e > threshold && e >= second;
                    if (strong && third + third / 2 < second) {
                        mask |= 0x80u >> t;
                        ++(t < 4 ? low : high);
                    }
                    if (strong && 2 * third < second)
                        lit |= 0x80u >> t;
                }
                const BlockDecision d = ClassifyBlock(energy, threshold);
                ASSERT_EQ(d.toneMask, low == 1 && high == 1 ? mask : 0u) << n;
                unsigned got = 0;
                for (int t = 0; t < 8; ++t)
                    got |= d.indicators[static_cast<std::size_t>(t)] ? (0x80u >> t) : 0u;
                ASSERT_EQ(got, lit) << n;
            }
        }
    }

    // The block loop runs the filters on delay lines of its own: its energies, and the delay
    // lines it leaves in each filter, are those of FilterSample called sample by sample, over
    // runs of one block and of many, from any position of the filters' rings.
    TEST(FilterEnergiesTest, SameAsFilterSampleSampleBySample)
    {
        constexpr std::size_t kBlocks = 300;
        std::vector<std::int16_t> samples(kBlocks * kBlockSamples);
        std::mt19937 random(7);
        std::uniform_int_distribution<int> noise(-20000, 20000);
        for (std::int16_t& s : samples)
            s = static_cast<std::int16_t>(noise(random));
        const auto byBlock = NewDesignedFilterBank();
        const auto bySample = NewDesignedFilterBank();
        for (std::size_t t = 0; t < kToneCount; ++t) {
            for (std::size_t n = 0; n < t; ++n) {
                (*byBlock)[t].FilterSample(900.0 * n);
                (*bySample)[t].FilterSample(900.0 * n);
            }
        }
        std::size_t b = 0;
        for (const std::size_t run : { 1, 1, 5, 64, 229 }) {
            std::vector<std::int32_t> energies(kToneCount * run);
            FilterEnergies(byBlock->data(), kToneCount, samples.data() + b * kBlockSamples, run,
                energies.data(), run);
            for (std::size_t r = 0; r < run; ++r, ++b) {
                for (std::size_t t = 0; t < kToneCount; ++t) {
                    std::int64_t sum = 0;
                    for (std::size_t i = 0; i < kBlockSamples; ++i) {
                        const double y
                            = (*bySample)[t].FilterSample(samples[b * kBlockSamples + i]);
                        sum += static_cast<std::int32_t>(std::fabs(y));
                    }
                    ASSERT_EQ(energies[t * run + r], sum / kBlockSamples)
                        << "block " << b << ", tone " << t;
                }
            }
            for (std::size_t t = 0; t < kToneCount; ++t) {
                const BandPassFilter& one = (*byBlock)[t];
                const BandPassFilter& other = (*bySample)[t];
                EXPECT_EQ(one.historyPos, other.historyPos) << "tone " << t;
                EXPECT_EQ(std::memcmp(one.xRing, other.xRing, sizeof one.xRing), 0) << t;
                EXPECT_EQ(std::memcmp(one.yRing, other.yRing, sizeof one.yRing), 0) << t;
            }
        }
    }

    // Drives the block state machine with exact masks.
    class MaskScript {
    public:
        MaskScript& Silence(int blocks) { return Repeat(0, blocks); }
        MaskScript& Pair(std::uint8_t mask, int blocks) { return Repeat(mask, blocks); }
        DetectorState state;
        FakeDetectorHost host;

    private:
        MaskScript& Repeat(std::uint8_t mask, int blocks)
        {
            for (int i = 0; i < blocks; ++i)
                AdvanceDetector(state, host, mask);
            return *this;
        }
    };

    TEST(DetectorStateMachineTest, HoldNeeds42Blocks)
    {
        for (const auto& [held, expected] : { std::pair { 41, "" }, std::pair { 42, "5" } }) {
            MaskScript s;
            s.Silence(20).Pair(0x44, held).Silence(5);
            EXPECT_EQ(s.state.receivedText, expected) << held;
            EXPECT_EQ(s.host.view, expected) << held;
            if (held == 42) {
                ASSERT_EQ(s.host.accepted.size(), 1u);
                EXPECT_EQ(s.host.accepted[0].first, 20 + 42); // the first silent block
            }
            EXPECT_TRUE(s.host.dropped.empty());
        }
    }

    TEST(DetectorStateMachineTest, GapBeforeFirstCharacter)
    {
        // The empty block ending the burst makes the eleventh.
        for (const auto& [before, expected] : { std::pair { 9, "" }, std::pair { 10, "1" } }) {
            MaskScript s;
            s.Silence(before).Pair(0x88, 60).Silence(1);
            EXPECT_EQ(s.state.receivedText, expected) << before;
            EXPECT_EQ(s.host.dropped.size(), before == 9 ? 1u : 0u);
        }
    }

    TEST(DetectorStateMachineTest, GapBetweenCharacters)
    {
        // The gap counts from the block at which the first character is accepted.
        for (const auto& [gap, expected] : { std::pair { 10, "1" }, std::pair { 11, "12" } }) {
            MaskScript s;
            s.Silence(30).Pair(0x88, 60).Silence(gap).Pair(0x84, 60).Silence(1);
            EXPECT_EQ(s.state.receivedText, expected) << gap;
        }
    }

    TEST(DetectorStateMachineTest, BackToBackPairsDropTheSecond)
    {
        MaskScript s;
        s.Silence(30).Pair(0x88, 60).Pair(0x84, 60).Silence(30);
        EXPECT_EQ(s.state.receivedText, "1");
        ASSERT_EQ(s.host.dropped.size(), 1u);
        EXPECT_EQ(s.host.dropped[0].second, '2');
        EXPECT_EQ(s.host.dropped[0].first, 30 + 120);
    }

    TEST(DetectorStateMachineTest, EndOfAnswerAfter452EmptyBlocks)
    {
        // Empty blocks after the last character, counting the block at which it was accepted.
        for (int silence : { 451, 452 }) {
            MaskScript s;
            s.Silence(30).Pair(0x88, 60).Silence(silence).Pair(0x84, 60).Silence(20);
            if (silence == 451) {
                EXPECT_TRUE(s.host.decoded.empty());
                EXPECT_EQ(s.state.receivedText, "12");
                EXPECT_EQ(s.host.view, "12");
            } else {
                EXPECT_EQ(s.host.decoded, std::vector<std::string> { "1" });
                EXPECT_EQ(s.state.receivedText, "2");
                EXPECT_EQ(s.host.view, "2"); // replaced, not appended
                EXPECT_FALSE(s.host.clearPending);
            }
        }
    }

    TEST(DetectorStateMachineTest, ClosedAnswerIsLoggedWithItsLength)
    {
        MaskScript s;
        s.Silence(30);
        for (std::uint8_t mask : { 0x88, 0x84, 0x82, 0x48 })
            s.Pair(mask, 50).Silence(20);
        s.Silence(100000); // endless clean silence closes nothing
        EXPECT_TRUE(s.host.decoded.empty());
        EXPECT_EQ(s.host.view, "1234");
        s.Pair(0x88, 1); // any change of mask after the silence closes it
        EXPECT_EQ(s.host.decoded, std::vector<std::string> { "1234" });
        EXPECT_TRUE(s.state.receivedText.empty());
        EXPECT_TRUE(s.host.clearPending);
        EXPECT_EQ(s.host.view, "1234"); // kept until the next character
        s.Silence(600).Pair(0x12, 50).Silence(1);
        EXPECT_EQ(s.host.decoded.size(), 1u); // nothing to close: the text was empty
        EXPECT_EQ(s.host.view, "#");
    }

    TEST(DetectorStateMachineTest, CountersSaturateInsteadOfOverflowing)
    {
        MaskScript s;
        s.state.stableCount = 2147483646;
        s.state.silenceCount = 2147483646;
        s.Silence(3);
        EXPECT_EQ(s.state.stableCount, 2147483647);
        EXPECT_EQ(s.state.silenceCount, 2147483647);
    }

    // Generated audio through the real filters.
    std::vector<std::int16_t> Tone(char key, int ms)
    {
        std::vector<std::int16_t> samples;
        const auto tones = TonesOfKey(key);
        AppendTone(samples, ms, false, kToneFrequencies[static_cast<std::size_t>(tones->high)],
            kToneFrequencies[static_cast<std::size_t>(tones->low)]);
        return samples;
    }

    void Append(std::vector<std::int16_t>& to, const std::vector<std::int16_t>& what)
    {
        to.insert(to.end(), what.begin(), what.end());
    }

    class DetectDtmfTest : public ::testing::Test {
    protected:
        std::unique_ptr<FilterBank> bank = NewDesignedFilterBank();
        DetectorState state;
        FakeDetectorHost host;

        void Feed(const std::vector<std::int16_t>& samples)
        {
            FeedRecording(state, *bank, host, samples.data(), samples.size());
        }
    };

    TEST_F(DetectDtmfTest, ShortAndPartialCallsAnalyseOnlyWholeBlocks)
    {
        const std::vector<std::int16_t> tone = Tone('5', 10);
        DetectDTMF(state, *bank, host, tone.data(), 15);
        DetectDTMF(state, *bank, host, tone.data(), 0);
        DetectDTMF(state, *bank, host, tone.data(), -16);
        DetectDTMF(state, *bank, host, nullptr, 64);
        EXPECT_EQ(state.blockIndex, 0);
        EXPECT_EQ(host.toneMaskEvents, 0);
        for (const BandPassFilter& f : *bank)
            EXPECT_EQ(f.YHistory(6), 0.0);

        auto reference = NewDesignedFilterBank();
        DetectorState referenceState;
        FakeDetectorHost referenceHost;
        DetectDTMF(state, *bank, host, tone.data(), 16 * 5 + 7);
        DetectDTMF(referenceState, *reference, referenceHost, tone.data(), 16 * 5);
        EXPECT_EQ(state.blockIndex, 5);
        for (std::size_t t = 0; t < 8; ++t)
            EXPECT_EQ((*bank)[t].YHistory(6), (*reference)[t].YHistory(6));
        EXPECT_EQ(host.toneMaskEvents, 5); // one per block
        EXPECT_EQ(host.thresholdReads, 5); // once per call, whatever its length
    }

    TEST_F(DetectDtmfTest, SteadyPairLightsItsTwoIndicators)
    {
        std::vector<std::int16_t> samples(16 * 20, 0);
        Append(samples, Tone('9', 100));
        Feed(samples);
        const ToneIndicators expected { false, false, true, false, false, false, true, false };
        EXPECT_EQ(host.indicators, expected);
        EXPECT_EQ(state.prevToneMask, 0x22);
        EXPECT_GT(state.stableCount, 40);
    }

    TEST_F(DetectDtmfTest, ThresholdAboveTheEnergiesHearsNothing)
    {
        host.threshold = 180;
        std::vector<std::int16_t> samples;
        AppendTone(samples, 150, false, 1336, 770); // "5", scaled below to energies of about 64
        for (std::int16_t& s : samples)
            s = static_cast<std::int16_t>(s / 120);
        samples.resize(samples.size() + 16 * 30, 0);
        Feed(samples);
        EXPECT_TRUE(state.receivedText.empty());
        EXPECT_EQ(state.prevToneMask, 0);
    }

    // The closing silence (> 452 ms) and a short pair whose mask change closes the answer.
    void AppendClosing(std::vector<std::int16_t>& samples)
    {
        AppendSilence(samples, 500);
        Append(samples, Tone('D', 20));
        AppendSilence(samples, 50);
    }

    std::string RoundTrip(const std::string& sequence)
    {
        testing::ScratchFile scratch("round_trip.raw");
        std::FILE* file = scratch.get();
        EXPECT_NE(file, nullptr);
        WriteDTMFSequence(sequence, file);
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::ftell(file)));
        std::rewind(file);
        EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), file), bytes.size());
        // A device answers after a pause: a fresh detector drops a first burst that is not
        // preceded by more than 10 ms of silence.
        std::vector<std::int16_t> samples;
        AppendSilence(samples, 20);
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            samples.push_back(static_cast<std::int16_t>(bytes[i] | (bytes[i + 1] << 8)));
        AppendClosing(samples);

        auto bank = NewDesignedFilterBank();
        DetectorState state;
        FakeDetectorHost host;
        FeedRecording(state, *bank, host, samples.data(), samples.size());
        EXPECT_EQ(host.decoded.size(), 1u) << sequence;
        EXPECT_TRUE(host.dropped.empty()) << sequence;
        return host.decoded.empty() ? std::string() : host.decoded[0];
    }

    TEST(GeneratorToDetectorTest, EveryKeypadCharacterComesBack)
    {
        for (char key : std::string("123A456B789C*0#D"))
            EXPECT_EQ(RoundTrip(std::string(1, key)), std::string(1, key));
        EXPECT_EQ(RoundTrip("123A456B789C*0#D"), "123A456B789C*0#D");
    }

    TEST(GeneratorToDetectorTest, RandomSequenceComesBack)
    {
        const std::string keys = "123A456B789C*0#D";
        std::mt19937 random(20240611u);
        std::string sequence;
        for (int i = 0; i < 40; ++i)
            sequence += keys[random() % keys.size()];
        EXPECT_EQ(RoundTrip(sequence), sequence);
    }

    TEST(GeneratorToDetectorTest, DecodingUnderNoiseStaysInBand)
    {
        // White noise of the given deviation (clipped to 16 bits) over a sequence of 12000 +
        // 12000 tone pairs, threshold 40: count the characters decoded in place over four seeds
        // and keep the count in a band, so that regressions in either direction show.
        struct Row {
            double sigma;
            int low;
            int high;
        };
        const std::string sequence = "159D*0#A";
        for (const Row& row : { Row { 20000.0, 32, 32 }, Row { 30000.0, 20, 30 } }) {
            int correct = 0;
            for (unsigned seed = 1; seed <= 4; ++seed) {
                std::vector<std::int16_t> samples;
                AppendSilence(samples, 40);
                AppendDtmfSequence(samples, sequence);
                AppendClosing(samples);
                std::mt19937 random(seed);
                std::normal_distribution<double> noise(0.0, row.sigma);
                for (std::int16_t& s : samples) {
                    const int noisy = s + static_cast<int>(noise(random));
                    s = static_cast<std::int16_t>(std::clamp(noisy, -32768, 32767));
                }
                auto bank = NewDesignedFilterBank();
                DetectorState state;
                FakeDetectorHost host;
                host.threshold = 40;
                FeedRecording(state, *bank, host, samples.data(), samples.size());
                const std::string got = host.decoded.empty() ? state.receivedText : host.decoded[0];
                for (std::size_t i = 0; i < sequence.size() && i < got.size(); ++i)
                    correct += got[i] == sequence[i];
            }
            EXPECT_GE(correct, row.low) << row.sigma;
            EXPECT_LE(correct, row.high) << row.sigma;
        }
    }

} // namespace
} // namespace quelsor
