#include "config/Configuration.h"
#include "TempFolder.h"
#include "config/ConfigurationDump.h"

#include <gtest/gtest.h>

#include <chrono>

namespace quelsor {
namespace {

    using testing::ReadBytes;
    using testing::TempFolder;
    using testing::WriteBytes;

    class RecordedMessages : public IOperatorMessages {
    public:
        void ShowMessage(const std::string& text) override { shown.push_back(text); }
        StringList shown;
    };

    struct Loaded {
        ConfigurationLoadResult result;
        ConfigurationRecord record;
        SeqList sequences;
        RecordedMessages messages;
    };

    // Loads contents through a real file, as the window does.
    void LoadText(const std::string& contents, Loaded& loaded)
    {
        TempFolder folder;
        const std::string file = folder.File("quelsor.ini");
        WriteBytes(file, contents);
        loaded.result = LoadConfiguration(file, loaded.record, loaded.sequences, loaded.messages);
    }

    struct LoadRow {
        const char* what;
        const char* ini;
        const char* dump; // DescribeConfiguration of what was loaded
        const char* error; // the message shown, "" for none
    };

    const LoadRow kLoadRows[] = {
        { "only [General]", "[General]\nSeuil=120\n", "Seuil=120\n", "" },
        { "threshold missing", "[Other]\nSeuil=120\n", "Seuil=200\n", "" },
        { "threshold 0x64", "[General]\nSeuil=0x64\n", "Seuil=100\n", "" },
        { "threshold $64", "[general]\nseuil=$64\n", "Seuil=100\n", "" },
        { "threshold not an integer", "[General]\nSeuil=abc\n", "Seuil=200\n", "" },
        { "threshold below the range", "[General]\nSeuil=10\n", "Seuil=20\n", "" },
        { "threshold negative", "[General]\nSeuil=-5\n", "Seuil=20\n", "" },
        { "threshold above the range", "[General]\nSeuil=500\n", "Seuil=200\n", "" },
        { "threshold with blanks", "[General]\nSeuil = 150 \n", "Seuil=150\n", "" },
        { "sound devices, any key case, blanks and quotes trimmed",
            "[General]\nentree = USB Audio \nSORTIE=\"Quelsor « link »\"\n",
            "Seuil=200\nEntree=USB Audio\nSortie=Quelsor « link »\n", "" },
        { "sound devices empty or elsewhere: the defaults",
            "[General]\nEntree=\n[Other]\nSortie=x\n", "Seuil=200\n", "" },
        { "item text: command in upper case, blank, description",
            "[SEQ1_1a2b_Etat general]\nLGSEQ=9\n", "Seuil=200\n[0] 1A2B Etat general\n  LGSEQ=9\n",
            "" },
        { "sequence names in any case, parts after the third ignored",
            "[seq9_12_A]\n[SEQ9_12_A_B]\n[Seq_*#_C d]\n[Sequences_1_x]\n[Other_1_2]\n",
            "Seuil=200\n[0] 12 A\n  LGSEQ=0\n[1] 12 A\n  LGSEQ=0\n[2] *# C d\n  LGSEQ=0\n"
            "[3] 1 x\n  LGSEQ=0\n",
            "" },
        { "LGSEQ in hexadecimal, lower case key, first of two wins",
            "[SEQ1_1_A]\nlgseq=$A\nLGSEQ=3\n", "Seuil=200\n[0] 1 A\n  LGSEQ=10\n", "" },
        { "keys other than LGSEQ, Z... ignored", "[SEQ1_1_A]\nTension=T,BIN,0,8\nX1=a\n_Z1=b\n",
            "Seuil=200\n[0] 1 A\n  LGSEQ=0\n", "" },
        { "all five zone fields, then unit and device class (trimmed), eighth ignored",
            "[SEQ1_1_A]\nZ4=Pression,binc,0,16,Z4*2, bar , pressure,extra\n",
            "Seuil=200\n[0] 1 A\n  LGSEQ=0\n"
            "  Z4 Num=4 Name=Pression Mode=1 StartBit=0 BitLength=16 Formula=Z4*2 Unit=bar "
            "DeviceClass=pressure\n",
            "" },
        { "a unit without a formula, a device class without a unit",
            "[SEQ1_1_A]\nZ1=Heures,BIN,0,16,,h\nZ2=Etat,BIN,16,2,,,enum\n",
            "Seuil=200\n[0] 1 A\n  LGSEQ=0\n"
            "  Z1 Num=1 Name=Heures Mode=0 StartBit=0 BitLength=16 Formula= Unit=h\n"
            "  Z2 Num=2 Name=Etat Mode=0 StartBit=16 BitLength=2 Formula= DeviceClass=enum\n",
            "" },
        { "empty zone fields", "[SEQ1_1_A]\nZ4=Pression,,,,Z4*2\n",
            "Seuil=200\n[0] 1 A\n  LGSEQ=0\n"
            "  Z4 Num=4 Name=Pression Mode=0 StartBit=0 BitLength=0 Formula=Z4*2\n",
            "" },
        { "name only, empty value", "[SEQ1_1_A]\nZ1=Tension\nZ2=\n",
            "Seuil=200\n[0] 1 A\n  LGSEQ=0\n"
            "  Z1 Num=1 Name=Tension Mode=0 StartBit=0 BitLength=0 Formula=\n"
            "  Z2 Num=2 Name= Mode=0 StartBit=0 BitLength=0 Formula=\n",
            "" },
        { "mode keywords",
            "[SEQ1_1_A]\nZ1=a,BIN\nZ2=b,binc\nZ3=c, BINC\nZ4=d,BIN2\nZ5=e,BINC ,3\nZ6=f,bInC\n",
            "Seuil=200\n[0] 1 A\n  LGSEQ=0\n"
            "  Z1 Num=1 Name=a Mode=0 StartBit=0 BitLength=0 Formula=\n"
            "  Z2 Num=2 Name=b Mode=1 StartBit=0 BitLength=0 Formula=\n"
            "  Z3 Num=3 Name=c Mode=0 StartBit=0 BitLength=0 Formula=\n"
            "  Z4 Num=4 Name=d Mode=0 StartBit=0 BitLength=0 Formula=\n"
            "  Z5 Num=5 Name=e Mode=0 StartBit=3 BitLength=0 Formula=\n"
            "  Z6 Num=6 Name=f Mode=1 StartBit=0 BitLength=0 Formula=\n",
            "" },
        { "zone integers: hexadecimal, leading blank, trailing blank, not a number",
            "[SEQ1_1_A]\nZ1=a,BIN,$10,0x8\nZ2=b,BIN, 8,4 \nZ3=c,BIN,x,-1\n",
            "Seuil=200\n[0] 1 A\n  LGSEQ=0\n"
            "  Z1 Num=1 Name=a Mode=0 StartBit=16 BitLength=8 Formula=\n"
            "  Z2 Num=2 Name=b Mode=0 StartBit=8 BitLength=4 Formula=\n"
            "  Z3 Num=3 Name=c Mode=0 StartBit=0 BitLength=-1 Formula=\n",
            "" },
        { "zone numbers", "[SEQ1_1_A]\nZ=a\nza=b\nZ007=c\nz12=d\nZ-3=e\nZ$10=f\n",
            "Seuil=200\n[0] 1 A\n  LGSEQ=0\n"
            "  Z Num=0 Name=a Mode=0 StartBit=0 BitLength=0 Formula=\n"
            "  ZA Num=0 Name=b Mode=0 StartBit=0 BitLength=0 Formula=\n"
            "  Z007 Num=7 Name=c Mode=0 StartBit=0 BitLength=0 Formula=\n"
            "  Z12 Num=12 Name=d Mode=0 StartBit=0 BitLength=0 Formula=\n"
            "  Z-3 Num=-3 Name=e Mode=0 StartBit=0 BitLength=0 Formula=\n"
            "  Z$10 Num=16 Name=f Mode=0 StartBit=0 BitLength=0 Formula=\n",
            "" },
        { "label keys belong to the zone key above them",
            "[SEQ1_1_A]\nZ4=P,BIN,0,8\nZ5_A=3,Haut\nz4_0=0,Bas\nZ4_X=3,Doublon,extra\nZ6=Q\nZ6_1= "
            "1 , Un \n",
            "Seuil=200\n[0] 1 A\n  LGSEQ=0\n"
            "  Z4 Num=4 Name=P Mode=0 StartBit=0 BitLength=8 Formula=\n"
            "    3=Haut\n    0=Bas\n    3=Doublon\n"
            "  Z6 Num=6 Name=Q Mode=0 StartBit=0 BitLength=0 Formula=\n"
            "    1 = Un\n", // the value as a whole is trimmed, not its fields
            "" },
        { "labels do not cross sections", "[SEQ1_1_A]\nZ1=a\n[SEQ2_2_B]\nZ1_0=0,x\nZ2=b\n",
            "Seuil=200\n[0] 1 A\n  LGSEQ=0\n"
            "  Z1 Num=1 Name=a Mode=0 StartBit=0 BitLength=0 Formula=\n"
            "[1] 2 B\n  LGSEQ=0\n",
            "List index out of bounds (-1)" },
        { "a sequence name of one part stops the load", "[General]\nSeuil=50\n[SEQ]\n[SEQ1_1_A]\n",
            "Seuil=50\n", "List index out of bounds (2)" },
        { "a sequence name of two parts stops the load, what came before stays",
            "[SEQ1_1_A]\nLGSEQ=5\nZ1=a\n[SEQ1_1234]\n[SEQ2_2_B]\n[General]\nSeuil=30\n",
            "Seuil=30\n[0] 1 A\n  LGSEQ=5\n"
            "  Z1 Num=1 Name=a Mode=0 StartBit=0 BitLength=0 Formula=\n",
            "List index out of bounds (2)" },
        { "a label value of one field stops the load, lists stay in step",
            "[SEQ1_1_A]\nZ1=a\nZ1_0=0,x\nZ1_1=1\nZ1_2=2,y\nZ2=b\n[SEQ2_2_B]\n",
            "Seuil=200\n[0] 1 A\n  LGSEQ=0\n"
            "  Z1 Num=1 Name=a Mode=0 StartBit=0 BitLength=0 Formula=\n"
            "    0=x\n",
            "List index out of bounds (1)" },
        { "an empty label value stops the load", "[SEQ1_1_A]\nZ1=a\nZ1_0=\n",
            "Seuil=200\n[0] 1 A\n  LGSEQ=0\n"
            "  Z1 Num=1 Name=a Mode=0 StartBit=0 BitLength=0 Formula=\n",
            "List index out of bounds (1)" },
        { "Windows-1252 file",
            "[SEQ1_12_\xC9tat g\xE9n\xE9ral]\nZ1=Temp\xE9rature\nZ1_0=0,Arr\xEAt\n",
            "Seuil=200\n[0] 12 \xC3\x89tat g\xC3\xA9n\xC3\xA9ral\n  LGSEQ=0\n"
            "  Z1 Num=1 Name=Temp\xC3\xA9rature Mode=0 StartBit=0 BitLength=0 Formula=\n"
            "    0=Arr\xC3\xAAt\n",
            "" },
    };

    TEST(Configuration, LoadsTheFileAsTheWindowShowsIt)
    {
        for (const LoadRow& row : kLoadRows) {
            Loaded loaded;
            LoadText(row.ini, loaded);
            EXPECT_TRUE(loaded.result.fileRead) << row.what;
            EXPECT_EQ(DescribeConfiguration(loaded.record, loaded.sequences), row.dump) << row.what;
            EXPECT_EQ(loaded.result.error, row.error) << row.what;
            const StringList shown = *row.error ? StringList { row.error } : StringList {};
            EXPECT_EQ(loaded.messages.shown, shown) << row.what;
            EXPECT_EQ(static_cast<int>(loaded.record.items.size()), loaded.sequences.Count())
                << row.what;
        }
    }

    TEST(Configuration, KeepsTheSectionNameAndTheZoneKeysInTheLists)
    {
        Loaded loaded;
        LoadText("[seq1_1a_Etat]\nz1=a\nZ2=b\nz1_0=0,x\n", loaded);
        ASSERT_EQ(loaded.sequences.Count(), 1);
        EXPECT_EQ(loaded.sequences.Text(0), "seq1_1a_Etat");
        const TParamSeq& sequence = *loaded.sequences.Object(0);
        EXPECT_EQ(sequence.Title, "");
        ASSERT_EQ(sequence.Zones.Count(), 2);
        EXPECT_EQ(sequence.Zones.Text(0), "Z1");
        EXPECT_EQ(sequence.Zones.IndexOf("z2"), 1);
        EXPECT_EQ(sequence.Zones.Object(1)->Values, (StringList { "0" }));
        EXPECT_EQ(sequence.Zones.Object(1)->ResultText, "");
    }

    TEST(Configuration, AMissingFileGivesNoSequenceAndNoMessage)
    {
        TempFolder folder;
        Loaded loaded;
        loaded.record.items = { "design item" };
        loaded.sequences.Add("stale", std::make_unique<TParamSeq>());
        loaded.result = LoadConfiguration(
            folder.File("none.ini"), loaded.record, loaded.sequences, loaded.messages);
        EXPECT_FALSE(loaded.result.fileRead);
        EXPECT_EQ(DescribeConfiguration(loaded.record, loaded.sequences), "Seuil=200\n");
        EXPECT_TRUE(loaded.record.items.empty());
        EXPECT_TRUE(loaded.messages.shown.empty());
    }

    TEST(Configuration, LoadsALargeFileInLinearTime)
    {
        // 50000 labels and 2000 sections: a lookup that walks the lists takes
        // ten seconds and more here, a hashed one well under a second.
        std::string ini = "[SEQ1_1_A]\nZ1=a\n";
        for (int i = 0; i < 50000; ++i)
            ini += "Z1_" + std::to_string(i) + "=" + std::to_string(i) + ",l\n";
        for (int i = 0; i < 2000; ++i)
            ini += "[SEQ" + std::to_string(i) + "_2_B]\n";
        const auto start = std::chrono::steady_clock::now();
        Loaded loaded;
        LoadText(ini, loaded);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(loaded.sequences.Count(), 2001);
        EXPECT_EQ(loaded.sequences.Object(0)->Zones.Object(0)->Labels.size(), 50000U);
        EXPECT_LT(elapsed.count(), 5.0);
    }

    struct PathRow {
        const char* executable;
        const char* ini;
    };

    const PathRow kPathRows[] = {
        { "/opt/quelsor/quelsor", "/opt/quelsor/quelsor.ini" },
        { "/opt/quelsor/Quelsor.exe", "/opt/quelsor/Quelsor.ini" },
        { "/opt/v1.2/quelsor", "/opt/v1.2/quelsor.ini" },
        { "/opt/quelsor/quelsor.tar.gz", "/opt/quelsor/quelsor.tar.ini" },
        { "quelsor", "quelsor.ini" },
        { "/home/\xC3\xA9t\xC3\xA9/Quelsor.exe", "/home/\xC3\xA9t\xC3\xA9/Quelsor.ini" },
    };

    TEST(Configuration, NamesTheFileAfterTheExecutable)
    {
        for (const PathRow& row : kPathRows)
            EXPECT_EQ(IniPathForExecutable(row.executable), row.ini) << row.executable;
    }

    TEST(Configuration, LoadsTheDefaultFileAndSavesTheThresholdIntoIt)
    {
        TempFolder folder;
        const std::string ini
            = "; r\xC3\xA9glages\n[SEQ1_1234_Etat]\nLGSEQ=9\n[General]\nSeuil=120\n";
        WriteBytes(folder.File("Quelsor.ini"), ini);
        Loaded loaded;
        loaded.result = LoadDefaultConfiguration(
            folder.File("Quelsor.exe"), loaded.record, loaded.sequences, loaded.messages);
        EXPECT_EQ(loaded.record.thresholdPosition, 120);
        EXPECT_EQ(loaded.record.items, StringList { "1234 Etat" });

        ASSERT_TRUE(SaveSetting(IniPathForExecutable(folder.File("Quelsor.exe")), kGeneralSection,
            kThresholdKey, "150", loaded.messages));
        std::string expected = ini;
        expected.replace(expected.find("120"), 3, "150");
        EXPECT_EQ(ReadBytes(folder.File("Quelsor.ini")), expected);
        EXPECT_TRUE(loaded.messages.shown.empty());
    }

    // What the comments of the sample file announce.
    TEST(Configuration, SampleFileHoldsWhatItsCommentsSay)
    {
        Loaded loaded;
        loaded.result = LoadConfiguration(
            QUELSOR_EXAMPLE_INI, loaded.record, loaded.sequences, loaded.messages);
        EXPECT_TRUE(loaded.result.fileRead);
        EXPECT_TRUE(loaded.messages.shown.empty());
        EXPECT_EQ(DescribeConfiguration(loaded.record, loaded.sequences),
            "Seuil=170\n"
            "[0] 1234 Etat general\n"
            "  LGSEQ=9\n"
            "  Z1 Num=1 Name=Tension Mode=0 StartBit=0 BitLength=8 Formula=Z1/10 Unit=V "
            "DeviceClass=voltage\n"
            "  Z2 Num=2 Name=Moteur Mode=0 StartBit=8 BitLength=1 Formula=\n"
            "    0=Arret\n"
            "    1=Marche\n"
            "[1] 2580 Mesures\n"
            "  LGSEQ=11\n"
            "  Z3 Num=3 Name=Niveau re\xC3\xA7u (dBm) Mode=1 StartBit=0 BitLength=24 "
            "Formula=Z3/100 Unit=dBm DeviceClass=signal_strength\n"
            "  Z4 Num=4 Name=Courant phase 1 (A) Mode=0 StartBit=24 BitLength=8 Formula=Z4/10 "
            "Unit=A DeviceClass=current\n"
            "  Z5 Num=5 Name=Courant moyen (A) Mode=0 StartBit=32 BitLength=8 "
            "Formula=(Z4+Z5)/20 Unit=A DeviceClass=current\n"
            "[2] *5# Compteur horaire\n"
            "  LGSEQ=7\n"
            "  Z10 Num=10 Name=Heures de marche Mode=0 StartBit=0 BitLength=16 Formula= Unit=h "
            "DeviceClass=duration\n"
            "  Z11 Num=11 Name=Etat Mode=0 StartBit=16 BitLength=2 Formula= DeviceClass=enum\n"
            "    0=Arr\xC3\xAAt\n"
            "    1=Veille\n"
            "    2=En marche\n"
            "    3=D\xC3\xA9"
            "faut\n");
    }

} // namespace
} // namespace quelsor
