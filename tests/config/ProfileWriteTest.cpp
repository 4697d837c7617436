#include "TempFolder.h"
#include "config/Configuration.h"
#include "config/ProfileFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#ifndef _WIN32
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace quelsor {
namespace {

    using testing::ReadBytes;
    using testing::TempFolder;
    using testing::WriteBytes;

#ifdef _WIN32
    const std::string kPlatformEnd = "\r\n";
#else
    const std::string kPlatformEnd = "\n";
#endif

    struct WriteRow {
        const char* what;
        std::string before;
        const char* section;
        const char* key;
        const char* value;
        std::string after;
    };

    const WriteRow kWriteRows[] = {
        { "existing key", "[General]\r\nSeuil=120\r\n[S]\r\nk=1\r\n", "General", "Seuil", "150",
            "[General]\r\nSeuil=150\r\n[S]\r\nk=1\r\n" },
        { "existing key, other case, blanks kept before the value",
            "; c\n[general]\n  seuil = 120 \nx=1", "General", "Seuil", "150",
            "; c\n[general]\n  seuil = 150\nx=1" },
        { "quoted value replaced", "[General]\nSeuil=\"120\"\n", "General", "Seuil", "150",
            "[General]\nSeuil=150\n" },
        { "empty value filled", "[General]\nSeuil=\n", "General", "Seuil", "150",
            "[General]\nSeuil=150\n" },
        { "first of duplicate keys", "[General]\nSeuil=1\nSeuil=2\n", "General", "Seuil", "150",
            "[General]\nSeuil=150\nSeuil=2\n" },
        { "first of duplicate sections", "[General]\nA=1\n[X]\n[General]\nSeuil=2\n", "General",
            "Seuil", "150", "[General]\nA=1\nSeuil=150\n[X]\n[General]\nSeuil=2\n" },
        { "key appended after the last key of its section",
            "[General]\nFoo=1\n\n; next\n[S]\nk=1\n", "General", "Seuil", "150",
            "[General]\nFoo=1\nSeuil=150\n\n; next\n[S]\nk=1\n" },
        { "key appended under a section without keys", "[General]\r\n;Seuil=1\r\n[S]\r\n",
            "General", "Seuil", "150", "[General]\r\nSeuil=150\r\n;Seuil=1\r\n[S]\r\n" },
        { "key appended to a last line without line end", "x=1\r\n[General]\r\nA=1", "General",
            "Seuil", "150", "x=1\r\n[General]\r\nA=1\r\nSeuil=150" },
        { "section appended", "[S]\nk=1\n", "General", "Seuil", "150",
            "[S]\nk=1\n[General]\nSeuil=150\n" },
        { "section appended after a last line without line end", "[S]\r\nk=1", "General", "Seuil",
            "150", "[S]\r\nk=1\r\n[General]\r\nSeuil=150\r\n" },
        { "CR line ends kept", "[S]\rk=1\r", "General", "Seuil", "150",
            "[S]\rk=1\r[General]\rSeuil=150\r" },
        { "the first line end sets the style", "[S]\r\nk=1\nj=2\n", "S", "m", "3",
            "[S]\r\nk=1\nj=2\nm=3\r\n" },
        { "empty file", "", "General", "Seuil", "150",
            "[General]" + kPlatformEnd + "Seuil=150" + kPlatformEnd },
        { "byte order mark kept", "\xEF\xBB\xBF", "General", "Seuil", "150",
            "\xEF\xBB\xBF[General]" + kPlatformEnd + "Seuil=150" + kPlatformEnd },
        { "Windows-1252 bytes kept",
            "[SEQ1_1_\xC9tat]\r\nZ1=Temp\xE9rature\r\n[General]\r\nSeuil=20\r\n", "General",
            "Seuil", "150", "[SEQ1_1_\xC9tat]\r\nZ1=Temp\xE9rature\r\n[General]\r\nSeuil=150\r\n" },
        { "Windows-1252 file written in Windows-1252", "[S]\nk=\xE9\n", "S", "k", "Arr\xC3\xAAt",
            "[S]\nk=Arr\xEAt\n" },
        { "Windows-1252 section found by its UTF-8 name", "[\xC9tat]\nk=1\n", "\xC3\x89tat", "k",
            "2", "[\xC9tat]\nk=2\n" },
        { "UTF-8 file written in UTF-8", "[S]\nk=\xC3\xA9\n", "S", "k", "Arr\xC3\xAAt",
            "[S]\nk=Arr\xC3\xAAt\n" },
    };

    TEST(ProfileWrite, ChangesOnlyTheLineOfTheKey)
    {
        for (const WriteRow& row : kWriteRows) {
            const std::optional<std::string> after
                = WithProfileString(row.before, row.section, row.key, row.value);
            ASSERT_TRUE(after.has_value()) << row.what;
            EXPECT_EQ(*after, row.after) << row.what;
            ProfileFile reread;
            reread.Parse(*after);
            EXPECT_EQ(reread.ReadString(row.section, row.key, "<absent>"), row.value) << row.what;
        }
    }

    TEST(ProfileWrite, RefusesTextsAProfileFileCannotHold)
    {
        const std::string file = "[S]\nk=1\n";
        EXPECT_FALSE(WithProfileString(file, "S", "", "1"));
        EXPECT_FALSE(WithProfileString(file, "S", "a=b", "1"));
        EXPECT_FALSE(WithProfileString(file, "S", " k", "1"));
        EXPECT_FALSE(WithProfileString(file, "S", ";k", "1"));
        EXPECT_FALSE(WithProfileString(file, "S", "k", "1\n[T]"));
        EXPECT_FALSE(WithProfileString(file, "S", "k", "1\r2"));
        EXPECT_FALSE(WithProfileString(file, "", "k", "1"));
        EXPECT_FALSE(WithProfileString(file, "a]b", "k", "1"));
        EXPECT_FALSE(WithProfileString(file, "S\n", "k", "1"));
    }

    class MockMessages : public IOperatorMessages {
    public:
        MOCK_METHOD(void, ShowMessage, (const std::string& text), (override));
    };

    TEST(ProfileWrite, CreatesTheFileAndLeavesNoTemporaryFile)
    {
        TempFolder folder;
        const std::string file = folder.File("quelsor.ini");
        ASSERT_TRUE(WriteProfileString(file, "General", "Seuil", "150"));
        EXPECT_EQ(ReadBytes(file), "[General]" + kPlatformEnd + "Seuil=150" + kPlatformEnd);
        ASSERT_TRUE(WriteProfileString(file, "General", "Seuil", "20"));
        EXPECT_EQ(ReadBytes(file), "[General]" + kPlatformEnd + "Seuil=20" + kPlatformEnd);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()),
                      std::filesystem::directory_iterator()),
            1);
    }

    TEST(ProfileWrite, SaveSettingKeepsTheOtherBytesOfTheFile)
    {
        TempFolder folder;
        const std::string file = folder.File("Quelsor.ini");
        const std::string before
            = "; r\xE9glages\r\n[General]\r\nSeuil = 120\r\n\r\n[SEQ1_1234_Etat]\r\n"
              "LGSEQ=9\r\nZ1=T,BIN,0,8,Z1/10";
        WriteBytes(file, before);
        MockMessages messages;
        EXPECT_CALL(messages, ShowMessage).Times(0);
        ASSERT_TRUE(SaveSetting(file, "General", "Seuil", "150", messages));
        std::string expected = before;
        expected.replace(expected.find("120"), 3, "150");
        EXPECT_EQ(ReadBytes(file), expected);
    }

    TEST(ProfileWrite, ReportsAFailedWriteWithTheFullPath)
    {
        TempFolder folder;
        const std::string inMissingFolder = folder.File("missing/Quelsor.ini");
        const std::string folderItself = folder.File("sub");
        std::filesystem::create_directory(folder.Path() / "sub");
        for (const std::string& file : { inMissingFolder, folderItself }) {
            MockMessages messages;
            EXPECT_CALL(messages, ShowMessage("Unable to write to " + FullPathOf(file)));
            EXPECT_FALSE(SaveSetting(file, "General", "Seuil", "150", messages));
        }
        EXPECT_TRUE(std::filesystem::path(FullPathOf("rel.ini")).is_absolute());
        EXPECT_FALSE(std::filesystem::exists(folder.Path() / "missing"));
    }

#ifndef _WIN32
    namespace fs = std::filesystem;

    struct OrdinaryUser {
        uid_t uid;
        gid_t gid;
    };

    // The account the permission tests run as: this one, or nobody when running as root (root
    // writes any file, which would hide what an operator's account meets).
    OrdinaryUser TestUser()
    {
        if (::geteuid() != 0)
            return { ::geteuid(), ::getegid() };
        const passwd* nobody = ::getpwnam("nobody");
        return nobody ? OrdinaryUser { nobody->pw_uid, nobody->pw_gid }
                      : OrdinaryUser { 65534, 65534 };
    }

    // Runs body as TestUser(): in a child process that gave up root's rights, or here.
    bool AsOrdinaryUser(const std::function<bool()>& body)
    {
        if (::geteuid() != 0)
            return body();
        const OrdinaryUser user = TestUser();
        const pid_t child = ::fork();
        if (child == 0) {
            const bool dropped = ::setgroups(0, nullptr) == 0 && ::setgid(user.gid) == 0
                && ::setuid(user.uid) == 0;
            ::_exit(!dropped ? 3 : body() ? 0 : 1);
        }
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)
            || WEXITSTATUS(status) > 1) {
            ADD_FAILURE() << "the unprivileged child did not run";
            return false;
        }
        return WEXITSTATUS(status) == 0;
    }

    // Gives a file or folder to the test user (nothing to do when that is us).
    void GiveToTestUser(const std::string& name)
    {
        const OrdinaryUser user = TestUser();
        ASSERT_EQ(::chown(name.c_str(), user.uid, user.gid), 0) << name;
    }

    ino_t InodeOf(const std::string& name)
    {
        struct stat info { };
        return ::lstat(name.c_str(), &info) == 0 ? info.st_ino : 0;
    }

    std::size_t EntriesIn(const fs::path& folder)
    {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }

    TEST(ProfileWrite, NeverReplacesAFileItCannotRead)
    {
        TempFolder folder;
        const std::string file = folder.File("Quelsor.ini");
        WriteBytes(file, "[General]\nSeuil=120\nother=kept\n");
        GiveToTestUser(file);
        GiveToTestUser(Utf8FromPath(folder.Path()));
        std::filesystem::permissions(file, std::filesystem::perms::owner_write);
        EXPECT_FALSE(
            AsOrdinaryUser([&] { return WriteProfileString(file, "General", "Seuil", "150"); }));
        std::filesystem::permissions(file, std::filesystem::perms::owner_all);
        EXPECT_EQ(ReadBytes(file), "[General]\nSeuil=120\nother=kept\n");
    }

    TEST(ProfileWrite, WritesAWritableFileInAFolderTheUserCannotWriteTo)
    {
        TempFolder folder;
        const std::string file = folder.File("quelsor.ini");
        WriteBytes(file, "[General]\nSeuil=120\nother=kept\n");
        GiveToTestUser(file);
        // An administrator's program folder: readable, not writable by the operator.
        fs::permissions(folder.Path(),
            fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read
                | fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
        const ino_t before = InodeOf(file);
        EXPECT_TRUE(
            AsOrdinaryUser([&] { return WriteProfileString(file, "General", "Seuil", "150"); }));
        fs::permissions(folder.Path(), fs::perms::owner_all);
        EXPECT_EQ(ReadBytes(file), "[General]\nSeuil=150\nother=kept\n");
        EXPECT_EQ(InodeOf(file), before); // written in place
        EXPECT_EQ(EntriesIn(folder.Path()), 1u);
    }

    TEST(ProfileWrite, NeverReplacesAFileTheUserMayNotWrite)
    {
        TempFolder folder;
        const std::string file = folder.File("quelsor.ini");
        const std::string link = folder.File("second-name.ini");
        WriteBytes(file, "[General]\nSeuil=120\n");
        fs::create_hard_link(file, link);
        GiveToTestUser(file);
        GiveToTestUser(Utf8FromPath(folder.Path())); // the folder itself would allow a rename
        fs::permissions(
            file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        const ino_t before = InodeOf(file);
        EXPECT_FALSE(
            AsOrdinaryUser([&] { return WriteProfileString(file, "General", "Seuil", "150"); }));
        EXPECT_EQ(ReadBytes(file), "[General]\nSeuil=120\n");
        EXPECT_EQ(InodeOf(file), before);
        EXPECT_EQ(fs::hard_link_count(file), 2u);
        EXPECT_EQ(EntriesIn(folder.Path()), 2u);
    }

    TEST(ProfileWrite, NeverFollowsOrTrustsAScratchName)
    {
        TempFolder folder;
        const std::string file = folder.File("quelsor.ini");
        const std::string victim = folder.File("victim.txt");
        WriteBytes(file, "[General]\nSeuil=120\n");
        WriteBytes(victim, "not yours\n");
        for (const char* scratch : { "quelsor.ini.tmp", "quelsor.ini.new", "quelsor.ini~" })
            fs::create_symlink("victim.txt", folder.Path() / scratch);
        ASSERT_TRUE(WriteProfileString(file, "General", "Seuil", "150"));
        EXPECT_EQ(ReadBytes(victim), "not yours\n");
        EXPECT_FALSE(fs::is_symlink(file));
        EXPECT_EQ(ReadBytes(file), "[General]\nSeuil=150\n");
        EXPECT_TRUE(fs::is_symlink(folder.Path() / "quelsor.ini.tmp"));
        EXPECT_EQ(EntriesIn(folder.Path()), 5u);
    }

    TEST(ProfileWrite, ReplacesThroughAScratchFileKeepingModeOwnerGroupAndHardLinks)
    {
        TempFolder folder;
        const std::string file = folder.File("quelsor.ini");
        WriteBytes(file, "[General]\nSeuil=120\n");
        GiveToTestUser(file);
        fs::permissions(file,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read
                | fs::perms::group_write);
        struct stat before { };
        ASSERT_EQ(::stat(file.c_str(), &before), 0);
        // Replaced: a crash leaves the old or the new file. (As root, the owner is another user.)
        ASSERT_TRUE(WriteProfileString(file, "General", "Seuil", "150"));
        struct stat after { };
        ASSERT_EQ(::stat(file.c_str(), &after), 0);
        EXPECT_NE(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_gid, before.st_gid);
        EXPECT_EQ(ReadBytes(file), "[General]\nSeuil=150\n");

        // A second name for the file: both names keep seeing the same, updated file.
        const std::string link = folder.File("copy.ini");
        fs::create_hard_link(file, link);
        ASSERT_TRUE(WriteProfileString(link, "General", "Seuil", "30"));
        EXPECT_EQ(ReadBytes(file), "[General]\nSeuil=30\n");
        EXPECT_EQ(fs::hard_link_count(file), 2u);
        EXPECT_EQ(EntriesIn(folder.Path()), 2u);
    }

    TEST(ProfileWrite, WritesThroughASymbolicLinkAndKeepsTheFileMode)
    {
        TempFolder folder;
        const std::string target = folder.File("real.ini");
        const std::string link = folder.File("Quelsor.ini");
        WriteBytes(target, "[General]\nSeuil=120\n");
        std::filesystem::permissions(target,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write
                | std::filesystem::perms::group_read);
        std::filesystem::create_symlink("real.ini", link);
        ASSERT_TRUE(WriteProfileString(link, "General", "Seuil", "150"));
        EXPECT_TRUE(std::filesystem::is_symlink(link));
        EXPECT_EQ(ReadBytes(target), "[General]\nSeuil=150\n");
        EXPECT_EQ(std::filesystem::status(target).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write
                | std::filesystem::perms::group_read);
    }
#endif

} // namespace
} // namespace quelsor
