// quelsor-cli formula, answer and decode run as programs: what they print, on which stream, and
// their exit status, against the sample configuration.

#include "tests/support/CliRunner.h"
#include "tests/support/ScratchFolder.h"

#include "audio/ToneGenerator.h"
#include "audio/WavHeader.h"
#include "sim/ReplySignal.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace quelsor {
namespace {

    using testing::CliRun;
    using testing::Lines;
    using testing::RunCli;

    const std::string kSampleIni = QUELSOR_SAMPLE_INI;

    // One command line and everything it must give.
    struct CommandRow {
        std::vector<std::string> arguments;
        int exitCode;
        std::string out;
        std::string err;
    };

    void CheckRows(const std::vector<CommandRow>& rows)
    {
        for (const CommandRow& row : rows) {
            std::string shown;
            for (const std::string& argument : row.arguments)
                shown += " '" + argument + "'";
            const CliRun run = RunCli(row.arguments);
            EXPECT_EQ(run.exitCode, row.exitCode) << shown << "\n" << run.err;
            EXPECT_EQ(run.out, row.out) << shown;
            EXPECT_EQ(run.err, row.err) << shown;
        }
    }

    std::string Usage(const std::string& command, const std::string& message)
    {
        return "quelsor-cli " + command + ": " + message + "\nRun 'quelsor-cli " + command
            + " --help' for usage.\n";
    }

    TEST(FormulaCommand, PrintsStatusValueAndTextAndExitsByStatus)
    {
        const std::string overflow(18, '(');
        const std::string nested = overflow + "1" + std::string(18, ')');
        CheckRows({
            { { "formula", "--cell", "Z1=120", "z1/10" }, 0, "2\t12\tZ1/10\n", "" },
            { { "formula", "--cell=Z2=5", "sqrt(Z2+4)" }, 0, "2\t3\tSQRT(Z2+4)\n", "" },
            { { "formula", "--cell", "Z1=1", "--cell", "Z1=2", "Z1" }, 0, "2\t2\tZ1\n", "" },
            { { "formula", "1/3" }, 0, "1\t0.33333333333333331\t1/3\n", "" },
            { { "formula", "-1" }, 0, "1\t-1\t-1\n", "" },
            // An EXPR may begin with '-' without "--" before it.
            { { "formula", "--cell", "Z1=4", "-Z1/2" }, 0, "2\t-2\t-Z1/2\n", "" },
            { { "formula", "TRUNC(2147483648)" }, 0, "1\t2147483647\tTRUNC(2147483648)\n", "" },
            // A cell without a value holds no number: infinity, still a success.
            { { "formula", "Z5" }, 0, "2\tinf\tZ5\n", "" },
            // Formulas that do not evaluate: status 0, value 0, the text as given; exit 1.
            { { "formula", "1+" }, 1, "0\t0\t1+\n", "" },
            { { "formula", "" }, 1, "0\t0\t\n", "" },
            { { "formula", "--", "--1" }, 1, "0\t0\t--1\n", "" },
            { { "formula", "z1 + é" }, 1, "0\t0\tz1 + é\n", "" },
            { { "formula", nested }, 1, "0\t0\t" + nested + "\n", "Parser stack overflow.\n" },
            // Usage errors: nothing on stdout, exit 2.
            { { "formula" }, 2, "", Usage("formula", "missing EXPR") },
            { { "formula", "1", "2" }, 2, "", Usage("formula", "unexpected argument '2'") },
            { { "formula", "-Z1", "2" }, 2, "", Usage("formula", "only one EXPR is allowed") },
            { { "formula", "--bogus", "1" }, 2, "", Usage("formula", "unknown option '--bogus'") },
            { { "formula", "1", "--cell" }, 2, "", Usage("formula", "--cell needs a value") },
            { { "formula", "--cell", "Z0=1", "1" }, 2, "",
                Usage("formula", "invalid cell 'Z0=1' (expected ZN=VALUE, N from 1 to 100)") },
            { { "formula", "--cell", "Z101=1", "1" }, 2, "",
                Usage("formula", "invalid cell 'Z101=1' (expected ZN=VALUE, N from 1 to 100)") },
            { { "formula", "--cell", "Z1=", "1" }, 2, "",
                Usage("formula", "invalid cell 'Z1=' (expected ZN=VALUE, N from 1 to 100)") },
            { { "formula", "--cell", "Z1=1,5", "1" }, 2, "",
                Usage("formula", "invalid cell 'Z1=1,5' (expected ZN=VALUE, N from 1 to 100)") },
            { { "formula", "--cell", "A1=1", "1" }, 2, "",
                Usage("formula", "invalid cell 'A1=1' (expected ZN=VALUE, N from 1 to 100)") },
            // A zone always holds a finite number: "nan" and "inf" are refused.
            { { "formula", "--cell", "Z1=nan", "1" }, 2, "",
                Usage("formula", "invalid cell 'Z1=nan' (expected ZN=VALUE, N from 1 to 100)") },
            { { "formula", "--cell", "Z1=-inf", "1" }, 2, "",
                Usage("formula", "invalid cell 'Z1=-inf' (expected ZN=VALUE, N from 1 to 100)") },
        });
    }

    // The worked example of the sample file, as the log window shows it.
    const std::vector<std::string> kTensionReport = {
        "78D1CA1C# (9)",
        "Param 0 reçus ...",
        "",
        "78D1CA1C#",
        "Attendus:9  Reçus:9 ",
        "78 01 fd 1f ??",
        "Tension 12.000 ",
        "Moteur 1=Marche",
    };

    std::string Joined(const std::vector<std::string>& lines)
    {
        std::string text;
        for (const std::string& line : lines)
            text += line + "\n";
        return text;
    }

    TEST(AnswerCommand, PrintsTheLogLinesOfEachAnswerInOrder)
    {
        const std::string shortAnswer = Joined({
            "78D1CA1C (8)",
            "Param 0 reçus ...",
            "",
            "78D1CA1C",
            "Attendus:9  Reçus:8 ",
            "Erreur de reconnaissance DTMF (nombre de caractères attendus non respecté)",
            "Ajuster le niveau BF, puis réessayer.",
        });
        CheckRows({
            { { "answer", "--config", kSampleIni, "--request", "0", "78D1CA1C#" }, 0,
                Joined(kTensionReport), "" },
            // A short answer keeps the request pending: the right one decodes after it.
            { { "answer", "--config", kSampleIni, "--request", "0", "78D1CA1C", "78D1CA1C#" }, 0,
                shortAnswer + Joined(kTensionReport), "" },
            // Once decoded nothing is pending: the same answer again is only shown.
            { { "answer", "--config", kSampleIni, "--request", "0", "78D1CA1C#", "78D1CA1C#" }, 0,
                Joined(kTensionReport) + "78D1CA1C# (9)\nReçu:78D1CA1C#\n", "" },
            { { "answer", "--config", kSampleIni, "--request", "-1", "12" }, 0, "12 (2)\nReçu:12\n",
                "" },
            { { "answer", "--request", "0", "--config", kSampleIni, "--debug", "78D1CA1C#" }, 0,
                Joined({ "78D1CA1C# (9)", "Param 0 reçus ...", "", "78D1CA1C#",
                    "Attendus:9  Reçus:9 ", "78 01 fd 1f ??",
                    "Z 1.  Tension (120) Z1/10 => 12.000 ", "Z 2.  Moteur 1=Marche" }),
                "" },
            { { "answer", "--config", kSampleIni, "--request", "0", "--", "-5" }, 0,
                Joined({ "-5 (2)", "Param 0 reçus ...", "", "-5", "Attendus:9  Reçus:2 ",
                    "Erreur de reconnaissance DTMF (nombre de caractères attendus non "
                    "respecté)",
                    "Ajuster le niveau BF, puis réessayer." }),
                "" },
        });
    }

    TEST(AnswerCommand, RefusesWhatItCannotDecode)
    {
        const std::string missing = testing::ScratchFolder().File("none.ini");
        CheckRows({
            { { "answer", "--config", kSampleIni, "--request", "3", "1" }, 2, "",
                "quelsor-cli answer: request 3 is not one of the 3 request items of '" + kSampleIni
                    + "' (-1 for none)\n" },
            { { "answer", "--config", missing, "--request", "0", "1" }, 2, "",
                "quelsor-cli answer: cannot read the configuration file '" + missing + "'\n" },
            { { "answer", "--config", kSampleIni, "--request", "0" }, 2, "",
                Usage("answer", "missing STRING") },
            { { "answer", "--request", "0", "1" }, 2, "",
                Usage("answer", "missing --config FILE.ini") },
            { { "answer", "--config", kSampleIni, "1" }, 2, "",
                Usage("answer", "missing --request N") },
            { { "answer", "--config", kSampleIni, "--request", "x", "1" }, 2, "",
                Usage("answer", "invalid request index 'x'") },
            { { "answer", "--config", kSampleIni, "--request" }, 2, "",
                Usage("answer", "--request needs a value") },
            { { "answer", "--config", kSampleIni, "--request", "0", "--threshold", "5", "1" }, 2,
                "", Usage("answer", "unknown option '--threshold'") },
        });
    }

    class DecodeCommand : public ::testing::Test {
    protected:
        std::string WriteWav(const std::vector<std::int16_t>& samples)
        {
            const std::string path = folder_.File("recording" + std::to_string(++files_) + ".wav");
            std::FILE* file = std::fopen(path.c_str(), "wb");
            EXPECT_NE(file, nullptr);
            WavHeader header;
            BuildWavHeader(header, static_cast<std::int32_t>(samples.size() * 2));
            WriteWavHeader(header, file);
            WriteSamples(samples, file);
            std::fclose(file);
            return path;
        }

        static CliRun Decode(const std::string& wav, std::vector<std::string> options = {},
            const std::string& ini = kSampleIni)
        {
            std::vector<std::string> arguments { "decode", "--config", ini, "--request", "0" };
            arguments.insert(arguments.end(), options.begin(), options.end());
            arguments.push_back(wav);
            return RunCli(arguments);
        }

        testing::ScratchFolder folder_;
        int files_ = 0;
    };

    TEST_F(DecodeCommand, PrintsWhatAnswerPrintsForTheStringsItHears)
    {
        // The device's reply: the echo of "1234", then the answer, each closed.
        const std::string wav = WriteWav(BuildReply("1234", "78D1CA1C#", true, ReplyTiming {}));
        const CliRun decoded = Decode(wav);
        EXPECT_EQ(decoded.exitCode, 0) << decoded.err;
        EXPECT_EQ(decoded.err, "");
        const CliRun answered
            = RunCli({ "answer", "--config", kSampleIni, "--request", "0", "1234", "78D1CA1C#" });
        EXPECT_EQ(decoded.out, answered.out);
        const std::vector<std::string> lines = Lines(decoded.out);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.front(), "1234 (4)");
        EXPECT_EQ(lines.back(), "Moteur 1=Marche");
    }

    // Two answers to the request: by default the second is only shown, as in the window; --all
    // decodes both, each report under its own answer's time with --times.
    TEST_F(DecodeCommand, AllDecodesEveryAnswerAgainstTheRequest)
    {
        const std::string wav = folder_.File("two answers.wav");
        ASSERT_EQ(RunCli({ "generate", "-o", wav, "78D1CA1C#....78D1CA1C#....0" }).exitCode, 0);
        EXPECT_EQ(Decode(wav).out, Joined(kTensionReport) + "78D1CA1C# (9)\nReçu:78D1CA1C#\n");
        EXPECT_EQ(Decode(wav, { "--all" }).out, Joined(kTensionReport) + Joined(kTensionReport));
        const std::vector<std::string> timed = Lines(Decode(wav, { "--all", "--times" }).out);
        const std::size_t n = kTensionReport.size();
        ASSERT_EQ(timed.size(), 2 * n);
        EXPECT_NE(timed[0].substr(0, 13), timed[n].substr(0, 13));
        for (std::size_t i = 0; i < timed.size(); ++i)
            EXPECT_EQ(timed[i], timed[i / n * n].substr(0, 13) + kTensionReport[i % n]);
    }

    TEST_F(DecodeCommand, ThresholdComesFromTheConfigurationUnlessGiven)
    {
        // 30 dB below the generator: heard and closed at the sample file's threshold (Seuil=170:
        // 30); at 100 the characters still pass but the short closing pair does not.
        std::vector<std::int16_t> reply = BuildReply("", "78D1CA1C#", false, ReplyTiming {});
        ScaleLevel(reply, -30.0);
        const std::string wav = WriteWav(reply);
        std::string ini = testing::ReadBytes(kSampleIni);
        const std::size_t seuil = ini.find("Seuil=170");
        ASSERT_NE(seuil, std::string::npos);
        ini.replace(seuil, 9, "Seuil=100");
        const std::string deafIni = folder_.File("deaf.ini");
        testing::WriteBytes(deafIni, ini);
        const std::string leftOpen = "quelsor-cli decode: the recording ends before the answer "
                                     "'78D1CA1C#' was closed; it is not decoded\n";

        EXPECT_EQ(Decode(wav).out, Joined(kTensionReport));
        const CliRun deaf = Decode(wav, {}, deafIni);
        EXPECT_EQ(deaf.exitCode, 0);
        EXPECT_EQ(deaf.out, "");
        EXPECT_EQ(deaf.err, leftOpen);
        EXPECT_EQ(Decode(wav, { "--threshold", "30" }, deafIni).out, Joined(kTensionReport));
        EXPECT_EQ(Decode(wav, { "--threshold", "100" }).err, leftOpen);
    }

    TEST_F(DecodeCommand, AnAnswerLeftOpenIsNamedNotDecoded)
    {
        std::vector<std::int16_t> samples;
        AppendSilence(samples, 20);
        AppendDtmfSequence(samples, "78D1");
        const CliRun run = Decode(WriteWav(samples));
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err,
            "quelsor-cli decode: the recording ends before the answer '78D1' was closed; it is not "
            "decoded\n");
    }

    TEST_F(DecodeCommand, RefusesUnusableArguments)
    {
        const std::string wav = WriteWav(std::vector<std::int16_t>(512, 0));
        const std::string missing = folder_.File("none.wav");
        const CliRun noFile = Decode(missing);
        EXPECT_EQ(noFile.exitCode, 2);
        EXPECT_EQ(noFile.out, "");
        EXPECT_EQ(noFile.err.rfind("quelsor-cli decode: ", 0), 0u) << noFile.err;
        CheckRows({
            { { "decode", "--config", kSampleIni, "--request", "0" }, 2, "",
                Usage("decode", "missing FILE") },
            { { "decode", "--config", kSampleIni, "--request", "0", wav, wav }, 2, "",
                Usage("decode", "unexpected argument '" + wav + "'") },
            { { "decode", "--config", kSampleIni, "--request", "0", "--threshold", "-1", wav }, 2,
                "", Usage("decode", "invalid threshold '-1' (expected 0 or more)") },
            { { "decode", "--config", kSampleIni, "--request", "0", "--threshold", "3x", wav }, 2,
                "", Usage("decode", "invalid threshold '3x' (expected 0 or more)") },
            { { "decode", "--config", kSampleIni, "--request", "0", "--channel", "0", wav }, 2, "",
                Usage("decode", "invalid channel '0' (expected 1 or more)") },
            { { "decode", "--config", kSampleIni, "--request", "0", "--threads", "x", wav }, 2, "",
                Usage("decode", "invalid threads 'x' (expected 1 or more)") },
            { { "decode", "--config", kSampleIni, "--request", "0", "--threads" }, 2, "",
                Usage("decode", "--threads needs a value") },
            { { "decode", "--config", kSampleIni, "--request", "0", "--times", "--format", "csv",
                  wav },
                2, "",
                Usage("decode", "--times is for the text format: the records carry their time") },
            { { "decode", "--config", kSampleIni, "--request", "7", wav }, 2, "",
                "quelsor-cli decode: request 7 is not one of the 3 request items of '" + kSampleIni
                    + "' (-1 for none)\n" },
        });
    }

    TEST(DecodingCommands, EveryOneAnswersHelp)
    {
        for (const char* command : { "formula", "answer", "decode", "simulate", "request" }) {
            const CliRun run = RunCli({ command, "--help" });
            EXPECT_EQ(run.exitCode, 0) << command;
            EXPECT_EQ(run.out.rfind(std::string("Usage: quelsor-cli ") + command, 0), 0u)
                << command;
            EXPECT_EQ(run.err, "") << command;
        }
    }

} // namespace
} // namespace quelsor
