#include "tests/support/CliRunner.h"
#include "tests/support/ScratchFolder.h"

#include "audio/FftAnalyser.h"
#include "audio/ToneGenerator.h"
#include "audio/WavHeader.h"
#include "recording/RecordingReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace quelsor {
namespace {

    using testing::CliRun;
    using testing::Lines;
    using testing::ReadBytes;
    using testing::RunCli;

    class SignalCommandsTest : public ::testing::Test {
    protected:
        std::string Path(const std::string& name) const { return folder_.File(name); }

        static CliRun Run(const std::vector<std::string>& arguments) { return RunCli(arguments); }

        std::string WriteWav(const std::string& name, const std::vector<std::int16_t>& samples)
        {
            const std::string path = Path(name);
            std::FILE* file = std::fopen(path.c_str(), "wb");
            EXPECT_NE(file, nullptr);
            WavHeader header;
            BuildWavHeader(header, static_cast<std::int32_t>(samples.size() * 2));
            WriteWavHeader(header, file);
            WriteSamples(samples, file);
            std::fclose(file);
            return path;
        }

        testing::ScratchFolder folder_;
    };

    TEST_F(SignalCommandsTest, EveryCommandAnswersHelp)
    {
        for (const char* command : { "generate", "detect", "fft", "filters" }) {
            const CliRun run = Run({ command, "--help" });
            EXPECT_EQ(run.exitCode, 0) << command;
            EXPECT_EQ(run.out.rfind(std::string("Usage: quelsor-cli ") + command, 0), 0u)
                << command;
        }
    }

    // The device options and the device list refuse what they cannot use before any sound.
    TEST_F(SignalCommandsTest, DeviceOptionsAndTheDeviceListRefuseBadArguments)
    {
        struct Row {
            std::vector<std::string> args;
            const char* err; // the start of stderr
        };
        const Row rows[] {
            { { "devices", "extra" }, "quelsor-cli devices: unexpected argument 'extra'" },
            { { "request", "--config", "x.ini", "--request", "0", "--input" },
                "quelsor-cli request: --input needs a value" },
            { { "request", "--config", "x.ini", "--request", "0", "--output", "" },
                "quelsor-cli request: --output needs a device name" },
            { { "poll", "--config", "x.ini", "--request", "0", "--output" },
                "quelsor-cli poll: --output needs a value" },
            { { "simulate", "--answer", "1=2", "--input" },
                "quelsor-cli simulate: --input needs a value" },
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(row.args.front() + " " + row.args.back());
            const CliRun run = Run(row.args);
            EXPECT_EQ(run.exitCode, 2);
#ifdef QUELSOR_CLI_HAS_SOUND
            EXPECT_EQ(run.err.rfind(row.err, 0), 0u) << run.err;
#else
            // Without sound a command may refuse to run before it reads its options.
            EXPECT_TRUE(run.err.rfind(row.err, 0) == 0
                || run.err == "quelsor-cli " + row.args.front() + ": built without sound support\n")
                << run.err;
#endif
            EXPECT_EQ(run.out, "");
        }
        const CliRun help = Run({ "devices", "--help" });
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_EQ(help.out.rfind("Usage: quelsor-cli devices", 0), 0u);
    }

    TEST_F(SignalCommandsTest, GenerateWritesTheCommandFile)
    {
        const std::string path = Path("generated.wav");
        const CliRun run = Run({ "generate", "-o", path, "123a Etat general" });
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const std::string bytes = ReadBytes(path);
        ASSERT_EQ(bytes.size(), 44u + 4 * 9600);
        EXPECT_EQ(bytes.compare(0, 4, "RIFF"), 0);
        // An accented letter is one character: 1 of 3 with tones, (1 + 3) × 4800 bytes.
        ASSERT_EQ(Run({ "generate", "-o", path,
                          "\xC3\xA9"
                          "a1" })
                      .exitCode,
            0);
        EXPECT_EQ(ReadBytes(path).size(), 44u + 24000);

        const std::string bad = Path("missing-dir/x.wav");
        const CliRun failed = Run({ "generate", "-o", bad, "123" });
        EXPECT_EQ(failed.exitCode, 1);
        EXPECT_EQ(failed.err, "Creation/Ouverture du fichier " + bad + " impossible. Abandon\n");
        EXPECT_EQ(Run({ "generate" }).exitCode, 2);
        EXPECT_EQ(Run({ "generate", "--bogus", "1" }).exitCode, 2);
    }

    TEST_F(SignalCommandsTest, DetectPrintsTheClosedAnswerAndTrace)
    {
        std::vector<std::int16_t> samples;
        AppendSilence(samples, 20);
        AppendDtmfSequence(samples, "1234");
        AppendSilence(samples, 500);
        AppendTone(samples, 20, false, 1633, 941); // too short for a character: closes the answer
        AppendSilence(samples, 50);
        AppendDtmfSequence(samples, "9");
        const std::string path = WriteWav("answer.wav", samples);

        const CliRun plain = Run({ "detect", path });
        EXPECT_EQ(plain.exitCode, 0) << plain.err;
        EXPECT_EQ(plain.out, "1234 (4)\n");

        const CliRun traced = Run({ "detect", "--trace", "--threshold", "20", path });
        EXPECT_EQ(traced.exitCode, 0) << traced.err;
        const std::vector<std::string> lines = Lines(traced.out);
        ASSERT_EQ(lines.size(), 7u) << traced.out;
        long previous = 0;
        const char expected[] = "12349";
        for (int i = 0; i < 4; ++i) {
            long block = 0;
            char character = 0;
            ASSERT_EQ(std::sscanf(lines[i].c_str(), "# %ld %c", &block, &character), 2);
            EXPECT_EQ(character, expected[i]);
            // The character comes when its 150 ms burst ends, every 300 ms from 20 ms.
            EXPECT_GE(block, 20 + 300 * i + 150) << lines[i];
            EXPECT_LE(block, 20 + 300 * i + 150 + 40) << lines[i];
            EXPECT_GT(block, previous);
            previous = block;
        }
        EXPECT_EQ(lines[4], "1234 (4)");
        EXPECT_EQ(lines[5].substr(0, 2), "# ");
        EXPECT_EQ(lines[5].back(), '9');
        EXPECT_EQ(lines[6], "# pending 9");
    }

    // The answers of the sample configuration's first request as records, from answer strings
    // and from a recording.
    TEST_F(SignalCommandsTest, AnswerAndDecodeGiveRecordsInJsonAndCsv)
    {
        const auto answer = [](std::vector<std::string> extra) {
            std::vector<std::string> args { "answer", "--config", QUELSOR_SAMPLE_INI, "--request",
                "0" };
            args.insert(args.end(), extra.begin(), extra.end());
            return Run(args);
        };
        const CliRun json = answer({ "--format", "json", "1234", "78D1CA1C#" });
        EXPECT_EQ(json.exitCode, 0) << json.err;
        EXPECT_EQ(json.out,
            R"({"request":"1234","label":"Etat general","zone":1,"name":"Tension","raw":120,"value":12.000,"text":"12.000","status":"ok"})"
            "\n"
            R"({"request":"1234","label":"Etat general","zone":2,"name":"Moteur","raw":1,"text":"Marche","status":"ok"})"
            "\n");
        // CSV lines end with CRLF (console text on Windows shows them as "\n").
        const auto withoutCr = [](std::string text) {
            text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
            return text;
        };
        const CliRun csv = answer({ "--format", "csv", "78D1" });
        EXPECT_EQ(csv.exitCode, 0) << csv.err;
        EXPECT_EQ(withoutCr(csv.out),
            "time,request,label,zone,name,raw,value,text,status,level,level_db,noise,snr\n"
            ",1234,Etat general,,,,,,mismatch,,,,\n"); // typed in: no link quality
        EXPECT_EQ(answer({ "--format", "yaml", "1" }).exitCode, 2);
        EXPECT_EQ(answer({ "--format" }).exitCode, 2);

        std::vector<std::int16_t> samples;
        AppendSilence(samples, 1000);
        AppendDtmfSequence(samples, "78D1CA1C#");
        AppendSilence(samples, 600);
        AppendTone(samples, 20, false, 1633, 941); // closes the answer
        AppendSilence(samples, 100);
        const std::string path = WriteWav("worked.wav", samples);
        const CliRun decoded = Run({ "decode", "--config", QUELSOR_SAMPLE_INI, "--request", "0",
            "--format", "csv", path });
        EXPECT_EQ(decoded.exitCode, 0) << decoded.err;
        const std::vector<std::string> lines = Lines(decoded.out);
        ASSERT_EQ(lines.size(), 3u) << decoded.out;
        // Closed by the short tone at 1000 + 9 × 300 + 600 ms, once its filters have risen.
        for (const std::string& line : { lines[1], lines[2] }) {
            double seconds = 0;
            ASSERT_EQ(std::sscanf(line.c_str(), "%lf,", &seconds), 1) << line;
            EXPECT_GE(seconds, 4.300) << line;
            EXPECT_LE(seconds, 4.320) << line;
        }
        // The answer's quality on both: a clean recording's floor is under 1.
        EXPECT_EQ(withoutCr(lines[1].substr(5)),
            ",1234,Etat general,1,Tension,120,12.000,12.000,ok,6892.1,47.2,0.9,76.8");
        EXPECT_EQ(withoutCr(lines[2].substr(5)),
            ",1234,Etat general,2,Moteur,1,,Marche,ok,6892.1,47.2,0.9,76.8");
    }

    TEST_F(SignalCommandsTest, UnusableRecordingsExitWithTwo)
    {
        // A stereo 44.1 kHz header (read since libsndfile), a file cut inside its data, a file
        // that is not audio, a missing file.
        std::vector<std::int16_t> samples(100, 5);
        const std::string good = WriteWav("good.wav", samples);
        std::string bytes = ReadBytes(good);
        std::string stereo = bytes;
        stereo[22] = 2;
        const std::uint32_t rate = 44100;
        for (int i = 0; i < 4; ++i)
            stereo[24 + i] = static_cast<char>((rate >> (8 * i)) & 0xFF);
        const std::string stereoPath = Path("stereo.wav");
        const std::string cutPath = Path("cut.wav");
        const std::string textPath = Path("notes.wav");
        std::ofstream(stereoPath, std::ios::binary) << stereo;
        std::ofstream(cutPath, std::ios::binary) << bytes.substr(0, 60);
        std::ofstream(textPath, std::ios::binary) << "not a recording at all";

        for (const char* command : { "detect", "fft" }) {
            const CliRun other = Run({ command, stereoPath });
            if (ReadsEveryRecordingFormat()) {
                EXPECT_EQ(other.exitCode, 0) << other.err;
            } else {
                EXPECT_EQ(other.exitCode, 2);
                EXPECT_EQ(other.err,
                    std::string("quelsor-cli ") + command + ": " + stereoPath
                        + ": this build reads only 16 kHz mono 16-bit PCM WAV files (this one: 2 "
                          "channels, 44100 Hz, 16 bits)\n");
            }
            // What a cut file holds is read, then the reason it ends early.
            const CliRun cut = Run({ command, cutPath });
            EXPECT_EQ(cut.exitCode, 2);
            EXPECT_EQ(cut.err,
                std::string("quelsor-cli ") + command + ": " + cutPath
                    + ": truncated data chunk: 200 bytes announced, 16 present\n");
            const CliRun text = Run({ command, textPath });
            EXPECT_EQ(text.exitCode, 2);
            EXPECT_EQ(text.out, "");
            EXPECT_EQ(Lines(text.err).size(), 1u) << text.err;
            EXPECT_EQ(
                text.err.rfind(std::string("quelsor-cli ") + command + ": " + textPath + ": ", 0),
                0u)
                << text.err;
            const CliRun missing = Run({ command, Path("none.wav") });
            EXPECT_EQ(missing.exitCode, 2);
            EXPECT_EQ(missing.out, "");
            EXPECT_EQ(missing.err,
                std::string("quelsor-cli ") + command + ": " + Path("none.wav")
                    + ": cannot open: No such file or directory\n");
        }
    }

    // A 16 kHz mono 16-bit recording reaches the spectrum sample for sample: the lines are
    // exactly those of the samples of the file.
    TEST_F(SignalCommandsTest, FftOfTheOwnFormatIsThatOfItsSamples)
    {
        std::vector<std::int16_t> samples;
        AppendDtmfSequence(samples, "5#");
        std::mt19937 random(2);
        for (std::int16_t& s : samples)
            s = static_cast<std::int16_t>(s + static_cast<int>(random() % 2001) - 1000);
        std::string expected;
        FftAnalyser fft;
        fft.Setup(512, 256);
        std::vector<float> input(512);
        std::vector<std::int32_t> magnitudes(256);
        for (std::size_t at = 0; at + 512 <= samples.size(); at += 512) {
            for (std::size_t i = 0; i < 512; ++i)
                input[i] = samples[at + i];
            fft.Transform(input.data(), magnitudes.data());
            for (std::size_t k = 0; k < magnitudes.size(); ++k) {
                if (k > 0)
                    expected += ' ';
                expected += std::to_string(magnitudes[k]);
            }
            expected += '\n';
        }
        const CliRun run = Run({ "fft", WriteWav("own.wav", samples) });
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(run.out == expected);
    }

    TEST_F(SignalCommandsTest, FftPrintsOneLinePerWholeFrame)
    {
        std::vector<std::int16_t> samples(512 * 2 + 100);
        for (std::size_t n = 0; n < samples.size(); ++n)
            samples[n] = static_cast<std::int16_t>(
                10000.0 * std::sin(2.0 * std::numbers::pi * 22 * 31.25 * n / 16000.0));
        const CliRun run = Run({ "fft", WriteWav("sine.wav", samples) });
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const std::vector<std::string> lines = Lines(run.out);
        ASSERT_EQ(lines.size(), 2u);
        for (const std::string& line : lines) {
            std::istringstream in(line);
            std::vector<long> bins;
            for (long value; in >> value;)
                bins.push_back(value);
            ASSERT_EQ(bins.size(), 256u);
            EXPECT_EQ(std::max_element(bins.begin(), bins.end()) - bins.begin(), 22);
            EXPECT_NEAR(bins[22], 2560000, 2000);
            EXPECT_EQ(line.find("  "), std::string::npos);
        }
    }

    TEST_F(SignalCommandsTest, FiltersPrintsTheBank)
    {
        const CliRun run = Run({ "filters" });
        EXPECT_EQ(run.exitCode, 0);
        const std::vector<std::string> lines = Lines(run.out);
        ASSERT_EQ(lines.size(), 8u);
        EXPECT_EQ(lines[0].rfind("697 2096647.968 -0.9690721133 5.627470907 -13.83085153 ", 0), 0u)
            << lines[0];
        EXPECT_EQ(lines[7].rfind("1633 ", 0), 0u);
        EXPECT_EQ(lines[7].substr(lines[7].size() - 3), " -1");
        EXPECT_EQ(Run({ "filters", "extra" }).exitCode, 2);
    }

} // namespace
} // namespace quelsor
