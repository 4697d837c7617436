// The configuration file writes through the Windows API (ReplaceFileW and its fall-backs), with
// names outside the ANSI code page. Built for Windows only; run under Wine by the cross-build.

#include "TempFolder.h"
#include "config/Configuration.h"
#include "config/FileReplace.h"
#include "config/ProfileFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h names WriteProfileStringA this way; the name here is the program's own function.
#undef WriteProfileString

namespace quelsor {
namespace {

    namespace fs = std::filesystem;
    using testing::ReadBytes;
    using testing::TempFolder;
    using testing::WriteBytes;

    std::size_t EntriesIn(const fs::path& folder)
    {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }

    DWORD AttributesOf(const fs::path& path) { return GetFileAttributesW(path.c_str()); }

    // Names in Windows-1252 and beyond it, with spaces: the file and its folder.
    TEST(WindowsFile, WritesAConfigurationNamedOutsideTheAnsiCodePage)
    {
        TempFolder root;
        for (const std::string name :
            { "R\xC3\xA9glages \xC3\xA0 jour.ini", "\xCE\xB1\xCE\xB2 \xE2\x82\xAC.ini" }) {
            const fs::path folder = root.Path() / PathFromUtf8("Dossier \xC3\xA9t\xC3\xA9");
            fs::create_directories(folder);
            const std::string file = Utf8FromPath(folder / PathFromUtf8(name));
            WriteBytes(file, "; r\xE9glages\r\n[General]\r\nSeuil=120\r\n");
            ASSERT_TRUE(WriteProfileString(file, "General", "Seuil", "150")) << name;
            EXPECT_EQ(ReadBytes(file), "; r\xE9glages\r\n[General]\r\nSeuil=150\r\n") << name;
            EXPECT_EQ(EntriesIn(folder), 1u) << "no scratch file left: " << name;
            ProfileFile profile;
            ASSERT_TRUE(profile.Load(file)) << name;
            EXPECT_EQ(profile.ReadInteger("General", "Seuil", 0), 150);
            fs::remove(PathFromUtf8(file));
        }
    }

    TEST(WindowsFile, NeverWritesAReadOnlyFile)
    {
        TempFolder folder;
        const fs::path file = folder.Path() / "Quelsor.ini";
        WriteBytes(Utf8FromPath(file), "[General]\r\nSeuil=120\r\n");
        ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
        EXPECT_FALSE(WriteProfileString(Utf8FromPath(file), "General", "Seuil", "150"));
        EXPECT_EQ(ReadBytes(Utf8FromPath(file)), "[General]\r\nSeuil=120\r\n");
        EXPECT_EQ(EntriesIn(folder.Path()), 1u);
        SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    }

    TEST(WindowsFile, ReplacingKeepsTheFilesAttributes)
    {
        TempFolder folder;
        const fs::path file = folder.Path() / "Quelsor.ini";
        WriteBytes(Utf8FromPath(file), "[General]\r\nSeuil=120\r\n");
        ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_HIDDEN));
        if ((AttributesOf(file) & FILE_ATTRIBUTE_HIDDEN) == 0)
            GTEST_SKIP() << "this file system does not keep the hidden attribute (Wine keeps it "
                            "in extended attributes, which the folder may not support)";
        ASSERT_TRUE(WriteProfileString(Utf8FromPath(file), "General", "Seuil", "150"));
        EXPECT_EQ(ReadBytes(Utf8FromPath(file)), "[General]\r\nSeuil=150\r\n");
        EXPECT_NE(AttributesOf(file) & FILE_ATTRIBUTE_HIDDEN, 0u);
        EXPECT_EQ(EntriesIn(folder.Path()), 1u);
    }

    TEST(WindowsFile, AFileWithOtherHardLinksIsWrittenInPlace)
    {
        TempFolder folder;
        const fs::path file = folder.Path() / "Quelsor.ini";
        const fs::path other = folder.Path() / "copie.ini";
        WriteBytes(Utf8FromPath(file), "[General]\r\nSeuil=120\r\n");
        ASSERT_TRUE(CreateHardLinkW(other.c_str(), file.c_str(), nullptr));
        ASSERT_TRUE(WriteProfileString(Utf8FromPath(file), "General", "Seuil", "150"));
        EXPECT_EQ(ReadBytes(Utf8FromPath(other)), "[General]\r\nSeuil=150\r\n");
        EXPECT_EQ(EntriesIn(folder.Path()), 2u);
    }

    // What is left to do after a failed ReplaceFileW, in the two states it can leave.
    TEST(WindowsFile, AFailedReplaceNeverLosesTheContents)
    {
        const std::string bytes = "[General]\r\nSeuil=150\r\n";
        {
            // The file is still there: the scratch file goes, the file is rewritten in place.
            TempFolder folder;
            const fs::path file = folder.Path() / "Quelsor.ini";
            const fs::path scratch = folder.Path() / "qls1.tmp";
            WriteBytes(Utf8FromPath(file), "[General]\r\nSeuil=120\r\nplus=long\r\n");
            WriteBytes(Utf8FromPath(scratch), bytes);
            EXPECT_TRUE(FinishFailedReplace(file, scratch, bytes));
            EXPECT_EQ(ReadBytes(Utf8FromPath(file)), bytes);
            EXPECT_EQ(EntriesIn(folder.Path()), 1u);
        }
        {
            // ERROR_UNABLE_TO_MOVE_REPLACEMENT: the file is gone, the scratch file holds the
            // only copy. It takes the file's place.
            TempFolder folder;
            const fs::path file = folder.Path() / "Quelsor.ini";
            const fs::path scratch = folder.Path() / "qls2.tmp";
            WriteBytes(Utf8FromPath(scratch), bytes);
            EXPECT_TRUE(FinishFailedReplace(file, scratch, bytes));
            EXPECT_EQ(ReadBytes(Utf8FromPath(file)), bytes);
            EXPECT_FALSE(fs::exists(scratch));
        }
    }

    TEST(WindowsFile, ReportsTheFullWindowsPathOfAFailedSave)
    {
        TempFolder folder;
        const std::string file = Utf8FromPath(folder.Path() / "manque" / "Quelsor.ini");
        const std::string full = FullPathOf(file);
        EXPECT_EQ(full.substr(1, 2), ":\\") << full;
        EXPECT_EQ(full.find('/'), std::string::npos) << full;
    }

} // namespace
} // namespace quelsor
#endif
