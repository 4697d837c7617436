#include "TestRecordings.h"

#include "tests/support/ScratchFolder.h"

#include "audio/DetectorFeed.h"
#include "audio/FilterBank.h"
#include "audio/ToneGenerator.h"
#include "recording/ByteSource.h"
#include "recording/PcmWavRecording.h"
#include "recording/RecordingReader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace quelsor {
namespace {

    using testing::Bytes;

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

    // A chunk with its pad byte when the size is odd; announced overrides the size written.
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

    // Everything a reader gives, read in pieces of `piece` samples.
    std::vector<std::int16_t> ReadAll(RecordingReader& reader, std::size_t piece = 4096)
    {
        std::vector<std::int16_t> all;
        std::vector<std::int16_t> buffer(piece);
        while (const std::size_t got = reader.Read(buffer.data(), buffer.size()))
            all.insert(all.end(), buffer.begin(), buffer.begin() + static_cast<long>(got));
        EXPECT_EQ(reader.Read(buffer.data(), buffer.size()), 0u) << "the end stays the end";
        return all;
    }

    // Both readers of the program's own format: the usual one (libsndfile when built with it)
    // and the one a build without libsndfile uses.
    struct Opened {
        RecordingOpenResult usual;
        RecordingOpenResult own;
    };
    Opened OpenBoth(const Bytes& file, const RecordingOptions& options = {})
    {
        return { OpenRecordingBuffer(file.data(), file.size(), options),
            OpenPcmWav(NewMemorySource(file.data(), file.size()), options) };
    }

    // The 16 kHz mono 16-bit files go through sample for sample, in any piece size: what
    // detect, fft and decode print for them cannot change.
    TEST(RecordingReaderTest, OwnFormatGoesThroughUnchanged)
    {
        std::vector<std::int16_t> samples = kSamples;
        std::mt19937 random(7);
        std::uniform_int_distribution<int> any(-32768, 32767);
        for (int i = 0; i < 20000; ++i)
            samples.push_back(static_cast<std::int16_t>(any(random)));
        const Bytes file = testing::OwnWav(samples);
        for (std::size_t piece : { 4096u, 7u, 100000u }) {
            Opened opened = OpenBoth(file);
            for (RecordingOpenResult* result : { &opened.usual, &opened.own }) {
                ASSERT_TRUE(result->reader) << result->error;
                EXPECT_TRUE(result->reader->Info().unchanged);
                EXPECT_EQ(ReadAll(*result->reader, piece), samples) << piece;
                EXPECT_EQ(result->reader->Problem(), "");
                EXPECT_EQ(result->reader->ClippedSamples(), 0);
            }
        }
        // From a file by its name as well.
        const testing::ScratchFolder folder;
        const std::string path = folder.File("own.wav");
        testing::WriteBytes(path, std::string(file.begin(), file.end()));
        std::vector<std::int16_t> read;
        std::string error;
        EXPECT_TRUE(ReadRecordingSamples(path, read, error)) << error;
        EXPECT_EQ(read, samples);
        EXPECT_FALSE(ReadRecordingSamples(folder.File("none.wav"), read, error));
        EXPECT_EQ(error, "cannot open: No such file or directory");
    }

    TEST(RecordingReaderTest, LayoutsOfTheOwnFormat)
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
        const std::uint8_t guidRest[] = { 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00,
            0xAA, 0x00, 0x38, 0x9B, 0x71 };
        extensible.insert(extensible.end(), std::begin(guidRest), std::end(guidRest));
        Bytes oddData = SampleBody(kSamples);
        oddData.push_back(0x55); // a stray byte: left out with its pad byte
        Bytes trailing = Riff({ fmt, data });
        trailing.push_back(1);
        trailing.push_back(2);
        struct Row {
            const char* name;
            Bytes file;
        };
        const Row rows[] = {
            { "fmt then data", Riff({ fmt, data }) },
            { "data before fmt", Riff({ data, fmt }) }, // libsndfile refuses it
            { "LIST with odd size first", Riff({ list, fmt, data }) },
            { "LIST between", Riff({ fmt, list, data }) },
            { "18-byte format", Riff({ Chunk("fmt ", fmt18), data }) },
            { "extensible PCM", Riff({ Chunk("fmt ", extensible), data }) },
            { "odd data size", Riff({ fmt, Chunk("data", oddData) }) },
            { "trailing junk", trailing },
        };
        for (const Row& row : rows) {
            Opened opened = OpenBoth(row.file);
            for (RecordingOpenResult* result : { &opened.usual, &opened.own }) {
                ASSERT_TRUE(result->reader) << row.name << ": " << result->error;
                EXPECT_EQ(ReadAll(*result->reader), kSamples) << row.name;
                EXPECT_EQ(result->reader->Problem(), "") << row.name;
            }
        }
    }

    // A file that cannot be read gives its reason, from either reader; never a crash.
    TEST(RecordingReaderTest, UnreadableFilesNameTheReason)
    {
        const Bytes data = Chunk("data", SampleBody(kSamples));
        const Bytes text { 'n', 'o', 't', ' ', 'a', 'u', 'd', 'i', 'o', ' ', 'a', 't', ' ', 'a',
            'l', 'l' };
        const Bytes own = testing::OwnWav(kSamples);
        const std::string ownOnly = "this build reads only 16 kHz mono 16-bit PCM WAV files";
        struct Row {
            const char* name;
            Bytes file;
            int channel;
            std::string usual; // libsndfile's build
            std::string own; // the other build
        };
        const Row rows[] = {
            { "empty", {}, 0, "empty file (0 bytes)",
                "not a WAV file: 0 bytes, too short for a RIFF header" },
            { "text", text, 0, "not a readable recording (libsndfile: Format not recognised.)",
                "not a WAV file: starts with \"not \"/\"o at\" instead of \"RIFF\"/\"WAVE\"" },
            { "zero channels", Riff({ Chunk("fmt ", FormatBody(1, 0, 16000, 16)), data }), 0,
                "not a readable recording (libsndfile: Channel count is zero.)",
                ownOnly + " (this one: 0 channels, 16000 Hz, 16 bits)" },
            { "100 Hz", Riff({ Chunk("fmt ", FormatBody(1, 1, 100, 16)), data }), 0,
                "sample rate 100 Hz is too low: at least 4000 Hz is needed for the DTMF tones "
                "to survive",
                ownOnly + " (this one: 1 channel, 100 Hz, 16 bits)" },
            { "no third channel", Riff({ Chunk("fmt ", FormatBody(1, 2, 16000, 16)), data }), 3,
                "no channel 3: the file has 2 channels",
                ownOnly + " (this one: 2 channels, 16000 Hz, 16 bits)" },
            { "no second channel", own, 2, "no channel 2: the file has 1 channel",
                "no channel 2: the file has 1 channel" },
            { "no samples", testing::OwnWav({}), 0, "no samples in the file",
                "no samples in the file" },
            { "cut in the header", Bytes(own.begin(), own.begin() + 30), 0,
                "not a readable recording (libsndfile: Error in WAV file. No 'data' chunk "
                "marker.)",
                "truncated fmt chunk: 16 bytes announced, 10 present" },
            { "no data chunk", Riff({ Chunk("fmt ", FormatBody(1, 1, 16000, 16)) }), 0,
                "not a readable recording (libsndfile: Error in WAV file. No 'data' chunk marker.)",
                "not a usable WAV file: no data chunk" },
            { "no fmt chunk", Riff({ data }), 0,
                "not a readable recording (libsndfile: Error in WAV file. No 'data' chunk marker.)",
                "not a usable WAV file: no fmt chunk" },
            { "short fmt chunk", Riff({ Chunk("fmt ", Bytes(12, 0)), data }), 0,
                "not a readable recording (libsndfile: Error in WAV/W64/RF64 file. Short 'fmt ' "
                "chunk.)",
                "truncated fmt chunk: 12 bytes, at least 16 needed" },
            { "big-endian RIFX", Bytes { 'R', 'I', 'F', 'X', 0, 0, 0, 0, 'W', 'A', 'V', 'E' }, 0,
                "not a readable recording (libsndfile: Error in WAV file. No 'data' chunk marker.)",
                "not a WAV file: starts with \"RIFX\"/\"WAVE\" instead of \"RIFF\"/\"WAVE\"" },
            { "truncated LIST", Riff({ Chunk("LIST", Bytes(4, 0), 400) }), 0,
                "not a readable recording (libsndfile: Error in WAV file. No 'data' chunk "
                "marker.)",
                "truncated LIST chunk: 400 bytes announced, 4 present" },
        };
        for (const Row& row : rows) {
            RecordingOptions options;
            options.channel = row.channel;
            const Opened opened = OpenBoth(row.file, options);
            EXPECT_FALSE(opened.usual.reader) << row.name;
            // An empty file is named so before any reader looks at it.
            const bool usual = ReadsEveryRecordingFormat() || row.file.empty();
            EXPECT_EQ(opened.usual.error, usual ? row.usual : row.own) << row.name;
            EXPECT_FALSE(opened.own.reader) << row.name;
            EXPECT_EQ(opened.own.error, row.own) << row.name;
        }
    }

    // A file cut inside its samples gives the samples it holds, then the reason it ended early.
    TEST(RecordingReaderTest, TruncatedFilesGiveWhatTheyHoldThenTheProblem)
    {
        const std::vector<std::int16_t> samples(100, 5);
        const Bytes whole = testing::OwnWav(samples);
        const Bytes cut(whole.begin(), whole.begin() + 60);
        Opened opened = OpenBoth(cut);
        for (RecordingOpenResult* result : { &opened.usual, &opened.own }) {
            ASSERT_TRUE(result->reader) << result->error;
            EXPECT_EQ(result->reader->Problem(), "") << "known only once read";
            EXPECT_EQ(ReadAll(*result->reader), std::vector<std::int16_t>(8, 5));
            EXPECT_EQ(
                result->reader->Problem(), "truncated data chunk: 200 bytes announced, 16 present");
        }
    }

    TEST(RecordingReaderTest, EveryPrefixOfAFileIsHandled)
    {
        // Cutting a valid file anywhere gives an error or a reader whose end comes, never a
        // read past the end (the sanitizer build checks the bounds).
        const Bytes file = Riff({ Chunk("LIST", Bytes(5, 1)),
            Chunk("fmt ", FormatBody(1, 1, 16000, 16)), Chunk("data", SampleBody(kSamples)) });
        for (std::size_t size = 0; size <= file.size(); ++size) {
            const Bytes prefix(file.begin(), file.begin() + static_cast<long>(size));
            Opened opened = OpenBoth(prefix);
            for (RecordingOpenResult* result : { &opened.usual, &opened.own }) {
                EXPECT_NE(result->reader == nullptr, result->error.empty()) << size;
                if (!result->reader)
                    continue;
                const std::vector<std::int16_t> read = ReadAll(*result->reader);
                EXPECT_LE(read.size(), kSamples.size()) << size;
                EXPECT_EQ(result->reader->Problem().empty(), size == file.size()) << size;
            }
        }
    }

#ifdef QUELSOR_HAVE_SNDFILE

    // What the detector makes of a recording, read through the reader.
    testing::AnswerCollector Detect(RecordingReader& reader)
    {
        testing::AnswerCollector host;
        const auto bank = NewDesignedFilterBank();
        DetectorState state;
        RecordingFeed feed(state, *bank, host, 2);
        std::vector<std::int16_t> piece(5000);
        while (const std::size_t got = reader.Read(piece.data(), piece.size()))
            feed.Feed(piece.data(), got);
        feed.Finish();
        return host;
    }

    // The worked example recorded as technicians' recorders do: every rate, mono and stereo,
    // 16 and 24-bit, float, FLAC and lossy formats. The same answer comes out, its characters
    // within 2 ms of where the 16 kHz recording has them (the resampler adds no delay).
    TEST(RecordingReaderTest, SameAnswerAtEveryRateChannelCountAndFormat)
    {
        const std::string answer = "78D1CA1C#";
        const testing::ScratchFolder folder;
        const auto detectFile = [&](const std::string& name, int rate, int channels, int format,
                                    testing::AnswerCollector& host) {
            const std::vector<float> mono = testing::SynthesisedAnswer(answer, rate);
            const std::vector<float> frames = channels == 1
                ? mono
                : testing::Interleaved(std::vector<std::vector<float>>(channels, mono));
            const std::string path = folder.File(name);
            ASSERT_TRUE(testing::WriteRecording(path, frames, rate, channels, format)) << name;
            RecordingOpenResult opened = OpenRecording(path);
            ASSERT_TRUE(opened.reader) << name << ": " << opened.error;
            host = Detect(*opened.reader);
            EXPECT_EQ(opened.reader->Problem(), "") << name;
            EXPECT_EQ(opened.reader->ClippedSamples(), 0) << name;
        };
        testing::AnswerCollector original;
        detectFile("original.wav", 16000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, original);
        ASSERT_EQ(original.answers, std::vector<std::string> { answer });
        ASSERT_EQ(original.characters.size(), answer.size());

        struct Format {
            const char* extension;
            int format;
            bool lossy;
        };
        const Format formats[] = {
            { "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, false },
            { "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, false },
            { "wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, false },
            { "wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_32, false },
            { "flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, false },
            { "flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, false },
        };
        for (const int rate : { 8000, 11025, 16000, 22050, 44100, 48000 }) {
            for (const int channels : { 1, 2 }) {
                for (const Format& format : formats) {
                    const std::string name = std::to_string(rate) + "-" + std::to_string(channels)
                        + "-" + std::to_string(format.format) + "." + format.extension;
                    testing::AnswerCollector heard;
                    detectFile(name, rate, channels, format.format, heard);
                    EXPECT_EQ(heard.answers, original.answers) << name;
                    ASSERT_EQ(heard.characters.size(), original.characters.size()) << name;
                    for (std::size_t i = 0; i < heard.characters.size(); ++i)
                        EXPECT_NEAR(static_cast<double>(heard.characters[i].first),
                            static_cast<double>(original.characters[i].first), 2.0)
                            << name << " character " << i;
                }
            }
        }
        // The compressed formats Debian's libsndfile writes, at their usual rates.
        const Format lossy[] = {
            { "ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, true },
            { "opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, true },
            { "mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, true },
            { "aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, false },
        };
        for (const Format& format : lossy) {
            const std::string name = std::string("48000-2.") + format.extension;
            testing::AnswerCollector heard;
            detectFile(name, 48000, 2, format.format, heard);
            EXPECT_EQ(heard.answers, original.answers) << name;
        }
    }

    TEST(RecordingReaderTest, ChannelOptionPicksOneChannel)
    {
        const int rate = 44100;
        const std::vector<float> left = testing::SynthesisedAnswer("1234", rate);
        std::vector<float> right = testing::SynthesisedAnswer("78D1CA1C#", rate);
        const testing::ScratchFolder folder;
        const std::string path = folder.File("two.flac");
        ASSERT_TRUE(testing::WriteRecording(path, testing::Interleaved({ left, right }), rate, 2,
            SF_FORMAT_FLAC | SF_FORMAT_PCM_16));
        struct Row {
            int channel;
            std::vector<std::string> answers;
        };
        const Row rows[] = { { 1, { "1234" } }, { 2, { "78D1CA1C#" } } };
        for (const Row& row : rows) {
            RecordingOptions options;
            options.channel = row.channel;
            RecordingOpenResult opened = OpenRecording(path, options);
            ASSERT_TRUE(opened.reader) << opened.error;
            EXPECT_EQ(Detect(*opened.reader).answers, row.answers) << row.channel;
        }
    }

    TEST(RecordingReaderTest, ValuesBeyondFullScaleAreClippedAndCounted)
    {
        const std::vector<float> values { 0.5f, 1.5f, -2.0f, -1.0f, 0.25f,
            std::numeric_limits<float>::quiet_NaN(), 1.0f };
        const testing::ScratchFolder folder;
        const std::string path = folder.File("loud.wav");
        ASSERT_TRUE(
            testing::WriteRecording(path, values, 16000, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
        RecordingOpenResult opened = OpenRecording(path);
        ASSERT_TRUE(opened.reader) << opened.error;
        EXPECT_FALSE(opened.reader->Info().unchanged);
        EXPECT_EQ(ReadAll(*opened.reader),
            (std::vector<std::int16_t> { 16384, 32767, -32768, -32768, 8192, 0, 32767 }));
        EXPECT_EQ(opened.reader->ClippedSamples(), 4); // 1.5, -2, NaN and 1.0 (32768)
    }

    TEST(RecordingReaderTest, CompressedFilesCutShortEndWithTheirProblem)
    {
        const std::vector<float> tone = testing::SynthesisedAnswer("1234", 48000);
        const testing::ScratchFolder folder;
        const std::string path = folder.File("whole.flac");
        ASSERT_TRUE(
            testing::WriteRecording(path, tone, 48000, 1, SF_FORMAT_FLAC | SF_FORMAT_PCM_16));
        const std::string bytes = testing::ReadBytes(path);
        const std::string cut = bytes.substr(0, bytes.size() / 2);
        RecordingOpenResult opened = OpenRecordingBuffer(cut.data(), cut.size());
        ASSERT_TRUE(opened.reader) << opened.error;
        const std::vector<std::int16_t> read = ReadAll(*opened.reader);
        EXPECT_GT(read.size(), tone.size() / 3 / 4) << "what it holds is read";
        EXPECT_LT(read.size(), tone.size() / 3);
        EXPECT_NE(opened.reader->Problem(), "");
    }

#endif

} // namespace
} // namespace quelsor
