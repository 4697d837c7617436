#include "tests/support/CliRunner.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quelsor {
namespace {

    using testing::CliRun;
    using testing::ScratchFolder;
    using testing::WriteBytes;

    CliRun RunConfigCommand(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), "config");
        return testing::RunCli(arguments);
    }

    TEST(CliConfig, PrintsTheLoadAndEndsWithTheErrorOfAnEarlyStop)
    {
        ScratchFolder folder;
        const std::string ini = folder.File("q.ini");
        WriteBytes(ini,
            "[General]\nSeuil=90\n[SEQ1_12_A]\nLGSEQ=5\nZ1=T,BIN,0,8,Z1/10\nZ1_0=0,Zero\n"
            "[SEQ2_34]\n[SEQ3_56_C]\n");
        const CliRun run = RunConfigCommand({ ini });
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out,
            "Seuil=90\n[0] 12 A\n  LGSEQ=5\n"
            "  Z1 Num=1 Name=T Mode=0 StartBit=0 BitLength=8 Formula=Z1/10\n    0=Zero\n"
            "error: List index out of bounds (2)\n");
        EXPECT_EQ(run.err, "");
    }

    TEST(CliConfig, LoadsAMissingFileAsTheWindowDoesWithANote)
    {
        ScratchFolder folder;
        const CliRun run = RunConfigCommand({ folder.File("none.ini") });
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out, "Seuil=200\n");
        EXPECT_NE(run.err.find("file not found"), std::string::npos) << run.err;
    }

    TEST(CliConfig, AnswersHelpAndRefusesWrongArguments)
    {
        const CliRun help = RunConfigCommand({ "--help" });
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_NE(help.out.find("Usage: quelsor-cli config FILE.ini"), std::string::npos);
        EXPECT_EQ(RunConfigCommand({}).exitCode, 2);
        EXPECT_EQ(RunConfigCommand({ "a.ini", "b.ini" }).exitCode, 2);
        EXPECT_EQ(RunConfigCommand({ "--bogus" }).exitCode, 2);
    }

} // namespace
} // namespace quelsor
