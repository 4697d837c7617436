// detect and decode on recordings as technicians make them: other rates, channels and formats,
// the times of the answers, clipped samples, the progress line.

#include "tests/recording/TestRecordings.h"
#include "tests/support/CliRunner.h"
#include "tests/support/ScratchFolder.h"

#include "audio/ToneGenerator.h"
#include "cli/ProgressLine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace quelsor {
namespace {

    using testing::CliRun;
    using testing::Lines;
    using testing::RunCli;

    const std::string kSampleIni = QUELSOR_SAMPLE_INI;

#ifdef QUELSOR_HAVE_SNDFILE
    // The worked example recorded at 48 kHz in stereo FLAC decodes as its 16 kHz recording does;
    // --times puts before each of its lines the time its first character began (1 s in, plus
    // the filters' rise).
    TEST(RecordingCommands, FlacAt48kHzDecodesWithTimes)
    {
        const testing::ScratchFolder folder;
        const std::string original = folder.File("worked.wav");
        const std::string flac = folder.File("worked.flac");
        const std::vector<float> mono16 = testing::SynthesisedAnswer("78D1CA1C#", 16000);
        const std::vector<float> mono48 = testing::SynthesisedAnswer("78D1CA1C#", 48000);
        ASSERT_TRUE(
            testing::WriteRecording(original, mono16, 16000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
        ASSERT_TRUE(testing::WriteRecording(flac, testing::Interleaved({ mono48, mono48 }), 48000,
            2, SF_FORMAT_FLAC | SF_FORMAT_PCM_24));

        const auto decode = [](const std::string& file, std::vector<std::string> options) {
            std::vector<std::string> arguments { "decode", "--config", kSampleIni, "--request",
                "0" };
            arguments.insert(arguments.end(), options.begin(), options.end());
            arguments.push_back(file);
            return RunCli(arguments);
        };
        const CliRun expected = decode(original, {});
        ASSERT_EQ(expected.exitCode, 0) << expected.err;
        const std::vector<std::string> lines = Lines(expected.out);
        ASSERT_GE(lines.size(), 3u) << expected.out;
        EXPECT_EQ(lines.front(), "78D1CA1C# (9)");

        const CliRun timed = decode(flac, { "--times", "--threads", "3" });
        EXPECT_EQ(timed.exitCode, 0) << timed.err;
        EXPECT_EQ(timed.err, "");
        const std::vector<std::string> timedLines = Lines(timed.out);
        ASSERT_EQ(timedLines.size(), lines.size()) << timed.out;
        const std::string time = timedLines.front().substr(0, 13); // "HH:MM:SS.mmm "
        EXPECT_EQ(time.substr(0, 10), "00:00:01.0") << time;
        for (std::size_t i = 0; i < lines.size(); ++i)
            EXPECT_EQ(timedLines[i], time + lines[i]);
        const CliRun detected = RunCli({ "detect", "--times", "--threshold", "30", flac });
        EXPECT_EQ(detected.exitCode, 0) << detected.err;
        EXPECT_EQ(detected.out, timedLines.front() + "\n");
        // One channel of it, on one thread: the same.
        EXPECT_EQ(decode(flac, { "--channel", "2", "--threads", "1" }).out, expected.out);
    }

    TEST(RecordingCommands, ClippedSamplesAreReportedOnce)
    {
        const testing::ScratchFolder folder;
        const std::string loud = folder.File("loud.wav");
        std::vector<float> values = testing::SynthesisedAnswer("1", 22050);
        for (float& value : values)
            value *= 2.0f;
        ASSERT_TRUE(
            testing::WriteRecording(loud, values, 22050, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
        const CliRun run = RunCli({ "detect", loud });
        EXPECT_EQ(run.exitCode, 0);
        ASSERT_EQ(Lines(run.err).size(), 1u) << run.err;
        EXPECT_NE(run.err.find(loud + ": "), std::string::npos);
        EXPECT_NE(
            run.err.find(" samples were beyond full scale and were clipped\n"), std::string::npos)
            << run.err;
    }
#endif

    // detect and decode print the same bytes on any number of threads: a recording of many
    // answers in noise, over several of the chunks the filters share out, ending inside a block.
    TEST(RecordingCommands, SameOutputOnAnyNumberOfThreads)
    {
        std::vector<std::int16_t> samples;
        std::mt19937 random(17);
        for (int answer = 0; answer < 12; ++answer) {
            AppendSilence(samples, 200 + static_cast<int>(random() % 900));
            AppendDtmfSequence(samples, answer % 3 == 0 ? "78D1CA1C#" : "1A#");
            AppendSilence(samples, 600);
            AppendTone(samples, 20, false, 1633, 941);
        }
        samples.resize(samples.size() + 5); // a last block left incomplete
        std::uniform_int_distribution<int> noise(-2500, 2500);
        for (std::int16_t& s : samples)
            s = static_cast<std::int16_t>(std::clamp(s + noise(random), -32768, 32767));
        const testing::ScratchFolder folder;
        const std::string path = folder.File("answers in noise.wav");
        const testing::Bytes file = testing::OwnWav(samples);
        testing::WriteBytes(path, std::string(file.begin(), file.end()));

        const auto run = [&](const std::vector<std::string>& options, const char* threads) {
            std::vector<std::string> arguments = options;
            arguments.insert(arguments.end(), { "--threads", threads, path });
            const CliRun result = RunCli(arguments);
            EXPECT_EQ(result.exitCode, 0) << result.err;
            EXPECT_EQ(result.err, "");
            return result.out;
        };
        const std::vector<std::string> detect { "detect", "--trace", "--times", "--threshold",
            "30" };
        const std::vector<std::string> decode { "decode", "--times", "--config", kSampleIni,
            "--request", "0" };
        const std::string detected = run(detect, "1");
        const std::string decoded = run(decode, "1");
        // Every answer is found (a line per character and one per answer), the long ones decoded.
        EXPECT_EQ(std::count(detected.begin(), detected.end(), '\n'), 4 * (9 + 1) + 8 * (3 + 1))
            << detected;
        EXPECT_NE(decoded.find("78D1CA1C# (9)"), std::string::npos) << decoded;
        for (const char* threads : { "2", "3", "8" }) {
            EXPECT_EQ(run(detect, threads), detected) << threads << " threads";
            EXPECT_EQ(run(decode, threads), decoded) << threads << " threads";
        }
    }

    // Files that hold no usable recording: each command prints one line naming the file and
    // the reason, nothing on stdout, and exits with 2.
    TEST(RecordingCommands, UnusableFilesGiveOneLineAndExitTwo)
    {
        const testing::ScratchFolder folder;
        const testing::Bytes own = testing::OwnWav(std::vector<std::int16_t>(400, 7));
        const auto withFormat = [&own](unsigned channels, std::uint32_t rate) {
            testing::Bytes file = own;
            file[22] = static_cast<std::uint8_t>(channels);
            for (int i = 0; i < 4; ++i)
                file[24 + i] = static_cast<std::uint8_t>((rate >> (8 * i)) & 0xFF);
            return std::string(file.begin(), file.end());
        };
        struct Row {
            const char* name;
            std::string bytes;
        };
        const Row rows[] = {
            { "empty.wav", "" },
            { "notes.wav", "a technician's notes, not a recording" },
            { "cut header.wav", std::string(own.begin(), own.begin() + 30) },
            { "no channels.wav", withFormat(0, 16000) },
            { "3999 Hz.wav", withFormat(1, 3999) },
        };
        for (const Row& row : rows) {
            const std::string path = folder.File(row.name);
            testing::WriteBytes(path, row.bytes);
            const std::vector<std::vector<std::string>> commands { { "detect", path },
                { "fft", path }, { "decode", "--config", kSampleIni, "--request", "0", path } };
            for (const std::vector<std::string>& command : commands) {
                const CliRun run = RunCli(command);
                EXPECT_EQ(run.exitCode, 2) << row.name << ' ' << command[0];
                EXPECT_EQ(run.out, "") << row.name << ' ' << command[0];
                EXPECT_EQ(Lines(run.err).size(), 1u) << row.name << ' ' << run.err;
                EXPECT_EQ(run.err.rfind("quelsor-cli " + command[0] + ": " + path + ": ", 0), 0u)
                    << run.err;
            }
        }
    }

    TEST(RecordingCommands, ProgressLineText)
    {
        struct Row {
            double read;
            double total;
            double elapsed;
            const char* text;
        };
        const Row rows[] = {
            { 0, 14400, 0, "  0%  00:00:00 of 04:00:00  00:00:00 elapsed" },
            { 6048, 14400, 31, " 42%  01:40:48 of 04:00:00  00:00:31 elapsed  195x real time" },
            { 14400, 14400, 60, "100%  04:00:00 of 04:00:00  00:01:00 elapsed  240x real time" },
        };
        for (const Row& row : rows)
            EXPECT_EQ(cli::ProgressLine::Text(row.read, row.total, row.elapsed), row.text);
        // Nothing for a short recording, or when stderr is not a terminal.
        EXPECT_FALSE(cli::ProgressLine(stderr, 600, true).Shown());
        EXPECT_FALSE(cli::ProgressLine(stderr, 14400, false).Shown());
        EXPECT_TRUE(cli::ProgressLine(stderr, 601, true).Shown());
        const CliRun quiet = RunCli({ "detect", "--help" });
        EXPECT_EQ(quiet.err, "");
    }

} // namespace
} // namespace quelsor
