#include "ScratchFile.h"

#include "audio/WavHeader.h"
#include "audio/WavReader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace quelsor {
namespace {

    using Bytes = std::vector<std::uint8_t>;

    std::uint32_t U32(const std::uint8_t* p)
    {
        return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }

    void PutU16(Bytes& b, unsigned v)
    {
        b.push_back(static_cast<std::uint8_t>(v & 0xFF));
        b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
    }
    void PutU32(Bytes& b, std::uint32_t v)
    {
        for (int s = 0; s < 32; s += 8)
            b.push_back(static_cast<std::uint8_t>((v >> s) & 0xFF));
    }
    void PutTag(Bytes& b, const char* tag)
    {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<std::uint8_t>(tag[i]));
    }

    // A chunk with its pad byte when the size is odd.
    Bytes Chunk(const char* tag, const Bytes& body, std::uint32_t announced = ~0u)
    {
        Bytes b;
        PutTag(b, tag);
        PutU32(b, announced == ~0u ? static_cast<std::uint32_t>(body.size()) : announced);
        b.insert(b.end(), body.begin(), body.end());
        if (body.size() % 2 != 0 && announced == ~0u)
            b.push_back(0);
        return b;
    }

    Bytes FormatBody(unsigned tag, unsigned channels, std::uint32_t rate, unsigned bits)
    {
        Bytes b;
        PutU16(b, tag);
        PutU16(b, channels);
        PutU32(b, rate);
        PutU32(b, rate * channels * bits / 8);
        PutU16(b, channels * bits / 8);
        PutU16(b, bits);
        return b;
    }

    Bytes SampleBody(const std::vector<std::int16_t>& samples)
    {
        Bytes b;
        for (std::int16_t s : samples)
            PutU16(b, static_cast<std::uint16_t>(s));
        return b;
    }

    Bytes Riff(const std::vector<Bytes>& chunks)
    {
        Bytes body;
        PutTag(body, "WAVE");
        for (const Bytes& c : chunks)
            body.insert(body.end(), c.begin(), c.end());
        Bytes b;
        PutTag(b, "RIFF");
        PutU32(b, static_cast<std::uint32_t>(body.size()));
        b.insert(b.end(), body.begin(), body.end());
        return b;
    }

    const std::vector<std::int16_t> kSamples { 0, 1, -1, 32767, -32768, 1234 };

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

    TEST(WavReaderTest, ReadsOwnHeaderAndSamples)
    {
        WavHeader header;
        BuildWavHeader(header, static_cast<std::int32_t>(kSamples.size() * 2));
        const auto head = SerializeWavHeader(header);
        Bytes file(head.begin(), head.end());
        const Bytes body = SampleBody(kSamples);
        file.insert(file.end(), body.begin(), body.end());
        const WavReadResult result = ReadWavBuffer(file.data(), file.size());
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.samples, kSamples);
    }

    TEST(WavReaderTest, AcceptedLayouts)
    {
        const Bytes fmt = Chunk("fmt ", FormatBody(1, 1, 16000, 16));
        const Bytes data = Chunk("data", SampleBody(kSamples));
        const Bytes list = Chunk("LIST", Bytes { 'I', 'N', 'F', 'O', 'a', 'b', 'c' }); // odd
        Bytes fmt18 = FormatBody(1, 1, 16000, 16);
        PutU16(fmt18, 0); // cbSize
        Bytes extensible = FormatBody(0xFFFE, 1, 16000, 16);
        PutU16(extensible, 22);
        PutU16(extensible, 16); // valid bits
        PutU32(extensible, 4); // channel mask
        PutU16(extensible, 1); // PCM sub-format GUID, first bytes
        extensible.resize(40, 0);
        Bytes oddData = SampleBody(kSamples);
        oddData.push_back(0x55); // a stray byte: ignored with its pad byte
        struct Row {
            const char* name;
            Bytes file;
        };
        const Row rows[] = {
            { "fmt then data", Riff({ fmt, data }) },
            { "data before fmt", Riff({ data, fmt }) },
            { "LIST with odd size first", Riff({ list, fmt, data }) },
            { "LIST between", Riff({ fmt, list, data }) },
            { "18-byte format", Riff({ Chunk("fmt ", fmt18), data }) },
            { "extensible PCM", Riff({ Chunk("fmt ", extensible), data }) },
            { "odd data size", Riff({ fmt, Chunk("data", oddData) }) },
            { "trailing junk",
                [&] {
                    Bytes b = Riff({ fmt, data });
                    b.push_back(1);
                    b.push_back(2);
                    return b;
                }() },
        };
        for (const Row& row : rows) {
            const WavReadResult result = ReadWavBuffer(row.file.data(), row.file.size());
            ASSERT_TRUE(result.ok) << row.name << ": " << result.error;
            EXPECT_EQ(result.samples, kSamples) << row.name;
        }
    }

    TEST(WavReaderTest, RejectedFilesNameWhatWasFound)
    {
        const Bytes fmt = Chunk("fmt ", FormatBody(1, 1, 16000, 16));
        const Bytes data = Chunk("data", SampleBody(kSamples));
        Bytes truncated = Riff({ fmt, Chunk("data", Bytes(10, 0), 1000) });
        struct Row {
            const char* name;
            Bytes file;
            std::string error;
        };
        const Row rows[] = {
            { "stereo 44.1 kHz", Riff({ Chunk("fmt ", FormatBody(1, 2, 44100, 16)), data }),
                "unsupported format: 2 channels, 44100 Hz, 16 bits (expected PCM, 1 channel, "
                "16000 Hz, 16 bits)" },
            { "8-bit", Riff({ Chunk("fmt ", FormatBody(1, 1, 16000, 8)), data }),
                "unsupported format: 1 channel, 16000 Hz, 8 bits (expected PCM, 1 channel, 16000 "
                "Hz, 16 bits)" },
            { "float", Riff({ Chunk("fmt ", FormatBody(3, 1, 16000, 32)), data }),
                "unsupported format: format tag 3 (not PCM), 1 channel, 16000 Hz, 32 bits "
                "(expected PCM, 1 channel, 16000 Hz, 16 bits)" },
            { "truncated data", truncated,
                "truncated data chunk: 1000 bytes announced, 10 present" },
            { "no data", Riff({ fmt }), "not a usable WAV file: no data chunk" },
            { "no fmt", Riff({ data }), "not a usable WAV file: no fmt chunk" },
            { "short fmt", Riff({ Chunk("fmt ", Bytes(12, 0)), data }),
                "truncated fmt chunk: 12 bytes, at least 16 needed" },
            { "truncated LIST", Riff({ Chunk("LIST", Bytes(4, 0), 400) }),
                "truncated LIST chunk: 400 bytes announced, 4 present" },
            { "not RIFF", Bytes { 'R', 'I', 'F', 'X', 0, 0, 0, 0, 'W', 'A', 'V', 'E' },
                "not a WAV file: starts with \"RIFX\"/\"WAVE\" instead of \"RIFF\"/\"WAVE\"" },
            { "empty", Bytes {}, "not a WAV file: 0 bytes, too short for a RIFF header" },
        };
        for (const Row& row : rows) {
            const WavReadResult result = ReadWavBuffer(row.file.data(), row.file.size());
            EXPECT_FALSE(result.ok) << row.name;
            EXPECT_EQ(result.error, row.error) << row.name;
            EXPECT_TRUE(result.samples.empty()) << row.name;
        }
    }

    TEST(WavReaderTest, EveryPrefixOfAFileIsHandled)
    {
        // Cutting a valid file anywhere must give a result, never a read past the end
        // (the sanitizer build checks the bounds).
        const Bytes file = Riff({ Chunk("LIST", Bytes(5, 1)),
            Chunk("fmt ", FormatBody(1, 1, 16000, 16)), Chunk("data", SampleBody(kSamples)) });
        for (std::size_t size = 0; size <= file.size(); ++size) {
            const Bytes prefix(file.begin(), file.begin() + static_cast<long>(size));
            const WavReadResult result = ReadWavBuffer(prefix.data(), prefix.size());
            EXPECT_EQ(result.ok, size == file.size()) << size;
            EXPECT_EQ(result.error.empty(), result.ok) << size;
        }
    }

    TEST(WavReaderTest, FileErrorsNameThePath)
    {
        const WavReadResult missing = ReadWavFile("no/such/dir/file.wav");
        EXPECT_FALSE(missing.ok);
        EXPECT_EQ(missing.error, "cannot open no/such/dir/file.wav");

        const std::string path = testing::ScratchPath("wav_reader.wav");
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        const Bytes bytes = Riff(
            { Chunk("fmt ", FormatBody(1, 1, 16000, 16)), Chunk("data", SampleBody(kSamples)) });
        std::fwrite(bytes.data(), bytes.size(), 1, file);
        std::fclose(file);
        const WavReadResult read = ReadWavFile(path);
        ASSERT_TRUE(read.ok) << read.error;
        EXPECT_EQ(read.samples, kSamples);
        std::remove(path.c_str());
    }

} // namespace
} // namespace quelsor
