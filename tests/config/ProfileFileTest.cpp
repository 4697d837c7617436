#include "config/ProfileFile.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace quelsor {
namespace {

    const std::string kAbsent = "<absent>";

    struct ReadRow {
        const char* what;
        std::string content;
        const char* section;
        const char* key;
        std::string expected; // kAbsent when the default comes back
    };

    const ReadRow kReadRows[] = {
        { "plain", "[General]\nSeuil=120\n", "General", "Seuil", "120" },
        { "names without case", "[general]\nSEUIL=120\n", "GENERAL", "seuil", "120" },
        { "blanks around names and values", "  [  General  ]  \n  Seuil  =  120  \n", "General",
            "Seuil", "120" },
        { "tabs are blanks", "[General]\n\tSeuil\t=\t120\t\n", "General", "Seuil", "120" },
        { "inner blanks kept", "[S 1]\nk=a  b\n", "S 1", "k", "a  b" },
        { "double quotes removed", "[S]\nk=\"a b\"\n", "S", "k", "a b" },
        { "single quotes removed", "[S]\nk='a b'\n", "S", "k", "a b" },
        { "blanks inside quotes kept", "[S]\nk = \" a \" \n", "S", "k", " a " },
        { "one pair only", "[S]\nk=\"\"x\"\"\n", "S", "k", "\"x\"" },
        { "quotes that do not match stay", "[S]\nk=\"x'\n", "S", "k", "\"x'" },
        { "a lone quote stays", "[S]\nk=\"\n", "S", "k", "\"" },
        { "empty quotes give empty text", "[S]\nk=\"\"\n", "S", "k", "" },
        { "empty value is not the default", "[S]\nk=\n", "S", "k", "" },
        { "value keeps further '='", "[S]\nk=a=b\n", "S", "k", "a=b" },
        { "comment line", "[S]\n;k=1\n", "S", "k", kAbsent },
        { "indented comment line", "[S]\n   ;k=1\n", "S", "k", kAbsent },
        { "';' after the start is part of the value", "[S]\nk=1 ; note\n", "S", "k", "1 ; note" },
        { "line without '='", "[S]\nk\n", "S", "k", kAbsent },
        { "empty key name", "[S]\n=1\n", "S", "", kAbsent },
        { "key before any section", "k=1\n[S]\n", "S", "k", kAbsent },
        { "first duplicate key wins", "[S]\nk=1\nK=2\n", "S", "k", "1" },
        { "first duplicate section wins", "[S]\nk=1\n[s]\nk=2\nj=3\n", "S", "k", "1" },
        { "a repeated section adds nothing", "[S]\nk=1\n[s]\nk=2\nj=3\n", "S", "j", kAbsent },
        { "keys stay in their section", "[A]\nk=1\n[B]\n", "B", "k", kAbsent },
        { "text after ']' ignored", "[S] ; old\nk=1\n", "S", "k", "1" },
        { "'[' without ']' is no header", "[S]\n[T\nk=1\n", "S", "k", "1" },
        { "CRLF", "[S]\r\nk=1\r\nj=2\r\n", "S", "j", "2" },
        { "CR", "[S]\rk=1\rj=2\r", "S", "j", "2" },
        { "no line end at the end", "[S]\nk=1", "S", "k", "1" },
        { "byte order mark skipped", "\xEF\xBB\xBF[General]\nSeuil=90\n", "General", "Seuil",
            "90" },
        { "UTF-8 names", "[SEQ1_1_\xC3\x89tat]\nZ1=Temp\xC3\xA9rature\n", "SEQ1_1_\xC3\x89tat",
            "Z1", "Temp\xC3\xA9rature" },
        { "Windows-1252 file read as such", "[SEQ1_1_\xC9tat]\nZ1=Temp\xE9rature\n",
            "SEQ1_1_\xC3\x89tat", "Z1", "Temp\xC3\xA9rature" },
        { "missing section", "[S]\nk=1\n", "T", "k", kAbsent },
    };

    TEST(ProfileFile, ReadsValuesByTheFileConventions)
    {
        for (const ReadRow& row : kReadRows) {
            ProfileFile profile;
            profile.Parse(row.content);
            EXPECT_EQ(profile.ReadString(row.section, row.key, kAbsent), row.expected) << row.what;
        }
    }

    TEST(ProfileFile, ListsSectionsAndKeysInFileOrderWhateverTheLineEnds)
    {
        for (const char* lineEnd : { "\n", "\r\n", "\r" }) {
            const std::string e = lineEnd;
            ProfileFile profile;
            profile.Parse("; header" + e + "[Zeta]" + e + "b=1" + e + "A=2" + e + "noise" + e + e
                + "[alpha]" + e + "z=1" + e + "[ZETA]" + e + "c=3" + e + "[Mid]");
            EXPECT_EQ(profile.SectionNames(), (StringList { "Zeta", "alpha", "Mid" }));
            EXPECT_EQ(profile.KeyNames("zeta"), (StringList { "b", "A" }));
            EXPECT_EQ(profile.KeyNames("Mid"), StringList {});
            EXPECT_EQ(profile.KeyNames("none"), StringList {});
        }
    }

    TEST(ProfileFile, ListsADuplicateKeyOnce)
    {
        ProfileFile profile;
        profile.Parse("[S]\nlgseq=9\nZ1=a\nLGSEQ=7\n");
        EXPECT_EQ(profile.KeyNames("S"), (StringList { "lgseq", "Z1" }));
        EXPECT_EQ(profile.ReadInteger("S", "LGSEQ", 0), 9);
    }

    TEST(ProfileFile, TellsAWindows1252FileFromAUtf8One)
    {
        ProfileFile profile;
        profile.Parse("[S]\nk=Arr\xC3\xAAt\n");
        EXPECT_FALSE(profile.IsWindows1252());
        profile.Parse("[S]\nk=Arr\xEAt\n");
        EXPECT_TRUE(profile.IsWindows1252());
        EXPECT_EQ(profile.ReadString("S", "k", ""), "Arr\xC3\xAAt");
    }

    TEST(ProfileFile, ReadsIntegersWithTheirDefault)
    {
        ProfileFile profile;
        profile.Parse("[S]\nhex=$64\nbad=abc\nempty=\nspaced=  42  \n");
        EXPECT_EQ(profile.ReadInteger("S", "hex", 7), 100);
        EXPECT_EQ(profile.ReadInteger("S", "bad", 7), 7);
        EXPECT_EQ(profile.ReadInteger("S", "empty", 7), 7);
        EXPECT_EQ(profile.ReadInteger("S", "spaced", 7), 42); // the value is trimmed first
        EXPECT_EQ(profile.ReadInteger("S", "missing", 7), 7);
    }

    TEST(ProfileFile, AMissingFileIsEmpty)
    {
        ProfileFile profile;
        profile.Parse("[S]\nk=1\n");
        const auto missing
            = std::filesystem::temp_directory_path() / "quelsor-no-such-dir" / "x.ini";
        EXPECT_FALSE(profile.Load(missing.string()));
        EXPECT_TRUE(profile.SectionNames().empty());
        EXPECT_FALSE(profile.Load(std::filesystem::temp_directory_path().string())); // a folder
    }

} // namespace
} // namespace quelsor
