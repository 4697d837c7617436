// The command line of every quelsor-cli command as CommandLine reads it: the help, numbers, and
// usage errors said in one line whatever the command.

#include "tests/support/CliRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace quelsor {
namespace {

    using testing::CliRun;
    using testing::Lines;
    using testing::RunCli;

    const std::string kSampleIni = QUELSOR_SAMPLE_INI;

    // Columns of UTF-8 text.
    std::size_t Columns(const std::string& line)
    {
        return static_cast<std::size_t>(
            std::count_if(line.begin(), line.end(), [](char c) { return (c & 0xC0) != 0x80; }));
    }

    // The manual pages are made of these helps: each starts with its usage line and fits in 79
    // columns. A help asked for wins over the errors of the other arguments.
    TEST(CommandLine, EveryCommandAnswersHelpWithin79Columns)
    {
        const CliRun overview = RunCli({ "--help" });
        std::vector<std::string> helps { overview.out };
        for (const char* command : { "generate", "detect", "fft", "filters", "config", "formula",
                 "answer", "decode", "devices", "simulate", "request", "poll" }) {
            const CliRun run = RunCli({ command, "--help" });
            EXPECT_EQ(run.exitCode, 0) << command;
            EXPECT_EQ(run.err, "") << command;
            const std::string usage = std::string("Usage: quelsor-cli ") + command;
            EXPECT_TRUE(run.out.rfind(usage + ' ', 0) == 0 || run.out.rfind(usage + '\n', 0) == 0)
                << run.out;
            helps.push_back(run.out);
        }
        for (const std::string& help : helps) {
            for (const std::string& line : Lines(help))
                EXPECT_LE(Columns(line), 79u) << line;
        }
        const CliRun despite = RunCli({ "decode", "--threads", "x", "--bogus", "-h" });
        EXPECT_EQ(despite.exitCode, 0);
        EXPECT_EQ(despite.out, RunCli({ "decode", "--help" }).out);
    }

    TEST(CommandLine, UsageErrorsAreOneLineNamingTheCommand)
    {
        struct Row {
            std::vector<std::string> arguments;
            std::string problem;
        };
        const std::string ini = kSampleIni;
        const Row rows[] = {
            // Arguments that nothing takes; after "--", one that begins with '-' is an operand.
            { { "filters", "extra" }, "unexpected argument 'extra'" },
            { { "detect", "a.wav", "b.wav" }, "unexpected argument 'b.wav'" },
            { { "config", "a.ini", "--", "-b.ini" }, "unexpected argument '-b.ini'" },
            { { "fft", "--bogus", "x.wav" }, "unknown option '--bogus'" },
            { { "generate", "-x", "1" }, "unknown option '-x'" },
            { { "poll", "--config", ini, "--request", "0", "--mqtt-bogus=1" },
                "unknown option '--mqtt-bogus=1'" },
            // Options without their value, which can only be missing at the end.
            { { "generate", "-o" }, "-o needs a value" },
            { { "answer", "1", "--config" }, "--config needs a value" },
            { { "poll", "--config", ini, "--request" }, "--request needs a value" },
            { { "detect", "x.wav", "--threshold=" }, "--threshold needs a value" },
            // Options of one value, given twice.
            { { "answer", "--config", ini, "--config", ini, "--request", "0", "1" },
                "--config is given more than once" },
            { { "decode", "--config", ini, "--request", "0", "--threads", "2", "--threads", "2",
                  "x.wav" },
                "--threads is given more than once" },
            { { "simulate", "--answer", "1=2", "--level", "-1", "--level", "-2" },
                "--level is given more than once" },
            // Values refused by their option's check, and what is required.
            { { "detect", "--threshold", "-1", "x.wav" },
                "invalid threshold '-1' (expected 0 or more)" },
            { { "poll", "--config", ini, "--request", "0", "--every", "0s" },
                "invalid duration '0s' (expected 30s, 10m, 1h)" },
            { { "fft" }, "missing FILE" },
            { { "config" }, "missing FILE.ini" },
        };
        for (const Row& row : rows) {
            const std::string& command = row.arguments.front();
            SCOPED_TRACE(command + ": " + row.problem);
            const CliRun run = RunCli(row.arguments);
            EXPECT_EQ(run.exitCode, 2);
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(run.err,
                "quelsor-cli " + command + ": " + row.problem + "\nRun 'quelsor-cli " + command
                    + " --help' for usage.\n");
        }
    }

    // Numbers are decimal ("010" is ten, never octal eight, "+0" zero); flags may be repeated.
    TEST(CommandLine, NumbersAreDecimalAndFlagsRepeat)
    {
        const CliRun ten = RunCli({ "answer", "--config", kSampleIni, "--request", "010", "1" });
        EXPECT_EQ(ten.exitCode, 2);
        EXPECT_EQ(ten.err,
            "quelsor-cli answer: request 10 is not one of the 3 request items of '" + kSampleIni
                + "' (-1 for none)\n");
        const CliRun twice = RunCli({ "answer", "--debug", "--config", kSampleIni, "--debug",
            "--request", "+0", "78D1CA1C#" });
        EXPECT_EQ(twice.exitCode, 0) << twice.err;
        ASSERT_FALSE(twice.out.empty());
        EXPECT_EQ(Lines(twice.out).back(), "Z 2.  Moteur 1=Marche");
    }

} // namespace
} // namespace quelsor
