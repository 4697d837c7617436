#include "tests/support/SimulatedLink.h"
#include "tests/sound/SoundLayerFakes.h"

#include "audio/CommandFile.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>

namespace quelsor::test {
namespace {

    using quelsor::testing::LinkPace;
    using quelsor::testing::SimulatedLink;

    // A folder name from the request text, without the characters a Windows name cannot hold
    // ('*' and the like).
    std::string FolderName(const std::string& what)
    {
        std::string name = "link-";
        for (const char c : what)
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name + "-"
            + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    }

    // One status request against the simulated device, as the window runs it: write and play
    // the command, then capture until the host has received `answersWanted` closed answers (or
    // a bound of captured audio has passed).
    struct RequestRun {
        std::vector<std::string> answers;
        std::vector<std::string> log;
        std::vector<std::string> messages;
        int startResult = 99;
    };

    RequestRun RunRequest(SimulatedLink& link, const std::string& comboText,
        std::size_t answersWanted, int maxPumps = 20000)
    {
        InTempFolder folder(FolderName(comboText));
        SoundLayer layer; // a detector and filter bank of its own, from rest
        layer.SetStopDelay(0);
        FakeSoundHost host;
        RequestRun run;
        if (layer.InitSound(host, &link) != 0) {
            run.messages = host.messages;
            return run;
        }
        EXPECT_TRUE(WriteCommandFile(kCommandFileName, comboText));
        layer.PlaySoundFile(kCommandFileName);
        host.onEvents = [&] {
            if (!layer.CaptureStopRequested()
                && (host.answers.size() >= answersWanted || host.eventPumps > maxPumps))
                layer.StopCapture();
        };
        run.startResult = layer.StartCapture();
        layer.ReleaseSound();
        run.answers = host.answers;
        run.log = host.log;
        run.messages = host.messages;
        return run;
    }

    TEST(SimulatedLinkTest, DeviceHearsTheCommandAndItsEchoAndAnswerAreDecoded)
    {
        struct Row {
            const char* comboText;
            bool echo;
            std::vector<std::string> answers;
        };
        const std::vector<Row> rows = {
            { "123A Etat", true, { "123A", "0102" } }, { "123A Etat", false, { "0102" } },
            { "9*#D Autre", true, { "9*#D" } }, // no configured answer: only the echo
        };
        for (const Row& row : rows) {
            SimulatedLink link;
            link.config().answers = { { "123A", "0102" } };
            link.config().echo = row.echo;
            const RequestRun run = RunRequest(link, row.comboText, row.answers.size());
            EXPECT_EQ(run.startResult, 0);
            EXPECT_EQ(link.CommandsHeard(),
                std::vector<std::string> { CommandSequenceOf(row.comboText) });
            EXPECT_EQ(run.answers, row.answers) << row.comboText;
            ASSERT_FALSE(run.log.empty());
            EXPECT_EQ(run.log.back(), row.answers.back() + " (4)");
            EXPECT_TRUE(run.messages.empty());
        }
    }

    TEST(SimulatedLinkTest, RealTimePaceFromTheLinksOwnThread)
    {
        SimulatedLink link;
        link.config().answers = { { "42", "0A0B" } };
        link.config().pace = LinkPace::RealTime;
        link.config().speed = 8.0;
        const auto started = std::chrono::steady_clock::now();
        const RequestRun run = RunRequest(link, "42", 2);
        const double seconds
            = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_EQ(run.answers, (std::vector<std::string> { "42", "0A0B" }));
        // About 2.9 s of reply audio sent 8 times faster than real time.
        EXPECT_GT(seconds, 0.25);
        EXPECT_LT(seconds, 3.0);
        EXPECT_FALSE(link.Capturing());
    }

    TEST(SimulatedLinkTest, ConfiguredFailuresReachTheOperator)
    {
        SimulatedLink unusable;
        unusable.config().loadCode = -2;
        EXPECT_EQ(RunRequest(unusable, "1", 1).messages,
            (std::vector<std::string> { sound_text::kNoSoundSystem, sound_text::kAbandon }));

        SimulatedLink noDriver;
        noDriver.config().startFailure = -3;
        noDriver.config().bufferResult = DeviceResult::NoDriver;
        const RequestRun run = RunRequest(noDriver, "1", 1);
        EXPECT_EQ(run.startResult, -3);
        EXPECT_EQ(run.messages, (std::vector<std::string> { "No driver", sound_text::kAbandon }));
        EXPECT_EQ(noDriver.CommandsHeard(), std::vector<std::string> { "1" });

        SimulatedLink silent;
        silent.config().outputDevice = false;
        const RequestRun unheard = RunRequest(silent, "1", 1, 200);
        EXPECT_TRUE(silent.CommandsHeard().empty());
        EXPECT_TRUE(unheard.answers.empty());
        EXPECT_TRUE(unheard.messages.empty()) << "a failed playback is not reported";
    }

} // namespace
} // namespace quelsor::test
