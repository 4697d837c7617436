#include "decoder/ResponseDecoder.h"

#include <gtest/gtest.h>

#include <clocale>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quelsor {
namespace {

    class FakeHost : public IDecoderHost {
    public:
        void AddLogLine(const std::string& line) override { lines.push_back(line); }
        bool DebugChecked() const override { return debug; }
        int SequenceItemCount() const override { return static_cast<int>(items.size()); }
        std::string SequenceItemText(int index) const override
        {
            return items.at(static_cast<std::size_t>(index));
        }

        void ZoneReported(const ZoneReport& report) override { reports.push_back(report); }
        void AnswerRejected(int requestIndex, int expected, int received) override
        {
            rejected.push_back({ requestIndex, expected, received });
        }

        std::vector<std::string> lines;
        std::vector<std::string> items;
        std::vector<ZoneReport> reports;
        std::vector<std::vector<int>> rejected;
        bool debug = false;
    };

    struct ZoneRow {
        int num;
        std::string name;
        int mode;
        int startBit;
        int bitLength;
        std::string formula;
        std::vector<std::pair<std::string, std::string>> labels;
    };

    class DecoderTest : public ::testing::Test {
    protected:
        DecoderTest()
            : evaluator(table)
            , decoder(host, seqList, evaluator)
        {
            decoder.CreateZoneCells();
        }

        TParamSeq& AddSequence(
            const std::string& item, int lgSeq, const std::vector<ZoneRow>& zones)
        {
            auto sequence = std::make_unique<TParamSeq>();
            sequence->LgSeq = lgSeq;
            for (const ZoneRow& row : zones) {
                auto zone = std::make_unique<TParamZone>();
                zone->Num = row.num;
                zone->Name = row.name;
                zone->Mode = row.mode;
                zone->StartBit = row.startBit;
                zone->BitLength = row.bitLength;
                zone->Formula = row.formula;
                for (const auto& [value, label] : row.labels) {
                    zone->Values.push_back(value);
                    zone->Labels.push_back(label);
                }
                sequence->Zones.Add("Z" + std::to_string(row.num), std::move(zone));
            }
            host.items.push_back(item);
            const int index = seqList.Add("SEQ_" + item, std::move(sequence));
            return *seqList.Object(index);
        }

        // The worked request: 1234, nine characters, zone 1 Tension in tenths, zone 2 Moteur.
        TParamSeq& AddWorkedRequest()
        {
            return AddSequence("1234 Etat general", 9,
                { { 1, "Tension", 0, 0, 8, "Z1/10", {} },
                    { 2, "Moteur", 0, 8, 1, "", { { "0", "Arret" }, { "1", "Marche" } } } });
        }

        TParamZone& Zone(TParamSeq& sequence, int index) { return *sequence.Zones.Object(index); }

        CellTable table;
        FormulaEvaluator evaluator;
        FakeHost host;
        SeqList seqList;
        ResponseDecoder decoder;
    };

    using Lines = std::vector<std::string>;

    TEST(DtmfNibble, CodesEveryCharacter)
    {
        const std::string characters = "1234567890*#ABCD";
        const int values[] = { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0 };
        for (std::size_t i = 0; i < characters.size(); ++i)
            EXPECT_EQ(DtmfNibble(characters[i]), values[i]) << characters[i];
        for (char other : { 'a', 'E', ' ', '\0', '\xff' })
            EXPECT_EQ(DtmfNibble(other), 0) << static_cast<int>(other);
    }

    TEST(ExtractZoneBits, FieldsMasksAndErrors)
    {
        struct Row {
            std::vector<std::uint8_t> bytes;
            std::int32_t preset;
            std::int32_t startBit;
            std::int32_t bitLength;
            std::int32_t code;
            std::int32_t value;
        };
        const std::vector<std::uint8_t> worked = { 0x1D, 0x2E };
        const std::int32_t binc = -16777216;
        const Row rows[] = {
            { worked, 0, 0, 16, 0, 7470 }, { worked, 0, 4, 4, 0, 1 }, { worked, 0, 8, 3, 0, 6 },
            { worked, 0, 4, 8, 0, 1 }, // the partial second byte is lost
            { worked, 0, 0, 0, 0, 0x1D }, // length 0 still reads one byte, unmasked
            { worked, binc, 0, 8, 0, 29 + binc }, { { 0xFF, 0xFF, 0xFE }, binc, 0, 24, 0, -2 },
            { { 0xFF }, 0, 0, 7, 0, 0x7F }, { { 0xFF }, 0, 0, 6, 0, 0x3F },
            { { 0xFF }, 0, 0, 1, 0, 1 }, { { 0x80, 0, 0, 0 }, 0, 0, 32, 0, INT32_MIN },
            { { 0x80, 0, 0, 0 }, 0, 4, 28, 0, -134217728 }, // the sign bit is propagated
            { { 0x12, 0x34, 0x56, 0x78 }, 0, 0, 32, 0, 0x12345678 }, { {}, 0, 0, 40, -1, 0 },
            { {}, 0, 0, 1000, -1, 0 }, { {}, 0, 500, 16, -2, 0 }, { {}, 0, 512, 1, -2, 0 },
            { {}, 0, 4, 36, -3, 0 }, { {}, 0, -8, 8, -2, 0 }, { {}, 0, 8, -8, -2, 0 },
            { {}, 0, INT32_MIN, 0, -2, 0 }, { {}, 0, INT32_MAX, 1, -2, 0 },
            { {}, 0, INT32_MAX, INT32_MAX, -1, 0 },
            { {}, 0, 504, 8, 0, 0 }, // the last byte a field may reach
        };
        for (const Row& row : rows) {
            ResponseBytes bytes {};
            std::copy(row.bytes.begin(), row.bytes.end(), bytes.begin());
            std::int32_t accumulator = row.preset;
            EXPECT_EQ(ExtractZoneBits(bytes, row.startBit, row.bitLength, accumulator), row.code)
                << row.startBit << "," << row.bitLength;
            EXPECT_EQ(accumulator, row.code == 0 ? row.value : row.preset)
                << row.startBit << "," << row.bitLength;
        }
    }

    TEST_F(DecoderTest, WorkedExample)
    {
        for (bool debug : { false, true }) {
            SCOPED_TRACE(debug ? "debug" : "operator");
            seqList.Clear();
            host.items.clear();
            host.lines.clear();
            host.debug = debug;
            AddWorkedRequest();
            decoder.pendingSeq = 0;
            decoder.DecodeResponse("78D1CA1C#");
            Lines expected = { "Param 0 reçus ...", "", "78D1CA1C#", "Attendus:9  Reçus:9 ",
                "78 01 fd 1f ??" };
            if (debug) {
                expected.push_back("Z 1.  Tension (120) Z1/10 => 12.000 ");
                expected.push_back("Z 2.  Moteur 1=Marche");
            } else {
                expected.push_back("Tension 12.000 ");
                expected.push_back("Moteur 1=Marche");
            }
            EXPECT_EQ(host.lines, expected);
            EXPECT_EQ(decoder.pendingSeq, -1);
            EXPECT_EQ(decoder.responseBytes[0], 0x78);
            EXPECT_EQ(decoder.responseBytes[3], 0x1F);
            EXPECT_EQ(decoder.responseBytes[4], 0);
            EXPECT_EQ(table.ReadCell(CellTable::kZoneColumn, 0), 120.0);
            // The labelled zone 2 leaves its cell without a number.
            EXPECT_EQ(decoder.zoneCells->Cell(2)->Kind, 0);
        }
    }

    TEST_F(DecoderTest, IdleEchoAndAnswer)
    {
        AddWorkedRequest();
        decoder.DecodeResponse("1234");
        EXPECT_EQ(host.lines, Lines { "Reçu:1234" });
        EXPECT_EQ(decoder.pendingSeq, -1);

        host.lines.clear();
        host.items[0] = "12a4 Etat general"; // the command is compared in upper case
        decoder.pendingSeq = 0;
        decoder.DecodeResponse("12A4");
        EXPECT_EQ(host.lines, Lines { "Echo reçu : 12A4" });
        EXPECT_EQ(decoder.pendingSeq, 0);

        host.lines.clear();
        decoder.DecodeResponse("12a4"); // not the echo: an answer of the wrong length
        EXPECT_EQ(host.lines.front(), "Param 0 reçus ...");
        EXPECT_EQ(decoder.pendingSeq, 0);

        host.lines.clear();
        decoder.DecodeResponse("78D1CA1C#");
        EXPECT_EQ(host.lines.size(), 7U);
        EXPECT_EQ(decoder.pendingSeq, -1);
    }

    TEST_F(DecoderTest, CountMismatch)
    {
        for (bool debug : { false, true }) {
            SCOPED_TRACE(debug ? "debug" : "operator");
            seqList.Clear();
            host.items.clear();
            host.lines.clear();
            host.debug = debug;
            AddSequence("1234 x", 7, { { 1, "A", 0, 0, 8, "", {} } });
            decoder.pendingSeq = 0;
            decoder.DecodeResponse("123456");
            Lines expected = { "Param 0 reçus ...", "", "123456", "Attendus:7  Reçus:6 ",
                "Erreur de reconnaissance DTMF (nombre de caractères attendus non respecté)",
                "Ajuster le niveau BF, puis réessayer." };
            if (debug) {
                expected.push_back("12 34 ??");
                expected.push_back("Z 1.  A 18");
            }
            EXPECT_EQ(host.lines, expected);
            EXPECT_EQ(decoder.pendingSeq, debug ? -1 : 0);
        }
    }

    TEST_F(DecoderTest, PairDecoding)
    {
        struct Row {
            std::string received;
            std::string hex;
        };
        const Row rows[] = {
            { "1", "??" },
            { "12", "??" },
            { "123", "12 ??" },
            { "1A2B3", "1d 2e ??" },
            { "1A2B", "1d ??" },
            { "D0*#", "0a ??" },
        };
        for (const Row& row : rows) {
            seqList.Clear();
            host.items.clear();
            host.lines.clear();
            AddSequence("9 x", static_cast<int>(row.received.size()), {});
            decoder.pendingSeq = 0;
            decoder.responseBytes.fill(0xEE);
            decoder.DecodeResponse(row.received);
            ASSERT_EQ(host.lines.size(), 5U) << row.received;
            EXPECT_EQ(host.lines[4], row.hex) << row.received;
            const std::size_t bytes = (row.received.size() + 1) / 2 - 1;
            for (std::size_t i = bytes; i < 8; ++i)
                EXPECT_EQ(decoder.responseBytes[i], 0) << row.received << " byte " << i;
        }
    }

    TEST_F(DecoderTest, LongAnswersStayInsideTheBuffer)
    {
        for (std::size_t length : { 1025U, 1026U, 1027U, 1028U, 4000U }) {
            seqList.Clear();
            host.items.clear();
            host.lines.clear();
            // Zone 2 reads the last byte a field can reach, the 64th.
            AddSequence("9 x", static_cast<int>(length), { { 2, "Last", 0, 504, 8, "", {} } });
            decoder.pendingSeq = 0;
            decoder.DecodeResponse(std::string(length, 'C'));
            ASSERT_EQ(host.lines.size(), 6U) << length;
            const std::size_t pairs = (length + 1) / 2 - 1;
            std::string hex;
            for (std::size_t i = 0; i < pairs; ++i)
                hex += "ff ";
            EXPECT_EQ(host.lines[4], hex + "??") << length; // every pair shown
            EXPECT_EQ(decoder.responseBytes[511], 0xFF) << length;
            EXPECT_EQ(host.lines[5], "Last 255") << length;
        }
    }

    TEST_F(DecoderTest, ZoneStorageAndConversionFailures)
    {
        TParamSeq& sequence = AddSequence("9 x", 5,
            { { 3, "Field", 0, 0, 8, "", { { "29", "Vingt-neuf" } } },
                { 4, "Plain", 0, 8, 8, "", {} }, { 5, "Wide", 0, 0, 40, "", {} },
                { 6, "Far", 0, 500, 16, "", {} }, { 7, "Spread", 0, 4, 36, "", {} },
                { 8, "Odd", 7, 0, 8, "", {} }, { 9, "Back", 0, -1, 8, "", {} },
                { 0, "NoCell", 0, 0, 8, "", {} }, { 101, "Beyond", 0, 8, 8, "", {} } });
        Zone(sequence, 2).ResultText = "7";
        decoder.pendingSeq = 0;
        decoder.DecodeResponse("1A2B3");
        const Lines expected = { "Param 0 reçus ...", "", "1A2B3", "Attendus:5  Reçus:5 ",
            "1d 2e ??", "Anomalie de conversion (-1)", "Anomalie de conversion (-2)",
            "Anomalie de conversion (-3)", "Mode invalide", "Anomalie de conversion (-2)",
            "Field 29=Vingt-neuf", "Plain 46", "Wide 7", "Far ", "Spread ", "Odd ", "Back ",
            "NoCell 29", "Beyond 46" };
        EXPECT_EQ(host.lines, expected);
        EXPECT_EQ(decoder.zoneCells->Cell(3)->Kind, 0); // labelled: the cell is left alone
        EXPECT_EQ(table.ReadCell(CellTable::kZoneColumn, 3), 46.0);
        for (int n : { 5, 6, 7, 8, 9 })
            EXPECT_EQ(decoder.zoneCells->Cell(n)->Kind, 0) << n;
    }

    TEST_F(DecoderTest, LabelsAreMatchedWithoutCaseAndFirstWins)
    {
        TParamSeq& sequence = AddSequence("9 x", 3,
            { { 1, "Hex", 1, 0, 8, "",
                { { "x", "no" }, { "-16777198", "first" }, { "-16777198", "second" } } } });
        decoder.pendingSeq = 0;
        decoder.DecodeResponse("12#");
        EXPECT_EQ(Zone(sequence, 0).ResultText, "-16777198=first");
    }

    TEST_F(DecoderTest, ReportFormats)
    {
        TParamSeq& sequence = AddSequence("9 x", 9,
            { { 7, "Double", 0, 0, 8, "z7*2", {} }, { 8, "Next", 0, 0, 8, "Z7+1", {} },
                { 100, "Big", 0, 0, 0, "16777217", {} }, { 10, "Tenth", 0, 0, 0, "0.1", {} },
                { 11, "Never", 0, 0, 0, "Z12", {} }, { 12, "Silent", 99, 0, 0, "", {} },
                { 13, "Bad", 0, 0, 0, "1 2", {} }, { 14, "Huge", 0, 0, 0, "1E300", {} } });
        // The Z12 formula reads a cell that never received a value: no number, so infinity.
        host.debug = true;
        decoder.pendingSeq = 0;
        decoder.DecodeResponse("15A3F2B7#");
        const Lines report(host.lines.end() - 8, host.lines.end());
        const Lines expected = { "Z 7.  Double (21) Z7*2 => 42.000 ",
            "Z 8.  Next (21) Z7+1 => 22.000 ", "Z100.  Big (21) 16777217 => 16777216.000 ",
            "Z10.  Tenth (21) 0.1 => 0.100 ", "Z11.  Never (21) Z12 => inf ", "Z12.  Silent ",
            "Z13.  Bad (21) 1 2 => 0.000 ", "Z14.  Huge (21) 1E300 => inf " };
        EXPECT_EQ(report, expected);
        EXPECT_EQ(Zone(sequence, 0).Formula, "Z7*2");

        host.lines.clear();
        host.debug = false;
        decoder.pendingSeq = 0;
        decoder.DecodeResponse("15A3F2B7#");
        const Lines operatorReport(host.lines.end() - 8, host.lines.end());
        const Lines operatorExpected = { "Double 42.000 ", "Next 22.000 ", "Big 16777216.000 ",
            "Tenth 0.100 ", "Never inf ", "Silent ", "Bad 0.000 ", "Huge inf " };
        EXPECT_EQ(operatorReport, operatorExpected);
    }

    TEST_F(DecoderTest, ValuesNearTheFloatLimitRoundToNearest)
    {
        const std::string largest = "340282346638528859811704183484516925440.000";
        const struct {
            const char* formula;
            std::string shown;
        } rows[] = {
            { "3.4028234E38", largest }, // below FLT_MAX: rounds up to it
            { "3.4028235E38", largest }, // above FLT_MAX, below the midpoint
            { "-3.4028235E38", "-" + largest },
            { "3.4028235677973362E38", largest }, // just below the midpoint FLT_MAX + 2^103
            { "3.4028235677973366E38", "inf" }, // the midpoint itself: to even, infinity
            { "3.4028236E38", "inf" },
            { "-3.4028236E38", "-inf" },
        };
        for (const auto& row : rows) {
            seqList.Clear();
            host.items.clear();
            AddSequence("9 x", 1, { { 1, "V", 0, 0, 0, row.formula, {} } });
            host.lines.clear();
            decoder.pendingSeq = 0;
            decoder.DecodeResponse("1");
            ASSERT_FALSE(host.lines.empty()) << row.formula;
            EXPECT_EQ(host.lines.back(), "V " + row.shown + " ") << row.formula;
        }
    }

    // What the report lines say, as values: raw value, shown number or label, mismatch.
    TEST_F(DecoderTest, EachReportLineIsAlsoGivenAsValues)
    {
        AddSequence("9 x", 5,
            { { 1, "Formula", 0, 0, 8, "Z1/4", {} },
                { 2, "Label", 0, 8, 1, "", { { "0", "Off" }, { "1", "On" } } },
                { 3, "Plain", 0, 0, 4, "", {} }, { 4, "Broken", 7, 0, 8, "", {} },
                { 5, "Both", 0, 8, 1, "Z5*10", { { "1", "On" } } } });
        decoder.pendingSeq = 0;
        decoder.DecodeResponse("1A2B3"); // bytes 1d 2e
        ASSERT_EQ(host.reports.size(), 5u);
        const struct {
            std::optional<std::int32_t> raw;
            std::optional<double> value;
            std::string text;
        } expected[] = {
            { 29, 7.25, "7.250" }, { 0, std::nullopt, "Off" }, { 13, 13.0, "13" },
            { std::nullopt, std::nullopt, "" }, // invalid mode: nothing cut out, nothing stored
            { 0, 0.0, "0.000" }, // a formula wins over the label, as in the log
        };
        for (std::size_t i = 0; i < 5; ++i) {
            const ZoneReport& report = host.reports[i];
            EXPECT_EQ(report.requestIndex, 0);
            EXPECT_EQ(report.zone, static_cast<std::int32_t>(i + 1));
            EXPECT_EQ(report.raw, expected[i].raw) << report.name;
            EXPECT_EQ(report.value, expected[i].value) << report.name;
            EXPECT_EQ(report.text, expected[i].text) << report.name;
            EXPECT_FALSE(report.countMismatch);
        }
        EXPECT_TRUE(host.rejected.empty());

        // The wrong length: rejected without "Aff. Debug", decoded and marked with it.
        host.reports.clear();
        decoder.pendingSeq = 0;
        decoder.DecodeResponse("1A2");
        EXPECT_TRUE(host.reports.empty());
        EXPECT_EQ(host.rejected, (std::vector<std::vector<int>> { { 0, 5, 3 } }));
        host.debug = true;
        decoder.DecodeResponse("1A2");
        ASSERT_EQ(host.reports.size(), 5u);
        EXPECT_TRUE(host.reports[0].countMismatch);
        EXPECT_EQ(host.reports[0].raw, 29);
    }

    TEST_F(DecoderTest, ReportValuesIgnoreTheLocale)
    {
        const char* previous = std::setlocale(LC_NUMERIC, nullptr);
        const std::string saved = previous != nullptr ? previous : "C";
        bool set = false;
        for (const char* name : { "fr_FR.UTF-8", "de_DE.UTF-8", "fr_FR", "de_DE" })
            set = set || std::setlocale(LC_NUMERIC, name) != nullptr;
        if (!set)
            GTEST_SKIP() << "no locale with a decimal comma installed";
        AddWorkedRequest();
        decoder.pendingSeq = 0;
        decoder.DecodeResponse("78D1CA1C#");
        std::setlocale(LC_NUMERIC, saved.c_str());
        ASSERT_EQ(host.lines.size(), 7U);
        EXPECT_EQ(host.lines[5], "Tension 12.000 ");
    }

    TEST_F(DecoderTest, StalePendingIndexIsHandledAsIdle)
    {
        AddWorkedRequest();
        for (std::int32_t stale : { 1, 1000, INT32_MAX }) {
            host.lines.clear();
            decoder.pendingSeq = stale;
            decoder.DecodeResponse("78D1CA1C#");
            EXPECT_EQ(host.lines, Lines { "Reçu:78D1CA1C#" }) << stale;
            EXPECT_EQ(decoder.pendingSeq, -1);
        }
        host.lines.clear();
        decoder.ReportZones(); // nothing pending: nothing to report
        EXPECT_TRUE(host.lines.empty());
    }

    TEST_F(DecoderTest, WithoutZoneCellsValuesAreStillReported)
    {
        decoder.ReleaseZoneCells();
        AddWorkedRequest();
        decoder.pendingSeq = 0;
        decoder.DecodeResponse("78D1CA1C#");
        EXPECT_EQ(host.lines[5], "Tension 0.000 "); // Z1 has no cell: an empty slot reads 0
        EXPECT_EQ(Zone(*seqList.Object(0), 0).ResultText, "120");
    }

} // namespace
} // namespace quelsor
