#include "audio/DetectorFeed.h"
#include "audio/DtmfDetector.h"
#include "audio/FilterBank.h"
#include "audio/ParallelFilterBank.h"
#include "audio/ToneGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace quelsor {
namespace {

    // Noise with a fixed seed, at a level that keeps the filters busy in every band.
    void AddNoise(std::vector<std::int16_t>& samples, int amplitude, unsigned seed)
    {
        std::mt19937 random(seed);
        std::uniform_int_distribution<int> noise(-amplitude, amplitude);
        for (std::int16_t& s : samples)
            s = static_cast<std::int16_t>(std::clamp(s + noise(random), -32768, 32767));
    }

    // Every event of the detector, in order, as text.
    class EventLog : public IDetectorHost {
    public:
        std::string log;
        int Threshold() const override { return 30; }
        void OnToneMask(std::int64_t block, std::uint8_t mask, const ToneIndicators& lit) override
        {
            log += 'M' + std::to_string(block) + ':' + std::to_string(mask) + ':';
            for (bool on : lit)
                log += on ? '1' : '0';
            log += '\n';
        }
        void OnCharacter(std::int64_t block, char c) override
        {
            log += 'C' + std::to_string(block) + c + '\n';
        }
        void OnAnswer(const std::string& text) override { log += 'A' + text + '\n'; }
        void OnCharacterDropped(std::int64_t block, char c) override
        {
            log += 'D' + std::to_string(block) + c + '\n';
        }
    };

    // The filters split over threads compute, block for block and filter for filter, what
    // BlockEnergies computes, and leave every filter's history where BlockEnergies leaves it,
    // from one run to the next: runs waited for one by one, and runs started back to back (more
    // than may be in flight at once) and waited for together.
    TEST(ParallelFilterBankTest, EnergiesAndHistoriesAreThoseOfOneThread)
    {
        constexpr std::size_t kBlocks = 2000;
        std::vector<std::int16_t> samples(kBlocks * kBlockSamples);
        AddNoise(samples, 20000, 11);
        const auto reference = NewDesignedFilterBank();
        std::vector<ToneEnergies> expected;
        for (std::size_t b = 0; b < kBlocks; ++b)
            expected.push_back(BlockEnergies(*reference, samples.data() + b * kBlockSamples));

        const std::vector<std::pair<std::size_t, std::size_t>> runs { { 0, 700 }, { 700, 1 },
            { 701, 299 }, { 1000, 600 }, { 1600, kBlocks - 1600 } };
        for (const int threads : { 1, 2, 3, 5, 8, 20 }) {
            for (const bool together : { false, true }) {
                const auto bank = NewDesignedFilterBank();
                ParallelFilterBank parallel(*bank, threads);
                EXPECT_EQ(parallel.Threads(), std::min(threads, 8));
                std::vector<std::vector<std::int32_t>> energies;
                for (const auto& [first, count] : runs) {
                    energies.emplace_back(kToneCount * count, -1);
                    const std::uint64_t run = parallel.Start(
                        samples.data() + first * kBlockSamples, count, energies.back().data());
                    EXPECT_EQ(run, energies.size() - 1);
                    if (!together)
                        parallel.WaitFor(run);
                }
                parallel.Wait();
                for (std::size_t r = 0; r < runs.size(); ++r) {
                    const auto& [first, count] = runs[r];
                    for (std::size_t b = 0; b < count; ++b)
                        for (std::size_t t = 0; t < kToneCount; ++t)
                            ASSERT_EQ(energies[r][t * count + b], expected[first + b][t])
                                << threads << " threads, block " << first + b << ", tone " << t
                                << (together ? ", runs started together" : "");
                }
                for (std::size_t t = 0; t < kToneCount; ++t) {
                    EXPECT_EQ(
                        std::memcmp((*bank)[t].yRing, (*reference)[t].yRing, sizeof(double) * 14),
                        0);
                    EXPECT_EQ((*bank)[t].historyPos, (*reference)[t].historyPos);
                }
            }
        }
    }

    // A long generated sequence of answers in noise, fed in pieces of any size on any number of
    // threads, gives the host exactly the events FeedRecording gives for the whole recording,
    // up to the samples short of a last whole block.
    TEST(RecordingFeedTest, SameEventsAsFeedRecording)
    {
        std::vector<std::int16_t> samples;
        std::mt19937 random(5);
        const std::string keys = "0123456789ABCD*#";
        for (int answer = 0; answer < 20; ++answer) {
            std::string text;
            for (int i = 0; i < 1 + answer % 7; ++i)
                text += keys[random() % keys.size()];
            AppendSilence(samples, 300 + static_cast<int>(random() % 700));
            AppendDtmfSequence(samples, text);
            AppendSilence(samples, 500);
            AppendTone(samples, 8, false, 1633, 941);
        }
        samples.resize(samples.size() + 1000 + 7); // ends inside a block
        AddNoise(samples, 3000, 3);

        EventLog expected;
        {
            const auto bank = NewDesignedFilterBank();
            DetectorState state;
            FeedRecording(state, *bank, expected, samples.data(), samples.size());
        }
        ASSERT_NE(expected.log.find("\nA"), std::string::npos) << "answers are closed";

        struct Row {
            int threads;
            std::size_t piece;
        };
        const Row rows[] = { { 1, samples.size() }, { 2, 1000 }, { 3, 7 }, { 8, 4096 },
            { 2, RecordingFeed::kFeedChunkSamples } };
        for (const Row& row : rows) {
            const auto bank = NewDesignedFilterBank();
            DetectorState state;
            EventLog heard;
            RecordingFeed feed(state, *bank, heard, row.threads);
            for (std::size_t at = 0; at < samples.size(); at += row.piece)
                feed.Feed(samples.data() + at, std::min(row.piece, samples.size() - at));
            feed.Finish();
            EXPECT_TRUE(heard.log == expected.log)
                << row.threads << " threads, pieces of " << row.piece;
            EXPECT_EQ(state.blockIndex, static_cast<std::int64_t>(samples.size() / kBlockSamples));
        }
    }

} // namespace
} // namespace quelsor
