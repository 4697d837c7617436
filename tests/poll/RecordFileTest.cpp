#include "poll/RecordFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace quelsor {
namespace {

    namespace fs = std::filesystem;

    // A folder of this test's own under the test's scratch folder.
    class RecordFileTest : public ::testing::Test {
    protected:
        RecordFileTest()
            : folder_(fs::path(::testing::TempDir())
                / (std::string("record-file-")
                    + ::testing::UnitTest::GetInstance()->current_test_info()->name()))
        {
            fs::remove_all(folder_);
            fs::create_directories(folder_);
        }
        ~RecordFileTest() override { fs::remove_all(folder_); }

        std::string File(const std::string& name) const { return (folder_ / name).string(); }
        static std::string Read(const std::string& path)
        {
            std::ifstream in(path, std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(in), {});
        }
        static void Write(const std::string& path, const std::string& bytes)
        {
            std::ofstream(path, std::ios::binary) << bytes;
        }

        static ResultRecord Record(const char* status)
        {
            ResultRecord record = RecordWithoutZone("1234 Etat", status);
            record.isoTime = "2026-12-08T10:00:00.000Z";
            return record;
        }

        fs::path folder_;
    };

    // The name is UTF-8, accents included (on Windows not every ANSI code page has them).
    TEST_F(RecordFileTest, NamesAreUtf8)
    {
        const std::string name = "relevés été.jsonl";
        const fs::path path = folder_ / fs::path(std::u8string(name.begin(), name.end()));
        const std::u8string utf8 = path.u8string();
        RecordFile file(std::string(utf8.begin(), utf8.end()), RecordFormat::Json);
        std::string error;
        ASSERT_TRUE(file.Open(error)) << error;
        ASSERT_TRUE(file.Append(Record("ok"), error)) << error;
        EXPECT_EQ(fs::file_size(path), FormatJsonLine(Record("ok")).size());
    }

    TEST_F(RecordFileTest, CsvHeaderOnlyInANewOrEmptyFileAndOneLinePerRecord)
    {
        const std::string header = CsvHeaderLine();
        const std::string line = FormatCsvLine(Record("timeout"));
        const std::string path = File("results.csv");
        std::string error;
        {
            RecordFile file(path, RecordFormat::Csv);
            ASSERT_TRUE(file.Open(error)) << error;
            EXPECT_EQ(Read(path), header); // written at once
            ASSERT_TRUE(file.Append(Record("timeout"), error)) << error;
            EXPECT_EQ(Read(path), header + line); // on disk before the next record
        }
        {
            RecordFile again(path, RecordFormat::Csv);
            ASSERT_TRUE(again.Open(error));
            ASSERT_TRUE(again.Append(Record("timeout"), error));
        }
        EXPECT_EQ(Read(path), header + line + line);

        Write(File("empty.csv"), "");
        RecordFile empty(File("empty.csv"), RecordFormat::Csv);
        ASSERT_TRUE(empty.Open(error));
        EXPECT_EQ(Read(File("empty.csv")), header);

        RecordFile json(File("results.jsonl"), RecordFormat::Json);
        ASSERT_TRUE(json.Open(error));
        ASSERT_TRUE(json.Append(Record("error"), error));
        EXPECT_EQ(Read(File("results.jsonl")), FormatJsonLine(Record("error")));
    }

    TEST_F(RecordFileTest, ATornLastLineIsRemovedWhenOpened)
    {
        const std::string whole = FormatJsonLine(Record("ok"));
        const struct {
            const char* what;
            std::string before;
            std::string after;
        } rows[] = {
            { "torn after whole lines", whole + whole + "{\"time\":\"2026", whole + whole },
            { "torn first line", "{\"time\"", "" },
            { "nothing torn", whole, whole },
            { "torn line longer than a read", whole + std::string(10000, 'x'), whole },
        };
        for (const auto& row : rows) {
            const std::string path = File("torn.jsonl");
            Write(path, row.before);
            RecordFile file(path, RecordFormat::Json);
            std::string error;
            ASSERT_TRUE(file.Open(error)) << row.what << ": " << error;
            EXPECT_EQ(Read(path), row.after) << row.what;
        }
        // A CSV file cut back to nothing gets its header again.
        const std::string csv = File("torn.csv");
        Write(csv, "time,req");
        RecordFile file(csv, RecordFormat::Csv);
        std::string error;
        ASSERT_TRUE(file.Open(error));
        EXPECT_EQ(Read(csv), CsvHeaderLine());
    }

    TEST_F(RecordFileTest, AnExistingCsvFileKeepsItsColumnsAndAForeignOneIsLeftAlone)
    {
        ResultRecord heard = Record("ok");
        heard.quality = AnswerQuality { 812.0, 3.0, 100, 40, 30 };
        const std::string oldHeader = CsvHeaderLine(kCsvColumnsWithoutQuality);
        const struct {
            const char* what;
            std::string before;
            bool opens;
            std::string after;
        } rows[] = {
            { "begun without the quality columns", oldHeader, true,
                oldHeader + FormatCsvLine(heard, kCsvColumnsWithoutQuality) },
            { "with them", CsvHeaderLine(), true, CsvHeaderLine() + FormatCsvLine(heard) },
            { "another kind of file", "a,b\r\n1,2\r\n", false, "a,b\r\n1,2\r\n" },
        };
        for (const auto& row : rows) {
            const std::string path = File("existing.csv");
            Write(path, row.before);
            RecordFile file(path, RecordFormat::Csv);
            std::string error;
            ASSERT_EQ(file.Open(error), row.opens) << row.what << ": " << error;
            if (row.opens)
                ASSERT_TRUE(file.Append(heard, error)) << row.what << ": " << error;
            else
                EXPECT_NE(error.find("existing.csv"), std::string::npos) << error;
            EXPECT_EQ(Read(path), row.after) << row.what;
        }
    }

#ifndef _WIN32 // no renaming of an open file there, and no SIGHUP to reopen it
    // What log rotation does: the file is renamed, then the writer told to reopen it.
    TEST_F(RecordFileTest, ReopenAfterARenameStartsANewFile)
    {
        const std::string path = File("results.csv");
        RecordFile file(path, RecordFormat::Csv);
        std::string error;
        ASSERT_TRUE(file.Open(error)) << error;
        ASSERT_TRUE(file.Append(Record("ok"), error)) << error;
        fs::rename(path, File("results.csv.1"));
        ASSERT_TRUE(file.Append(Record("timeout"), error)) << error; // before the reopen
        ASSERT_TRUE(file.Reopen(error)) << error;
        ASSERT_TRUE(file.Append(Record("error"), error)) << error;
        const std::string header = CsvHeaderLine();
        EXPECT_EQ(Read(File("results.csv.1")),
            header + FormatCsvLine(Record("ok")) + FormatCsvLine(Record("timeout")));
        EXPECT_EQ(Read(path), header + FormatCsvLine(Record("error")));
    }

    TEST_F(RecordFileTest, RecordsThatCannotBeWrittenWaitAndGoOutInOrder)
    {
        // The file is first a full disk, then a real file again.
        const std::string path = File("results.jsonl");
        fs::create_symlink("/dev/full", path);
        RecordFile file(path, RecordFormat::Json);
        std::string error;
        ASSERT_TRUE(file.Open(error)) << error;
        EXPECT_FALSE(file.Append(Record("ok"), error));
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_FALSE(file.Append(Record("timeout"), error));
        EXPECT_EQ(file.Waiting(), 2u);

        fs::remove(path);
        ASSERT_TRUE(file.Retry(error)) << error;
        EXPECT_EQ(file.Waiting(), 0u);
        EXPECT_EQ(Read(path), FormatJsonLine(Record("ok")) + FormatJsonLine(Record("timeout")));

        RecordFile nowhere(File("missing/results.csv"), RecordFormat::Csv);
        EXPECT_FALSE(nowhere.Open(error));
        EXPECT_NE(error.find("missing/results.csv"), std::string::npos) << error;
    }
#endif

} // namespace
} // namespace quelsor
