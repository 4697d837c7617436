// The PulseAudio backend on a private server of the test's own (two null sinks with a source
// over each monitor; the defaults are the second pair): the device list, capture through the
// sound layer, playback to the end, and what happens when a device or the server goes away and
// comes back, all in one process.

#include "device/PulseSoundBackend.h"
#include "tests/sound/SoundLayerFakes.h"
#include "tests/support/PrivateSoundServer.h"

#include "audio/ToneGenerator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace quelsor::test {
namespace {

    using quelsor::testing::PrivateSoundServer;

    const std::string kNotificationError = sound_text::kNotificationError;

    double SecondsSince(std::chrono::steady_clock::time_point start)
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    class PulseBackendTest : public ::testing::Test {
    protected:
        PulseBackendTest()
            : folder_("pulse-"
                + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()))
        {
            layer.SetStopDelay(0);
        }

        void SetUp() override
        {
            if (!server.Start()) {
                if (qgetenv("CI") == "true") // CI installs pulseaudio: a skip would hide a fault
                    FAIL() << server.Missing().toStdString();
                GTEST_SKIP() << server.Missing().toStdString();
            }
            server.UseInThisProcess();
            ASSERT_EQ(layer.InitSound(host, &backend), 0);
        }
        void TearDown() override { layer.ReleaseSound(); }

        // Captures through the layer until `frames` frames have been analysed (then stops), the
        // loop ends by itself, or `limitMs` has passed (then stops). `during` runs from the
        // loop's events once, after `afterFrames` frames. Returns the StartCapture code.
        int Capture(std::size_t frames, int limitMs = 10000, std::size_t afterFrames = 0,
            std::function<void()> during = {})
        {
            host.frames.clear();
            host.messages.clear();
            bool ran = !during;
            host.onEvents = [&] {
                if (!ran && host.frames.size() >= afterFrames) {
                    ran = true;
                    during();
                }
                if (host.frames.size() >= frames && !layer.CaptureStopRequested())
                    layer.StopCapture();
            };
            timedOut = false;
            QTimer limit;
            limit.setSingleShot(true);
            QObject::connect(&limit, &QTimer::timeout, [this] {
                timedOut = true;
                layer.StopCapture();
            });
            limit.start(limitMs);
            const int code = layer.StartCapture();
            host.onEvents = {};
            return code;
        }

        PrivateSoundServer server { 2 };
        InTempFolder folder_;
        PulseSoundBackend backend;
        SoundLayer layer;
        FakeSoundHost host;
        bool timedOut = false;
    };

    TEST_F(PulseBackendTest, ListsInputsThenOutputsByServerNameWithoutMonitors)
    {
        std::vector<SoundDevice> devices;
        std::string error;
        ASSERT_TRUE(backend.ListDevices(devices, error)) << error;
        const std::vector<SoundDevice> expected {
            { true, "link_a_in", "Link A input", false },
            { true, "link_b_in", "Link B input", true },
            { false, "link_a", "Link A", false },
            { false, "link_b", "Link B", true },
        };
        ASSERT_EQ(devices.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE(expected[i].id);
            EXPECT_EQ(devices[i].input, expected[i].input);
            EXPECT_EQ(devices[i].id, expected[i].id);
            EXPECT_EQ(devices[i].description, expected[i].description);
            EXPECT_EQ(devices[i].isDefault, expected[i].isDefault);
        }
        // The default follows the server at every listing.
        ASSERT_TRUE(
            server.Pactl({ QStringLiteral("set-default-source"), QStringLiteral("link_a_in") }));
        ASSERT_TRUE(backend.ListDevices(devices, error)) << error;
        EXPECT_TRUE(devices[0].isDefault);
        EXPECT_FALSE(devices[1].isDefault);
    }

    TEST_F(PulseBackendTest, CaptureOnTheChosenInputWakesTheLoopForEverySlice)
    {
        backend.SetInputDevice("link_a_in");
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(Capture(40), 0);
        const double seconds = SecondsSince(started);
        EXPECT_FALSE(timedOut) << "no audio from the chosen input";
        EXPECT_TRUE(host.messages.empty());
        EXPECT_GE(host.frames.size(), 40u);
        EXPECT_GT(seconds, 40 * 0.032 * 0.9) << "frames come at the capture's pace";
        EXPECT_FALSE(layer.HasCaptureDevice());
    }

    // The stop button's way, with the real stop delay: the device goes on capturing while the
    // stop waits, and none of that reaches the detector.
    TEST_F(PulseBackendTest, NothingCapturedDuringTheRealStopDelayReachesTheDetector)
    {
        layer.SetStopDelay(kStopDelayMs);
        int callsAtStop = -1;
        double stopSeconds = 0;
        // A window event handled inside the loop's wait: once a few slices have been analysed,
        // or after 5 s at the latest.
        QElapsedTimer clock;
        clock.start();
        QTimer stopper;
        QObject::connect(&stopper, &QTimer::timeout, [&] {
            if (callsAtStop < 0 && (host.detectorCalls >= 3 || clock.elapsed() > 5000)) {
                callsAtStop = host.detectorCalls;
                const auto started = std::chrono::steady_clock::now();
                layer.StopCapture();
                stopSeconds = SecondsSince(started);
            }
        });
        stopper.start(10);
        EXPECT_EQ(layer.StartCapture(), 0);
        ASSERT_GT(callsAtStop, 0) << "nothing was captured before the stop";
        EXPECT_GE(stopSeconds, kStopDelayMs / 1000.0 * 0.95);
        EXPECT_EQ(host.detectorCalls, callsAtStop);
    }

    // The chosen devices are opened by name and never swapped for others.
    TEST_F(PulseBackendTest, AbsentChosenDevicesFailTheOpenAndThePlayback)
    {
        backend.SetInputDevice("no_such_source");
        EXPECT_EQ(layer.StartCapture(), sound_code::kCaptureDevice);
        EXPECT_EQ(host.messages, std::vector<std::string> { sound_text::kAbandon });
        layer.StopCapture();
        EXPECT_NE(backend.LastError(), "");

        backend.SetOutputDevice("no_such_sink");
        const auto started = std::chrono::steady_clock::now();
        std::vector<std::int16_t> samples;
        AppendDtmfSequence(samples, "1");
        EXPECT_FALSE(backend.PlaySamples(samples, 16000));
        EXPECT_LT(SecondsSince(started), 2.0);
    }

    // Playback returns once the server has played the samples to their end: the whole tone is
    // heard on the sink's monitor, and little of it after the return.
    TEST_F(PulseBackendTest, PlaybackReturnsOnceTheSamplesHaveBeenHeardToTheEnd)
    {
        backend.SetInputDevice("link_a_in");
        backend.SetOutputDevice("link_a");
        ASSERT_TRUE(backend.OpenCaptureDevice());
        std::shared_ptr<CaptureBuffer> buffer;
        constexpr std::uint32_t kFiveSeconds = 5 * 32000;
        ASSERT_EQ(
            backend.CreateCaptureBuffer(CaptureFormat {}, kFiveSeconds, buffer), DeviceResult::Ok);
        ASSERT_TRUE(backend.StartCaptureStream());
        // The capture runs once the null sink has woken up.
        QElapsedTimer clock;
        clock.start();
        while (buffer->TotalWritten() < 3200 && clock.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_GE(buffer->TotalWritten(), 3200u) << "nothing captured";

        std::vector<std::int16_t> tone(16000); // 1 s, 1 kHz, half scale
        for (std::size_t i = 0; i < tone.size(); ++i)
            tone[i] = static_cast<std::int16_t>(16000 * std::sin(2 * M_PI * 1000 * i / 16000.0));
        const std::uint64_t before = buffer->TotalWritten();
        const auto started = std::chrono::steady_clock::now();
        ASSERT_TRUE(backend.PlaySamples(tone, 16000));
        const double seconds = SecondsSince(started);
        const std::uint64_t atReturn = buffer->TotalWritten();
        clock.restart();
        while (clock.elapsed() < 500)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const std::uint64_t after = buffer->TotalWritten();
        backend.ReleaseCaptureDevice();
        ASSERT_LT(after - before, kFiveSeconds);

        // Loud samples in the capture, as positions from `before` (bytes / 2).
        std::uint32_t capture = 0;
        std::uint32_t read = 0;
        ASSERT_TRUE(buffer->GetCurrentPosition(&capture, &read));
        const auto total = static_cast<std::uint32_t>(after - before);
        LockedRegions regions;
        ASSERT_TRUE(buffer->Lock((read + kFiveSeconds - total) % kFiveSeconds, total, regions));
        std::vector<std::int16_t> heard(regions.first.begin(), regions.first.end());
        heard.insert(heard.end(), regions.second.begin(), regions.second.end());
        // 1 ms blocks with a peak of the tone (a sine peaks in every block at 1 kHz).
        long loud = 0;
        long loudAfterReturn = 0;
        const auto returnIndex = static_cast<std::size_t>((atReturn - before) / 2);
        for (std::size_t block = 0; block + 16 <= heard.size(); block += 16) {
            int peak = 0;
            for (std::size_t i = block; i < block + 16; ++i)
                peak = std::max(peak, std::abs(static_cast<int>(heard[i])));
            if (peak > 8000) {
                ++loud;
                loudAfterReturn += block >= returnIndex ? 1 : 0;
            }
        }
        std::printf("[ measure  ] 1 s tone: play returned after %.3f s; %.3f s of it heard, %.3f s "
                    "of it captured after the return\n",
            seconds, loud / 1000.0, loudAfterReturn / 1000.0);
        EXPECT_GE(seconds, 1.0) << "returned before the end could be heard";
        EXPECT_LT(seconds, 1.0 + 3.0);
        EXPECT_GE(loud, 995) << "the tone was cut";
        EXPECT_LE(loud, 1005);
        // What arrives after the return is the capture's own latency (a slice or two).
        EXPECT_LT(loudAfterReturn, 100);
    }

    // A removed input, a server killed or stopped: the capture loop ends with the layer's
    // message, a start meanwhile fails, and once the device or server is back a new capture in
    // the same process works.
    TEST_F(PulseBackendTest, CaptureEndsWhenItsInputGoesAndWorksAgainOnceItIsBack)
    {
        struct Case {
            const char* what;
            std::function<void(PrivateSoundServer&)> breakIt;
            std::function<void(PrivateSoundServer&)> repair;
        };
        const std::vector<Case> cases {
            { "input removed",
                [](PrivateSoundServer& s) {
                    s.Pactl(
                        { QStringLiteral("unload-module"), QStringLiteral("module-remap-source") });
                },
                [](PrivateSoundServer& s) {
                    s.Kill();
                    s.Start();
                } },
            { "server killed", [](PrivateSoundServer& s) { s.Kill(); },
                [](PrivateSoundServer& s) { s.Start(); } },
            { "server stopped", [](PrivateSoundServer& s) { s.Stop(); },
                [](PrivateSoundServer& s) { s.Start(); } },
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            backend.SetInputDevice("link_a_in");
            std::chrono::steady_clock::time_point brokenAt;
            EXPECT_EQ(Capture(100000, 15000, 10,
                          [&] {
                              brokenAt = std::chrono::steady_clock::now();
                              c.breakIt(server);
                          }),
                0);
            EXPECT_FALSE(timedOut) << "the loss went unnoticed";
            EXPECT_EQ(host.messages, std::vector<std::string> { kNotificationError });
            const double noticed = SecondsSince(brokenAt);
            EXPECT_LT(noticed, 2.0);
            std::printf("[ measure  ] %s: capture loop ended %.3f s later (%s)\n", c.what, noticed,
                backend.LastError().c_str());
            layer.StopCapture();

            if (std::string(c.what) != "input removed") {
                host.messages.clear();
                EXPECT_EQ(layer.StartCapture(), sound_code::kCaptureDevice);
                EXPECT_EQ(host.messages, std::vector<std::string> { sound_text::kAbandon });
                layer.StopCapture();
                std::vector<SoundDevice> devices;
                std::string error;
                EXPECT_FALSE(backend.ListDevices(devices, error));
                EXPECT_NE(error, "");
            }

            c.repair(server);
            ASSERT_TRUE(server.Running()) << server.Missing().toStdString();
            EXPECT_EQ(Capture(10), 0);
            EXPECT_FALSE(timedOut) << "no capture after the repair";
            EXPECT_TRUE(host.messages.empty());
        }
    }

} // namespace
} // namespace quelsor::test

// The backend's waits process the application's events; it lives for the whole run.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
