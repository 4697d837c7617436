#include "config/ConfigLocation.h"
#include "TempFolder.h"
#include "config/Configuration.h"
#include "config/ProfileFile.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace quelsor {
namespace {

    namespace fs = std::filesystem;
    using testing::ReadBytes;
    using testing::TempFolder;
    using testing::WriteBytes;

    const std::string kSample = "[General]\nSeuil=170\n";

    // One start of an installed or portable program: which files exist before, what is chosen.
    struct ChoiceRow {
        const char* what;
        bool besideExists;
        bool userExists;
        bool sampleExists;
        bool expectBeside;
        bool expectCopied;
        const char* expectUserBytes; // nullptr: no user file afterwards
    };

    const ChoiceRow kChoiceRows[] = {
        { "portable copy: the file beside the program wins", true, true, true, true, false,
            "[General]\nSeuil=40\n" },
        { "installed, first start: the sample is copied", false, false, true, false, true,
            "[General]\nSeuil=170\n" },
        { "installed, later starts: the user's file is kept", false, true, true, false, false,
            "[General]\nSeuil=40\n" },
        { "installed without a sample: left to the first save", false, false, false, false, false,
            nullptr },
    };

    TEST(ConfigLocation, ChoosesBesideTheProgramElseTheUsersFolder)
    {
        for (const ChoiceRow& row : kChoiceRows) {
            TempFolder root;
            const fs::path bin = root.Path() / "bin";
            const fs::path user = root.Path() / "config dir \xC3\xA9" / "Quelsor";
            fs::create_directories(bin);
            const std::string program = Utf8FromPath(bin / "quelsor");
            const std::string sample = Utf8FromPath(root.Path() / "quelsor.ini");
            if (row.besideExists)
                WriteBytes(IniPathForExecutable(program), "[General]\nSeuil=90\n");
            if (row.userExists) {
                fs::create_directories(user);
                WriteBytes(Utf8FromPath(user / kUserIniName), "[General]\nSeuil=40\n");
            }
            if (row.sampleExists)
                WriteBytes(sample, kSample);

            const ConfigurationChoice choice
                = ChooseConfigurationFile(program, Utf8FromPath(user), sample);
            EXPECT_EQ(choice.besideExecutable, row.expectBeside) << row.what;
            EXPECT_EQ(choice.copiedFromSample, row.expectCopied) << row.what;
            EXPECT_TRUE(choice.problem.empty()) << row.what << ": " << choice.problem;
            EXPECT_EQ(choice.iniPath,
                row.expectBeside ? IniPathForExecutable(program)
                                 : Utf8FromPath(user / kUserIniName))
                << row.what;
            const fs::path userFile = user / kUserIniName;
            if (row.expectUserBytes == nullptr) {
                EXPECT_FALSE(fs::exists(userFile)) << row.what;
                EXPECT_EQ(fs::exists(user), !row.expectBeside) << row.what;
            } else {
                EXPECT_EQ(ReadBytes(Utf8FromPath(userFile)), row.expectUserBytes) << row.what;
            }
        }
    }

    TEST(ConfigLocation, AFolderThatCannotBeMadeIsReportedAndStillChosen)
    {
        TempFolder root;
        const fs::path blocker = root.Path() / "a file";
        WriteBytes(Utf8FromPath(blocker), "not a folder");
        const std::string user = Utf8FromPath(blocker / "Quelsor");
        const ConfigurationChoice choice = ChooseConfigurationFile(
            Utf8FromPath(root.Path() / "quelsor"), user, Utf8FromPath(root.Path() / "none.ini"));
        EXPECT_FALSE(choice.besideExecutable);
        EXPECT_FALSE(choice.copiedFromSample);
        EXPECT_NE(choice.problem.find(user), std::string::npos) << choice.problem;
        EXPECT_EQ(choice.iniPath, Utf8FromPath(blocker / "Quelsor" / kUserIniName));
    }

    TEST(ConfigLocation, TheCopyOfAReadOnlySampleCanBeWritten)
    {
        TempFolder root;
        const fs::path sample = root.Path() / "sample.ini";
        WriteBytes(Utf8FromPath(sample), kSample);
        fs::permissions(sample, fs::perms::owner_read, fs::perm_options::replace);
        const fs::path user = root.Path() / "Quelsor";
        const ConfigurationChoice choice = ChooseConfigurationFile(
            Utf8FromPath(root.Path() / "quelsor"), Utf8FromPath(user), Utf8FromPath(sample));
        ASSERT_TRUE(choice.copiedFromSample) << choice.problem;
        EXPECT_NE(fs::status(PathFromUtf8(choice.iniPath)).permissions() & fs::perms::owner_write,
            fs::perms::none);
        EXPECT_TRUE(WriteProfileString(choice.iniPath, "General", "Seuil", "150"));
        EXPECT_NE(ReadBytes(choice.iniPath).find("Seuil=150"), std::string::npos);
        fs::permissions(sample, fs::perms::owner_all, fs::perm_options::replace);
    }

} // namespace
} // namespace quelsor
