#include "config/Configuration.h"
#include "config/ConfigurationDump.h"
#include "decoder/ResponseDecoder.h"
#include "decoder/StandaloneDecoderHost.h"

#include <gtest/gtest.h>

namespace quelsor {
namespace {

    class NoMessages : public IOperatorMessages {
    public:
        void ShowMessage(const std::string& text) override { ADD_FAILURE() << text; }
    };

    struct AnswerRow {
        int request;
        const char* answer;
        StringList report; // the log lines after the hex line
    };

    // The answers shown in the comments of the sample file, with the lines the comments promise.
    const AnswerRow kAnswerRows[] = {
        { 0, "78D1CA1C#", { "78 01 fd 1f ??", "Tension 12.000 ", "Moteur 1=Marche" } },
        { 1, "CCCD6D7A83#",
            { "ff f0 60 7d 83 ??", "Niveau re\xC3\xA7u (dBm) -40.000 ",
                "Courant phase 1 (A) 12.500 ", "Courant moyen (A) 12.800 " } },
        { 2, "D4A2D2#", { "04 d2 02 ??", "Heures de marche 1234", "Etat 2=En marche" } },
    };

    TEST(SampleAnswers, DecodeAsTheSampleFileSays)
    {
        ConfigurationRecord record;
        SeqList sequences;
        NoMessages messages;
        LoadConfiguration(QUELSOR_EXAMPLE_INI, record, sequences, messages);

        StringList lines;
        StandaloneDecoderHost host(
            [&](const std::string& line) { lines.push_back(line); }, record.items, false);
        CellTable cells;
        FormulaEvaluator evaluator(cells);
        ResponseDecoder decoder(host, sequences, evaluator);
        decoder.CreateZoneCells();
        for (const AnswerRow& row : kAnswerRows) {
            lines.clear();
            decoder.pendingSeq = row.request;
            decoder.DecodeResponse(row.answer);
            ASSERT_GE(lines.size(), 4U) << row.answer;
            EXPECT_EQ(StringList(lines.begin() + 4, lines.end()), row.report) << row.answer;
            EXPECT_EQ(decoder.pendingSeq, -1) << row.answer;
        }
        decoder.ReleaseZoneCells();
    }

} // namespace
} // namespace quelsor
