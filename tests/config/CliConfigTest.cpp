#include "TempFolder.h"
#include "tests/support/ConsoleText.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace quelsor {
namespace {

    using testing::ReadBytes;
    using testing::TempFolder;
    using testing::WriteBytes;

    struct CliRun {
        int exitCode;
        std::string out;
        std::string err;
    };

    CliRun RunConfigCommand(const TempFolder& folder, const std::string& arguments)
    {
        const std::string out = folder.File("out.txt");
        const std::string err = folder.File("err.txt");
        const std::string command
            = "\"" QUELSOR_CLI "\" config " + arguments + " >\"" + out + "\" 2>\"" + err + "\"";
#ifdef _WIN32
        // cmd.exe drops the first and the last quote of a line that starts with one.
        const int status = std::system(("\"" + command + "\"").c_str());
#else
        int status = std::system(command.c_str());
        status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
        return CliRun { status, testing::ConsoleText(ReadBytes(out)),
            testing::ConsoleText(ReadBytes(err)) };
    }

    TEST(CliConfig, PrintsTheLoadAndEndsWithTheErrorOfAnEarlyStop)
    {
        TempFolder folder;
        const std::string ini = folder.File("q.ini");
        WriteBytes(ini,
            "[General]\nSeuil=90\n[SEQ1_12_A]\nLGSEQ=5\nZ1=T,BIN,0,8,Z1/10\nZ1_0=0,Zero\n"
            "[SEQ2_34]\n[SEQ3_56_C]\n");
        const CliRun run = RunConfigCommand(folder, "\"" + ini + "\"");
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out,
            "Seuil=90\n[0] 12 A\n  LGSEQ=5\n"
            "  Z1 Num=1 Name=T Mode=0 StartBit=0 BitLength=8 Formula=Z1/10\n    0=Zero\n"
            "error: List index out of bounds (2)\n");
        EXPECT_EQ(run.err, "");
    }

    TEST(CliConfig, LoadsAMissingFileAsTheWindowDoesWithANote)
    {
        TempFolder folder;
        const CliRun run = RunConfigCommand(folder, "\"" + folder.File("none.ini") + "\"");
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out, "Seuil=200\n");
        EXPECT_NE(run.err.find("file not found"), std::string::npos) << run.err;
    }

    TEST(CliConfig, AnswersHelpAndRefusesWrongArguments)
    {
        TempFolder folder;
        const CliRun help = RunConfigCommand(folder, "--help");
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_NE(help.out.find("Usage: quelsor-cli config FILE.ini"), std::string::npos);
        EXPECT_EQ(RunConfigCommand(folder, "").exitCode, 2);
        EXPECT_EQ(RunConfigCommand(folder, "a.ini b.ini").exitCode, 2);
        EXPECT_EQ(RunConfigCommand(folder, "--bogus").exitCode, 2);
    }

} // namespace
} // namespace quelsor
