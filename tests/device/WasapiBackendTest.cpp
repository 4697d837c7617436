// The WASAPI backend where no sound server is needed: the engine's format records, the failure
// texts, the capture loop's waits and the refusals of devices that are not there. The sound path
// itself is tested under Wine against a real server by scripts/test-windows.sh.

#include "device/WasapiCom.h"
#include "device/WasapiSoundBackend.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace quelsor {
namespace {

    WAVEFORMATEXTENSIBLE Extensible(int rate, int channels, int bits, WORD tag)
    {
        WAVEFORMATEXTENSIBLE format {};
        format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
        format.Format.nChannels = static_cast<WORD>(channels);
        format.Format.nSamplesPerSec = static_cast<DWORD>(rate);
        format.Format.wBitsPerSample = static_cast<WORD>(bits);
        format.Format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
        format.Format.nAvgBytesPerSec = format.Format.nSamplesPerSec * format.Format.nBlockAlign;
        format.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
        format.Samples.wValidBitsPerSample = static_cast<WORD>(bits);
        format.SubFormat.Data1 = tag; // KSDATAFORMAT_SUBTYPE_PCM or _IEEE_FLOAT
        return format;
    }

    TEST(WasapiFormatTest, MixFormatsThatCanBeConvertedAndThoseThatCannot)
    {
        struct Row {
            const char* what;
            WAVEFORMATEXTENSIBLE format;
            bool readable;
            DeviceStreamFormat expected;
        };
        WAVEFORMATEXTENSIBLE plain {};
        plain.Format = wasapi::Mono16Format(16000);
        WAVEFORMATEXTENSIBLE badAlign = Extensible(48000, 2, 32, WAVE_FORMAT_IEEE_FLOAT);
        badAlign.Format.nBlockAlign = 4;
        WAVEFORMATEXTENSIBLE shortRecord = Extensible(48000, 2, 32, WAVE_FORMAT_IEEE_FLOAT);
        shortRecord.Format.cbSize = 0;
        const Row rows[] = {
            { "16-bit mono PCM", plain, true, { 16000, 1, SampleEncoding::Int16 } },
            { "float stereo", Extensible(48000, 2, 32, WAVE_FORMAT_IEEE_FLOAT), true,
                { 48000, 2, SampleEncoding::Float32 } },
            { "32-bit 5.1", Extensible(44100, 6, 32, WAVE_FORMAT_PCM), true,
                { 44100, 6, SampleEncoding::Int32 } },
            { "packed 24-bit", Extensible(48000, 2, 24, WAVE_FORMAT_PCM), false, {} },
            { "64-bit float", Extensible(48000, 2, 64, WAVE_FORMAT_IEEE_FLOAT), false, {} },
            { "block alignment that does not fit", badAlign, false, {} },
            { "extensible tag on a short record", shortRecord, false, {} },
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(row.what);
            const auto read = wasapi::ReadStreamFormat(row.format.Format);
            ASSERT_EQ(read.has_value(), row.readable);
            if (read) {
                EXPECT_EQ(read->rate, row.expected.rate);
                EXPECT_EQ(read->channels, row.expected.channels);
                EXPECT_EQ(read->encoding, row.expected.encoding);
            }
        }
    }

    TEST(WasapiFormatTest, FailuresSayWhatTheyMean)
    {
        EXPECT_EQ(wasapi::FailureText("the sound input was lost", AUDCLNT_E_DEVICE_INVALIDATED),
            "the sound input was lost: the sound device was removed");
        EXPECT_EQ(
            wasapi::FailureText("x", static_cast<HRESULT>(0x88890999)), "x: error 0x88890999");
        EXPECT_TRUE(wasapi::DeviceGone(AUDCLNT_E_SERVICE_NOT_RUNNING));
        EXPECT_FALSE(wasapi::DeviceGone(AUDCLNT_E_UNSUPPORTED_FORMAT));
    }

    // Loads `backend`: false (the test skipped, or failed under CI) where the audio system
    // cannot be had at all, as under Wine with its PulseAudio driver and no server to reach.
    bool Loaded(WasapiSoundBackend& backend)
    {
        if (backend.Load() == 0)
            return true;
        const char* ci = std::getenv("CI");
        if (ci != nullptr && std::strcmp(ci, "true") == 0)
            ADD_FAILURE() << "the audio system cannot be loaded";
        return false;
    }

    class WasapiBackendTest : public ::testing::Test {
    protected:
        void SetUp() override
        {
            if (!Loaded(backend))
                GTEST_SKIP() << "no audio system (under Wine: no sound server for its driver)";
        }
        WasapiSoundBackend backend { SoundWaits::CommandLine };
    };

    // The command line's wait: the event consumed at once when set, a signal from another thread
    // seen as soon as it comes, and the 100 ms tick when nothing comes.
    TEST_F(WasapiBackendTest, TheCommandLineWaitWakesOnTheEventOrItsTick)
    {
        NotificationEvent event([this] { backend.WakeWaiter(); });
        event.Signal();
        EXPECT_EQ(backend.WaitForNotification(event), WaitResult::Notified);
        EXPECT_FALSE(event.IsSet());

        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(backend.WaitForNotification(event), WaitResult::Input);
        const auto waited = std::chrono::steady_clock::now() - started;
        EXPECT_GE(waited, std::chrono::milliseconds(50));
        EXPECT_LT(waited, std::chrono::seconds(2));

        std::thread signaller([&event] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            event.Signal();
        });
        WaitResult result = backend.WaitForNotification(event);
        if (result == WaitResult::Input) // the tick came first
            result = backend.WaitForNotification(event);
        signaller.join();
        EXPECT_EQ(result, WaitResult::Notified);
    }

    // The window's wait returns for a message of the thread's queue, even one that was there
    // before the wait began.
    TEST(WasapiWindowWaitTest, WindowInputEndsTheWait)
    {
        WasapiSoundBackend backend(SoundWaits::Window);
        if (!Loaded(backend))
            GTEST_SKIP() << "no audio system (under Wine: no sound server for its driver)";
        NotificationEvent event([&backend] { backend.WakeWaiter(); });
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE); // gives the thread its queue
        ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_USER, 0, 0));
        EXPECT_EQ(backend.WaitForNotification(event), WaitResult::Input);
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) { }
    }

    // A device chosen by an id that names none is refused and said, never swapped for another.
    TEST_F(WasapiBackendTest, AnAbsentDeviceIsRefusedWithItsName)
    {
        std::shared_ptr<CaptureBuffer> buffer;
        EXPECT_EQ(backend.CreateCaptureBuffer(CaptureFormat {}, kCaptureBufferBytes, buffer),
            DeviceResult::Uninitialized);
        const std::string absent = "{0.0.1.00000000}.{00000000-0000-0000-0000-000000000000}";
        backend.SetInputDevice(absent);
        EXPECT_FALSE(backend.OpenCaptureDevice());
        EXPECT_EQ(backend.LastError(), "no such device: " + absent);
        EXPECT_FALSE(backend.StartCaptureStream());
        backend.SetOutputDevice(absent);
        EXPECT_FALSE(backend.PlaySamples(std::vector<std::int16_t>(160, 0), 16000));
        EXPECT_EQ(backend.LastError(), "no such device: " + absent);
        backend.ReleaseCaptureDevice(); // nothing open: nothing to do
    }

} // namespace
} // namespace quelsor
