#include "ScratchFile.h"

#include "audio/WavHeader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace quelsor {
namespace {

    std::uint32_t U32(const std::uint8_t* p)
    {
        return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }

    TEST(WavHeaderTest, FieldsAndByteLayout)
    {
        struct Row {
            std::int32_t dataSize;
            std::uint32_t riffSize;
            std::uint32_t written;
        };
        const Row rows[] = {
            { 0, 36, 0 }, { kCommandFileProvisionalSize, 1036, 1000 },
            { kCaptureFileProvisionalSize, 1000036, 1000000 }, { 38400, 38436, 38400 },
            { -45, 36, 0 }, // a failed position query is not written as a huge size
        };
        for (const Row& row : rows) {
            WavHeader header;
            EXPECT_EQ(BuildWavHeader(header, row.dataSize), 0);
            const auto bytes = SerializeWavHeader(header);
            EXPECT_EQ(std::memcmp(bytes.data(), "RIFF", 4), 0);
            EXPECT_EQ(U32(&bytes[4]), row.riffSize) << row.dataSize;
            EXPECT_EQ(std::memcmp(&bytes[8], "WAVEfmt ", 8), 0);
            EXPECT_EQ(U32(&bytes[16]), 16u);
            const std::uint8_t format[]
                = { 1, 0, 1, 0, 0x80, 0x3E, 0, 0, 0x00, 0x7D, 0, 0, 2, 0, 16, 0 };
            EXPECT_EQ(std::memcmp(&bytes[20], format, sizeof format), 0);
            EXPECT_EQ(std::memcmp(&bytes[36], "data", 4), 0);
            EXPECT_EQ(U32(&bytes[40]), row.written) << row.dataSize;
        }
    }

    TEST(WavHeaderTest, WriteSeeksToStartAndLeavesPositionAt44)
    {
        testing::ScratchFile scratch("header.wav");
        std::FILE* file = scratch.get();
        ASSERT_NE(file, nullptr);
        WavHeader header;
        BuildWavHeader(header, 1000);
        EXPECT_EQ(WriteWavHeader(header, file), 1);
        const std::vector<char> data(100, 7);
        std::fwrite(data.data(), data.size(), 1, file);
        BuildWavHeader(header, static_cast<std::int32_t>(std::ftell(file)) - kWavHeaderSize);
        EXPECT_EQ(WriteWavHeader(header, file), 1);
        EXPECT_EQ(std::ftell(file), kWavHeaderSize);
        std::fseek(file, 0, SEEK_END);
        EXPECT_EQ(std::ftell(file), 144);
        EXPECT_EQ(WriteWavHeader(header, nullptr), 0);
    }

} // namespace
} // namespace quelsor
