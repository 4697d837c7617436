#include "decoder/DecoderSession.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quelsor {
namespace {

    class CollectMessages : public IOperatorMessages {
    public:
        void ShowMessage(const std::string& text) override { shown.push_back(text); }
        std::vector<std::string> shown;
    };

    class DecoderSessionTest : public ::testing::Test {
    protected:
        void SetUp() override
        {
            path = std::filesystem::temp_directory_path()
                / ("quelsor-session-"
                    + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-"
                    + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini");
        }
        void TearDown() override { std::filesystem::remove(path); }

        void Write(const std::string& content)
        {
            std::ofstream file(path, std::ios::binary);
            file << content;
        }

        std::filesystem::path path;
        CollectMessages messages;
        std::vector<std::string> lines;
    };

    const char kWorkedFile[] = "[General]\r\nSeuil=120\r\n"
                               "[SEQ1_1234_Etat general]\r\nLGSEQ=9\r\n"
                               "Z1=Tension,BIN,0,8,z1/10\r\nZ2=Moteur,BIN,8,1\r\n"
                               "Z2_0=0,Arret\r\nZ2_1=1,Marche\r\n"
                               "Z3=Deep,BIN,0,8,((((((((((((((((((1))))))))))))))))))\r\n";

    TEST_F(DecoderSessionTest, ReplaysEchoAndAnswerFromAConfigurationFile)
    {
        Write(kWorkedFile);
        DecoderSession session(
            [this](const std::string& line) { lines.push_back(line); }, messages, true);
        ASSERT_TRUE(session.Load(path.string()).fileRead);
        EXPECT_EQ(session.Configuration().thresholdPosition, 120);
        ASSERT_TRUE(session.SetPendingRequest(0));
        session.CloseAnswer("1234");
        const AnswerQuality quality { 5012.34, 14.96, 1200, 300, 30 };
        session.CloseAnswer("78D1CA1C#", quality); // measured by the detector: a debug line
        ASSERT_TRUE(session.LastQuality().has_value());
        EXPECT_EQ(session.LastQuality()->level, quality.level);
        const std::vector<std::string> expected = { "1234 (4)", "Echo reçu : 1234", "78D1CA1C# (9)",
            "Niveau 5012.3 (seuil +44.5 dB), bruit 15.0, S/B 50.5 dB", "Param 0 reçus ...", "",
            "78D1CA1C#", "Attendus:9  Reçus:9 ", "78 01 fd 1f ??",
            "Z 1.  Tension (120) Z1/10 => 12.000 ", "Z 2.  Moteur 1=Marche",
            "Z 3.  Deep (120) ((((((((((((((((((1)))))))))))))))))) => 0.000 " };
        EXPECT_EQ(lines, expected);
        EXPECT_EQ(messages.shown, std::vector<std::string> { "Parser stack overflow." });
        EXPECT_EQ(session.Decoder().pendingSeq, -1);
        EXPECT_EQ(session.Sequences().Object(0)->Zones.Object(0)->Formula, "Z1/10");
    }

    TEST_F(DecoderSessionTest, PendingRequestMustBeAnItemOrNone)
    {
        Write(kWorkedFile);
        DecoderSession session(
            [this](const std::string& line) { lines.push_back(line); }, messages, false);
        session.Load(path.string());
        EXPECT_TRUE(session.SetPendingRequest(-1));
        EXPECT_FALSE(session.SetPendingRequest(1));
        EXPECT_FALSE(session.SetPendingRequest(-2));
        EXPECT_EQ(session.Decoder().pendingSeq, -1);
        session.CloseAnswer("1234");
        EXPECT_EQ(lines, (std::vector<std::string> { "1234 (4)", "Reçu:1234" }));
    }

    TEST_F(DecoderSessionTest, MissingFileLoadsNothing)
    {
        DecoderSession session(
            [this](const std::string& line) { lines.push_back(line); }, messages, false);
        EXPECT_FALSE(session.Load(path.string()).fileRead);
        EXPECT_FALSE(session.SetPendingRequest(0));
        EXPECT_TRUE(messages.shown.empty());
    }

} // namespace
} // namespace quelsor
