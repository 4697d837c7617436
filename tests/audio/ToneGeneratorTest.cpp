#include "ScratchFile.h"

#include "audio/CommandFile.h"
#include "audio/ToneGenerator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace quelsor {
namespace {

    std::vector<std::uint8_t> FileBytes(std::FILE* file)
    {
        std::fflush(file);
        std::fseek(file, 0, SEEK_END);
        const long end = std::ftell(file);
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(end));
        std::rewind(file);
        if (!bytes.empty()) {
            EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), file), bytes.size());
        }
        return bytes;
    }

    std::int16_t SampleAt(const std::vector<std::uint8_t>& bytes, std::size_t index)
    {
        return static_cast<std::int16_t>(bytes[2 * index] | (bytes[2 * index + 1] << 8));
    }

    int Term(double f, int n) // one tone at sample n (from 1), truncated toward zero
    {
        return static_cast<int>(std::sin(n * (3.141592653589793 / (8000.0 / f))) * 12000.0);
    }

    TEST(ToneGeneratorTest, SequenceSizes)
    {
        struct Row {
            const char* sequence;
            std::size_t bytes;
        };
        const Row rows[] = {
            { "", 0 }, { "1234", 4 * 9600 }, { " ", 4800 }, { "a", 4800 },
            { "1a#x", 9600 + 4800 + 9600 + 4800 }, { "123A456B789C*0#D", 16 * 9600 },
            // A character without tones counts once, however many bytes UTF-8 gives it.
            { "\xC3\xA9"
              "a1",
                (1 + 3) * 4800 }, // éa1: one valid key of three characters
            { "\xE2\x82\xAC"
              "1\xF0\x9F\x93\xBB",
                (1 + 3) * 4800 }, // €1 and a radio
            { "\xE9"
              "1\xC3",
                (1 + 3) * 4800 }, // not UTF-8: each stray byte is a character
        };
        for (const Row& row : rows) {
            testing::ScratchFile file("sizes.raw");
            ASSERT_NE(file.get(), nullptr);
            EXPECT_EQ(WriteDTMFSequence(row.sequence, file.get()), 0);
            EXPECT_EQ(FileBytes(file.get()).size(), row.bytes) << row.sequence;
            std::vector<std::int16_t> samples;
            AppendDtmfSequence(samples, row.sequence);
            EXPECT_EQ(samples.size() * 2, row.bytes) << row.sequence;
        }
    }

    TEST(ToneGeneratorTest, BurstsStartAtOneStepAndRestartTheirPhase)
    {
        testing::ScratchFile file("phases.raw");
        ASSERT_NE(file.get(), nullptr);
        WriteDTMFSequence("1 8", file.get());
        const std::vector<std::uint8_t> bytes = FileBytes(file.get());
        ASSERT_EQ(bytes.size(), 9600u + 4800u + 9600u);
        // "1": 697 + 1209 Hz; the low tone is computed first, each term truncated on its own.
        for (int n = 1; n <= 3; ++n)
            EXPECT_EQ(SampleAt(bytes, n - 1), Term(697, n) + Term(1209, n)) << n;
        EXPECT_EQ(SampleAt(bytes, 2399), Term(697, 2400) + Term(1209, 2400));
        for (std::size_t i = 2400; i < 7200; ++i)
            ASSERT_EQ(SampleAt(bytes, i), 0) << i;
        // "8": 852 + 1336 Hz, again from phase 0.
        EXPECT_EQ(SampleAt(bytes, 7200), Term(852, 1) + Term(1336, 1));
        EXPECT_EQ(SampleAt(bytes, 7201), Term(852, 2) + Term(1336, 2));

        std::vector<std::int16_t> samples;
        AppendDtmfSequence(samples, "1 8");
        for (std::size_t i = 0; i < samples.size(); ++i)
            ASSERT_EQ(samples[i], SampleAt(bytes, i)) << i;
    }

    TEST(ToneGeneratorTest, MuteAndDurations)
    {
        std::vector<std::int16_t> samples;
        AppendTone(samples, 150, true, 1209, 697);
        ASSERT_EQ(samples.size(), 2400u);
        for (std::int16_t s : samples)
            ASSERT_EQ(s, 0);
        std::int16_t peak = 0;
        samples.clear();
        AppendTone(samples, 1000, false, 1633, 941);
        for (std::int16_t s : samples)
            peak = std::max<std::int16_t>(peak, static_cast<std::int16_t>(std::abs(s)));
        EXPECT_GT(peak, 23000);
        EXPECT_LE(peak, 24000);
        EXPECT_EQ(SamplesForDuration(1), 16u);
        EXPECT_EQ(SamplesForDuration(0), 0u);
        EXPECT_EQ(SamplesForDuration(-5), 0u);
        EXPECT_EQ(SamplesForDuration(100000), 1600000u); // no 32-bit overflow

        testing::ScratchFile file("mute.raw");
        ASSERT_NE(file.get(), nullptr);
        EXPECT_EQ(WriteTone(150, file.get(), true, 1209, 697), 1);
        EXPECT_EQ(WriteSilence(150, file.get()), 1);
        EXPECT_EQ(WriteTone(0, file.get(), false, 1209, 697), 0);
        EXPECT_EQ(FileBytes(file.get()).size(), 9600u);
    }

    class CommandFileTest : public ::testing::Test {
    protected:
        std::string path = testing::ScratchPath("command_file.wav");
        void TearDown() override { std::remove(path.c_str()); }
    };

    TEST_F(CommandFileTest, FirstWordUpperCasedWithFinalHeader)
    {
        struct Row {
            const char* comboText;
            const char* sequence;
        };
        const Row rows[] = {
            { "123A Etat general", "123A" },
            { "12ab", "12AB" },
            { "", "" },
            { " 123", "" },
            { "9#*0", "9#*0" },
        };
        for (const Row& row : rows) {
            EXPECT_EQ(CommandSequenceOf(row.comboText), row.sequence);
            ASSERT_TRUE(WriteCommandFile(path, row.comboText)) << row.comboText;
            std::FILE* file = std::fopen(path.c_str(), "rb");
            ASSERT_NE(file, nullptr);
            const std::vector<std::uint8_t> bytes = FileBytes(file);
            std::fclose(file);
            std::vector<std::int16_t> expected;
            AppendDtmfSequence(expected, row.sequence);
            ASSERT_EQ(bytes.size(), 44 + expected.size() * 2) << row.comboText;
            const std::uint32_t dataSize
                = bytes[40] | (bytes[41] << 8) | (bytes[42] << 16) | (bytes[43] << 24);
            const std::uint32_t riffSize
                = bytes[4] | (bytes[5] << 8) | (bytes[6] << 16) | (bytes[7] << 24);
            EXPECT_EQ(dataSize, expected.size() * 2) << row.comboText;
            EXPECT_EQ(riffSize, dataSize + 36) << row.comboText;
            std::vector<std::int16_t> samples;
            for (std::size_t at = 44; at + 1 < bytes.size(); at += 2)
                samples.push_back(static_cast<std::int16_t>(bytes[at] | (bytes[at + 1] << 8)));
            EXPECT_EQ(samples, expected) << row.comboText;
        }
    }

    TEST_F(CommandFileTest, UnwritablePathFailsWithItsMessage)
    {
        const std::string bad = ::testing::TempDir() + "no/such/dir/tmp_dtmf.wav";
        EXPECT_FALSE(WriteCommandFile(bad, "123"));
        EXPECT_EQ(CommandFileOpenMessage("tmp_dtmf.wav"),
            "Creation/Ouverture du fichier tmp_dtmf.wav impossible. Abandon\n");
    }

} // namespace
} // namespace quelsor
