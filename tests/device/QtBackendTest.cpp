#include "device/QtSoundBackend.h"
#include "tests/sound/SoundLayerFakes.h"

#include "audio/DtmfDetector.h"
#include "audio/ToneGenerator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

namespace quelsor::test {
namespace {

    // The Qt backend against whatever sound server the machine has (scripts/virtual-link.sh
    // starts one without hardware). Each test skips when the device it needs is missing.
    class QtBackendTest : public ::testing::Test {
    protected:
        QtBackendTest()
            : folder_(
                "qt-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()))
        {
            layer.SetStopDelay(0);
        }

        InTempFolder folder_;
        SoundLayer layer;
        FakeSoundHost host;
    };

    TEST_F(QtBackendTest, CaptureWakesTheLoopForEverySliceUntilStopped)
    {
        if (QMediaDevices::defaultAudioInput().isNull()) {
            if (qgetenv("CI") == "true") // CI starts a sound server: a skip would hide a fault
                FAIL() << "no audio input device";
            GTEST_SKIP() << "no audio input device";
        }
        QtSoundBackend backend;
        ASSERT_EQ(layer.InitSound(host, &backend), 0);
        // About 0.64 s of capture: 20 frames, then stop from the window's events. A timer is
        // the safety net: it can only fire because the loop processes Qt events.
        host.onEvents = [&] {
            if (host.frames.size() >= 20 && !layer.CaptureStopRequested())
                layer.StopCapture();
        };
        bool timedOut = false;
        QTimer::singleShot(5000, [&] {
            timedOut = true;
            layer.StopCapture();
        });
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(layer.StartCapture(), 0);
        const double seconds
            = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_FALSE(timedOut) << "no notification woke the loop";
        EXPECT_TRUE(host.messages.empty());
        EXPECT_GE(host.frames.size(), 20u);
        // Frames come at the capture's own pace (32 ms each), not faster.
        EXPECT_GT(seconds, 0.5);
        EXPECT_FALSE(layer.HasCaptureDevice());
        layer.ReleaseSound();
    }

    TEST_F(QtBackendTest, NothingCapturedAfterAStopReachesTheDetector)
    {
        if (QMediaDevices::defaultAudioInput().isNull()) {
            if (qgetenv("CI") == "true")
                FAIL() << "no audio input device";
            GTEST_SKIP() << "no audio input device";
        }
        QtSoundBackend backend;
        ASSERT_EQ(layer.InitSound(host, &backend), 0);
        // The stop button's way: a window event handled inside the loop's wait, with the real
        // stop delay, during which the device goes on capturing.
        layer.SetStopDelay(kStopDelayMs);
        // Once a few slices have been analysed, or after 5 s at the latest.
        int callsAtStop = -1;
        QTimer stopper;
        QElapsedTimer clock;
        clock.start();
        QObject::connect(&stopper, &QTimer::timeout, [&] {
            if (callsAtStop < 0 && (host.detectorCalls >= 3 || clock.elapsed() > 5000)) {
                callsAtStop = host.detectorCalls;
                layer.StopCapture();
            }
        });
        stopper.start(10);
        EXPECT_EQ(layer.StartCapture(), 0);
        EXPECT_GT(callsAtStop, 0) << "nothing was captured before the stop";
        EXPECT_EQ(host.detectorCalls, callsAtStop);
        layer.ReleaseSound();
    }

    TEST_F(QtBackendTest, PlaybackReturnsWhenTheSamplesHaveBeenHeard)
    {
        if (QMediaDevices::defaultAudioOutput().isNull()) {
            if (qgetenv("CI") == "true")
                FAIL() << "no audio output device";
            GTEST_SKIP() << "no audio output device";
        }
        QtSoundBackend backend;
        ASSERT_EQ(backend.Load(), 0);
        std::vector<std::int16_t> samples;
        AppendDtmfSequence(samples, "1234"); // 1.2 s
        const auto started = std::chrono::steady_clock::now();
        EXPECT_TRUE(backend.PlaySamples(samples, 16000));
        const double seconds
            = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_GE(seconds, 1.2) << "returned before the end was heard";
        EXPECT_LT(seconds, 1.2 + 3.0);
    }

} // namespace
} // namespace quelsor::test

// The backend needs the application object for its event loops; it lives for the whole run.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
