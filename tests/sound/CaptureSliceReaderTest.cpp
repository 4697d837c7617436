#include "sound/CaptureSliceReader.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace quelsor {
namespace {

    // Writes `count` samples numbered from `first`, so each region tells where it came from.
    void WriteRamp(CaptureBuffer& buffer, int first, int count)
    {
        std::vector<std::int16_t> samples(static_cast<std::size_t>(count));
        std::iota(samples.begin(), samples.end(), static_cast<std::int16_t>(first));
        buffer.Write(samples.data(), samples.size() * 2);
    }

    struct Region {
        std::int16_t firstSample;
        std::uint32_t bytes;
        bool operator==(const Region&) const = default;
    };

    TEST(CaptureSliceReaderTest, WholeSlicesFromWhereReadingStarted)
    {
        struct Row {
            const char* name;
            std::uint32_t start; // bytes already captured, and where reading starts
            int samples; // then captured, numbered from 1000
            bool stopAfterFirst; // the handler asks to stop after the first region
            CaptureSliceReader::Result result;
            std::vector<Region> regions;
            std::uint32_t offsetAfter;
            int unlocks;
        };
        using R = CaptureSliceReader::Result;
        const Row rows[] = {
            { "less than a slice", 0, 511, false, R::Nothing, {}, 0, 0 },
            { "one slice, the rest waits", 0, 700, false, R::Read, { { 1000, 1024 } }, 1024, 1 },
            { "mid-buffer start", 4096, 1024, false, R::Read, { { 1000, 2048 } }, 6144, 1 },
            { "wrap: tail then head", 30720, 2048, false, R::Read,
                { { 1000, 2048 }, { 2024, 2048 } }, 2048, 1 },
            { "stop after the tail", 30720, 2048, true, R::Read, { { 1000, 2048 } }, 0, 0 },
        };
        for (const Row& row : rows) {
            CaptureBuffer buffer;
            const std::vector<std::uint8_t> earlier(row.start, 0);
            buffer.Write(earlier.data(), earlier.size());
            CaptureSliceReader reader(row.start);
            WriteRamp(buffer, 1000, row.samples);
            std::vector<Region> regions;
            const auto result
                = reader.Read(buffer, [&](const std::int16_t* samples, std::uint32_t bytes) {
                      regions.push_back({ samples[0], bytes });
                      return !row.stopAfterFirst;
                  });
            EXPECT_EQ(result, row.result) << row.name;
            EXPECT_EQ(regions, row.regions) << row.name;
            EXPECT_EQ(reader.Offset(), row.offsetAfter) << row.name;
            EXPECT_EQ(buffer.UnlockCount(), row.unlocks) << row.name;
        }
    }

    TEST(CaptureSliceReaderTest, LostDeviceFailsTheRead)
    {
        CaptureBuffer buffer;
        WriteRamp(buffer, 0, 512);
        buffer.MarkDeviceLost();
        CaptureSliceReader reader;
        int calls = 0;
        EXPECT_EQ(reader.Read(buffer,
                      [&](const std::int16_t*, std::uint32_t) {
                          ++calls;
                          return true;
                      }),
            CaptureSliceReader::Result::Failed);
        EXPECT_EQ(calls, 0);
        EXPECT_EQ(reader.Offset(), 0u);
    }

} // namespace
} // namespace quelsor
