#include "common/WideText.h"
#include "common/FileOpen.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace quelsor {
namespace {

    // A character in UTF-8 and as wide units (UTF-16 where wchar_t has 16 bits, else UTF-32).
    struct WideRow {
        const char* what;
        std::string utf8;
        std::wstring utf16;
        std::wstring utf32;
    };

    const WideRow kWideRows[] = {
        { "empty", "", L"", L"" },
        { "ASCII path", "C:\\Prog\\q.ini", L"C:\\Prog\\q.ini", L"C:\\Prog\\q.ini" },
        { "accents",
            "Donn\xC3\xA9"
            "es \xC3\xA0 l'essai",
            L"Donn\u00E9es \u00E0 l'essai", L"Donn\u00E9es \u00E0 l'essai" },
        { "euro sign", "\xE2\x82\xAC", L"\u20AC", L"\u20AC" },
        { "outside the BMP", "\xF0\x9F\x8E\xB5", std::wstring { wchar_t(0xD83C), wchar_t(0xDFB5) },
            std::wstring(1, wchar_t(0x1F3B5)) },
    };

    TEST(WideText, ConvertsBothWaysWithSurrogatePairsWhereWideIsUtf16)
    {
        for (const WideRow& row : kWideRows) {
            const std::wstring& expected = sizeof(wchar_t) == 2 ? row.utf16 : row.utf32;
            std::wstring wide;
            ASSERT_TRUE(WideFromUtf8(row.utf8, wide)) << row.what;
            EXPECT_EQ(wide, expected) << row.what;
            std::string back;
            ASSERT_TRUE(Utf8FromWide(wide, back)) << row.what;
            EXPECT_EQ(back, row.utf8) << row.what;
        }
    }

    TEST(WideText, RefusesWhatHasNoFaithfulConversion)
    {
        std::wstring wide;
        EXPECT_FALSE(WideFromUtf8("caf\xE9", wide)); // Windows-1252, not UTF-8
        EXPECT_FALSE(WideFromUtf8("\xED\xA0\x80", wide)); // an encoded surrogate
        EXPECT_FALSE(WideFromUtf8("\xC3", wide)); // cut short
        std::string text;
        EXPECT_FALSE(Utf8FromWide(std::wstring(1, wchar_t(0xD800)), text)); // lone surrogate
        EXPECT_FALSE(Utf8FromWide(std::wstring { wchar_t(0xDC00), L'a' }, text));
    }

    TEST(WideText, ProgramArgumentsAreTheArgumentsInUtf8)
    {
        char program[] = "quelsor-cli";
        char command[] = "config";
        char file[] = "r\xC3\xA9glages.ini";
        char* argv[] = { program, command, file, nullptr };
        const std::vector<std::string> arguments = ProgramArguments(3, argv);
#ifdef _WIN32
        // Read again from the process's own command line: this test program's, not argv.
        ASSERT_FALSE(arguments.empty());
        EXPECT_NE(arguments.front().find("test_common"), std::string::npos);
#else
        EXPECT_EQ(arguments, (std::vector<std::string> { program, command, file }));
#endif
    }

    TEST(FileOpen, PathInFolderAddsOneSeparator)
    {
#ifdef _WIN32
        const std::string sep = "\\";
#else
        const std::string sep = "/";
#endif
        EXPECT_EQ(PathInFolder("", "tmp.wav"), "tmp.wav");
        EXPECT_EQ(PathInFolder("cache", "tmp.wav"), "cache" + sep + "tmp.wav");
        EXPECT_EQ(PathInFolder("cache/", "tmp.wav"), "cache/tmp.wav");
#ifdef _WIN32
        EXPECT_EQ(PathInFolder("C:\\Cache\\", "tmp.wav"), "C:\\Cache\\tmp.wav");
        EXPECT_EQ(PathInFolder("C:", "tmp.wav"), "C:tmp.wav");
#endif
    }

    // A file whose name needs more than the ANSI code page: written, read back and removed
    // through the UTF-8 name.
    TEST(FileOpen, OpensAndRemovesFilesNamedInUtf8)
    {
        for (const std::string name : { "donn\xC3\xA9"
                                        "es \xE2\x82\xAC.wav",
                 "\xD0\xBA\xD0\xB8\xD1\x80 \xCE\xB1.wav" }) {
            const std::string path = ::testing::TempDir() + "quelsor_open_" + name;
            std::FILE* out = OpenFileUtf8(path, "wb");
            ASSERT_NE(out, nullptr) << name;
            EXPECT_EQ(std::fwrite("RIFF", 1, 4, out), 4u);
            std::fclose(out);
            std::FILE* in = OpenFileUtf8(path, "rb");
            ASSERT_NE(in, nullptr) << name;
            char bytes[8] = {};
            EXPECT_EQ(std::fread(bytes, 1, sizeof bytes, in), 4u);
            EXPECT_EQ(std::string(bytes), "RIFF");
            std::fclose(in);
            EXPECT_TRUE(RemoveFileUtf8(path)) << name;
            EXPECT_EQ(OpenFileUtf8(path, "rb"), nullptr) << name;
            EXPECT_FALSE(RemoveFileUtf8(path)) << name;
        }
#ifdef _WIN32
        // A name that is not UTF-8 is refused rather than guessed at.
        EXPECT_EQ(OpenFileUtf8(::testing::TempDir() + "caf\xE9.wav", "wb"), nullptr);
#endif
    }

} // namespace
} // namespace quelsor
