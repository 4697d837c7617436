#include "tests/sound/SoundLayerFakes.h"

#include "audio/DtmfDetector.h"
#include "audio/ToneGenerator.h"
#include "audio/WavHeader.h"
#include "common/FileOpen.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace quelsor::test {
namespace {

    std::string UniqueTestName()
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "-" + info->name() + "-"
            + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
        for (char& c : name) {
            if (c == '/')
                c = '_';
        }
        return name;
    }

    struct WavFileInfo {
        std::size_t bytes = 0;
        std::uint32_t riffSize = 0;
        std::uint32_t dataSize = 0;
    };

    WavFileInfo ReadCaptureFile(const std::filesystem::path& path = kCaptureFileName)
    {
        std::ifstream in(path, std::ios::binary);
        const std::vector<char> bytes { std::istreambuf_iterator<char>(in), {} };
        WavFileInfo info;
        info.bytes = bytes.size();
        if (bytes.size() >= 44) {
            std::memcpy(&info.riffSize, bytes.data() + 4, 4);
            std::memcpy(&info.dataSize, bytes.data() + 40, 4);
        }
        return info;
    }

    class SoundLayerTest : public ::testing::Test {
    protected:
        SoundLayerTest()
            : folder_(UniqueTestName())
            , backend(layer)
        {
            layer.SetStopDelay(0);
        }

        int Init() { return layer.InitSound(host, &backend); }

        // The magnitude of bin 0 of each frame drawn: 512 × the constant sample value of a
        // slice captured with FakeBackend::Capture, so it tells which slice was drawn.
        std::vector<int> FrameValues() const
        {
            std::vector<int> values;
            for (const auto& frame : host.frames)
                values.push_back(frame.at(0) / 512);
            return values;
        }

        InTempFolder folder_;
        SoundLayer layer;
        FakeSoundHost host;
        FakeBackend backend;
    };

    TEST_F(SoundLayerTest, InitSoundResultsAndMessages)
    {
        struct Row {
            bool backendPresent;
            int loadCode;
            int expected;
        };
        const Row rows[] = {
            { false, 0, -3 },
            { true, -3, -3 },
            { true, -1, -1 },
            { true, -2, -2 },
            { true, -9, -3 }, // an unknown failure is the "unusable" code
            { true, 0, 0 },
        };
        for (const Row& row : rows) {
            SoundLayer fresh;
            FakeSoundHost freshHost;
            backend.loadCode = row.loadCode;
            const int result = fresh.InitSound(freshHost, row.backendPresent ? &backend : nullptr);
            EXPECT_EQ(result, row.expected) << row.loadCode;
            EXPECT_EQ(fresh.Initialised(), row.expected == 0);
            if (row.expected == 0) {
                EXPECT_TRUE(freshHost.messages.empty());
            } else {
                EXPECT_EQ(freshHost.messages,
                    (std::vector<std::string> {
                        sound_text::kNoSoundSystem, sound_text::kAbandon }));
            }
        }
    }

    TEST_F(SoundLayerTest, StartCaptureIsRefusedWhenInitSoundFailed)
    {
        backend.loadCode = -3;
        ASSERT_EQ(Init(), -3);
        host.messages.clear();
        EXPECT_EQ(layer.StartCapture(), sound_code::kCaptureDevice);
        EXPECT_EQ(host.messages, std::vector<std::string> { sound_text::kAbandon });
        EXPECT_EQ(backend.opens, 0);
        EXPECT_FALSE(std::filesystem::exists(kCaptureFileName));
        EXPECT_EQ(layer.StopCapture(), 0);
    }

    TEST_F(SoundLayerTest, StartFailuresGiveTheirCodeAndMessagesThenAbandon)
    {
        struct Row {
            const char* what;
            std::function<void(FakeBackend&)> setUp;
            int code;
            const char* firstMessage; // null: only "Abandon ..."
        };
        const auto bufferFails = [](DeviceResult result) {
            return [result](FakeBackend& b) { b.bufferResult = result; };
        };
        const std::vector<Row> rows = {
            { "capture file", [](FakeBackend&) { std::filesystem::create_directory("tmp.wav"); },
                -1, "Création fichier tmp.wav impossible" },
            { "device", [](FakeBackend& b) { b.failOpen = true; }, -2, nullptr },
            { "invalid", bufferFails(DeviceResult::InvalidParam), -3, "Paramètre invalide" },
            { "format", bufferFails(DeviceResult::BadFormat), -3,
                "The specified wave format is not supported" },
            { "generic", bufferFails(DeviceResult::Generic), -3, "Generic error" },
            { "driver", bufferFails(DeviceResult::NoDriver), -3, "No driver" },
            { "memory", bufferFails(DeviceResult::OutOfMemory), -3,
                "The DirectSound subsystem could not allocate sufficient memory to complete the "
                "caller's request" },
            { "uninitialised", bufferFails(DeviceResult::Uninitialized), -3, "Non initialisé" },
            { "other", bufferFails(DeviceResult::Unidentified), -3,
                "Erreur DSOUND non identifiée" },
            { "notify", [](FakeBackend& b) { b.notifyAvailable = false; }, -4, nullptr },
            { "positions", [](FakeBackend& b) { b.acceptPositions = false; }, -5, nullptr },
            { "start", [](FakeBackend& b) { b.startOk = false; }, -6, nullptr },
        };
        for (const Row& row : rows) {
            InTempFolder folder(UniqueTestName() + row.what);
            SoundLayer fresh;
            fresh.SetStopDelay(0);
            FakeSoundHost freshHost;
            FakeBackend fake(fresh);
            row.setUp(fake);
            ASSERT_EQ(fresh.InitSound(freshHost, &fake), 0);
            EXPECT_EQ(fresh.StartCapture(), row.code) << row.what;
            std::vector<std::string> expected;
            if (row.firstMessage)
                expected.push_back(row.firstMessage);
            expected.push_back(sound_text::kAbandon);
            EXPECT_EQ(freshHost.messages, expected) << row.what;
            EXPECT_EQ(fake.waits, 0) << "no loop after a failed start: " << row.what;
            // What the failed start opened stays open until the next stop, which closes it.
            EXPECT_EQ(fresh.HasCaptureDevice(), fake.opens == 1) << row.what;
            fresh.StopCapture();
            EXPECT_EQ(fake.releases, fake.opens) << row.what;
            EXPECT_FALSE(fresh.CaptureFileOpen());
        }
    }

    TEST_F(SoundLayerTest, CaptureFileHoldsOnlyItsHeaderProvisionalThenFinal)
    {
        ASSERT_EQ(Init(), 0);
        WavFileInfo during;
        backend.script.push_back([&] { during = ReadCaptureFile(); });
        EXPECT_EQ(layer.StartCapture(), 0);
        EXPECT_EQ(during.bytes, 44u);
        EXPECT_EQ(during.dataSize, 1000000u);
        EXPECT_EQ(during.riffSize, 1000036u);
        const WavFileInfo after = ReadCaptureFile();
        EXPECT_EQ(after.bytes, 44u);
        EXPECT_EQ(after.dataSize, 0u);
        EXPECT_EQ(after.riffSize, 36u);
    }

    // An installed program's layer writes its capture file to the scratch folder it is given,
    // named in UTF-8 (accents and spaces), and nothing in the current directory.
    TEST_F(SoundLayerTest, CaptureFileGoesToTheScratchFolder)
    {
        const std::string folder = "cache \xC3\xA9t\xC3\xA9";
        const std::filesystem::path folderPath(std::u8string(folder.begin(), folder.end()));
        std::filesystem::create_directory(folderPath);
        layer.SetScratchFolder(folder);
        EXPECT_EQ(layer.CaptureFilePath(), PathInFolder(folder, "tmp.wav"));
        ASSERT_EQ(Init(), 0);
        EXPECT_EQ(layer.StartCapture(), 0);
        EXPECT_EQ(ReadCaptureFile(folderPath / "tmp.wav").bytes, 44u);
        EXPECT_FALSE(std::filesystem::exists(kCaptureFileName));
        layer.SetScratchFolder("");
        EXPECT_EQ(layer.CaptureFilePath(), "tmp.wav");
    }

    TEST_F(SoundLayerTest, DeviceIsAskedForTheProgramFormatAndSliceNotifications)
    {
        ASSERT_EQ(Init(), 0);
        EXPECT_EQ(layer.StartCapture(), 0);
        const CaptureFormat& f = backend.lastFormat;
        EXPECT_EQ(f.formatTag, 1);
        EXPECT_EQ(f.channels, 1);
        EXPECT_EQ(f.samplesPerSecond, 16000);
        EXPECT_EQ(f.bitsPerSample, 16);
        EXPECT_EQ(f.blockAlign, 2);
        EXPECT_EQ(f.bytesPerSecond, 32000);
        EXPECT_EQ(f.extraSize, 18);
        ASSERT_EQ(backend.buffer->Size(), 32768u);
        ASSERT_EQ(backend.buffer->positions.size(), 32u);
        EXPECT_EQ(backend.buffer->positions.front(), 1023u);
        EXPECT_EQ(backend.buffer->positions.back(), 32767u);
        EXPECT_EQ(backend.releases, 1);
    }

    TEST_F(SoundLayerTest, WrappingLockIsAnalysedAsTailThenHead)
    {
        ASSERT_EQ(Init(), 0);
        // 30 slices valued 1..30, then 4 more (31..34) that wrap past the end of the buffer.
        backend.script.push_back([&] {
            for (int v = 1; v <= 30; ++v)
                backend.Capture(static_cast<std::int16_t>(v), 512);
        });
        backend.script.push_back([&] {
            EXPECT_EQ(layer.NextReadOffset(), 30720u);
            for (int v = 31; v <= 34; ++v)
                backend.Capture(static_cast<std::int16_t>(v), 512);
        });
        std::uint32_t offsetAfterWrap = 1;
        backend.script.push_back([&] { offsetAfterWrap = layer.NextReadOffset(); });
        const std::int64_t blocksBefore = layer.Detector().blockIndex;
        EXPECT_EQ(layer.StartCapture(), 0);

        std::vector<int> expected;
        for (int v = 1; v <= 34; ++v)
            expected.push_back(v);
        EXPECT_EQ(FrameValues(), expected);
        EXPECT_EQ(offsetAfterWrap, 2048u);
        const std::vector<std::pair<std::uint32_t, std::uint32_t>> locks { { 0, 30720 },
            { 30720, 4096 } };
        EXPECT_EQ(backend.buffer->locks, locks);
        EXPECT_EQ(backend.buffer->UnlockCount(), 2);
        EXPECT_EQ(host.detectorCalls, 3) << "one region, then two";
        EXPECT_EQ(layer.Detector().blockIndex - blocksBefore, 34 * 512 / 16);
    }

    TEST_F(SoundLayerTest, LessThanOneSliceIsNothingToDo)
    {
        ASSERT_EQ(Init(), 0);
        struct Row {
            int bytesWritten;
            int result;
            std::uint32_t offsetAfter;
        };
        const Row rows[] = {
            { 0, 1, 0 }, // read position equal to the next read offset
            { 1022, 1, 0 },
            { 2, 0, 1024 }, // completes the first slice
            { 1500, 0, 2048 }, // one whole slice more, 476 bytes left over
            { 0, 1, 2048 },
            { 548, 0, 3072 },
        };
        backend.script.push_back([&] {
            for (const Row& row : rows) {
                const std::vector<std::uint8_t> bytes(static_cast<std::size_t>(row.bytesWritten));
                backend.buffer->Write(bytes.data(), bytes.size());
                EXPECT_EQ(layer.HandleCaptureNotification(), row.result) << row.bytesWritten;
                EXPECT_EQ(layer.NextReadOffset(), row.offsetAfter) << row.bytesWritten;
            }
        });
        EXPECT_EQ(layer.StartCapture(), 0);
        EXPECT_EQ(host.frames.size(), 3u);
    }

    TEST_F(SoundLayerTest, StopDuringARegionSkipsTheRestButTheDetectorSeesTheWholeRegion)
    {
        ASSERT_EQ(Init(), 0);
        backend.script.push_back([&] {
            for (int v = 1; v <= 30; ++v)
                backend.Capture(static_cast<std::int16_t>(v), 512);
        });
        std::int64_t blocksBefore = 0;
        backend.script.push_back([&] {
            blocksBefore = layer.Detector().blockIndex;
            // Stop from the window's events right after the first frame of the wrapping lock.
            host.onEvents = [&] {
                if (host.frames.size() == 31 && !layer.CaptureStopRequested())
                    layer.StopCapture();
            };
            for (int v = 31; v <= 34; ++v)
                backend.Capture(static_cast<std::int16_t>(v), 512);
        });
        EXPECT_EQ(layer.StartCapture(), 0);

        EXPECT_EQ(host.frames.size(), 31u) << "the second frame and the second region skipped";
        EXPECT_EQ(host.detectorCalls, 2);
        EXPECT_EQ(layer.Detector().blockIndex - blocksBefore, 2 * 512 / 16)
            << "the detector still sees the whole first region";
        EXPECT_EQ(backend.buffer->UnlockCount(), 1) << "the interrupted lock is not released";
        EXPECT_EQ(layer.NextReadOffset(), 0u) << "advanced by the first region only";
        EXPECT_EQ(backend.script.size(), 0u);
    }

    TEST_F(SoundLayerTest, AudioCapturedAfterAStopDuringTheWaitIsNeverAnalysed)
    {
        ASSERT_EQ(Init(), 0);
        backend.script.push_back([&] { backend.Capture(1, 512); });
        // The stop comes from the window's events inside the wait; the device goes on capturing
        // (and signalling) until it is released.
        backend.script.push_back([&] {
            layer.StopCapture();
            backend.Capture(2, 1024);
        });
        EXPECT_EQ(layer.StartCapture(), 0);
        EXPECT_EQ(FrameValues(), (std::vector<int> { 1 }));
        EXPECT_EQ(host.detectorCalls, 1);
        EXPECT_EQ(layer.NextReadOffset(), 1024u);
    }

    TEST_F(SoundLayerTest, ReadFailureEndsTheLoopWithItsMessage)
    {
        for (const bool failLock : { false, true }) {
            InTempFolder folder(UniqueTestName() + (failLock ? "lock" : "position"));
            SoundLayer fresh;
            fresh.SetStopDelay(0);
            FakeSoundHost freshHost;
            FakeBackend fake(fresh);
            ASSERT_EQ(fresh.InitSound(freshHost, &fake), 0);
            fake.script.push_back([&] {
                (failLock ? fake.buffer->failLock : fake.buffer->failPosition) = true;
                fake.Capture(1, 512);
            });
            fake.script.push_back([] { ADD_FAILURE() << "the loop went on after the failure"; });
            EXPECT_EQ(fresh.StartCapture(), 0);
            EXPECT_EQ(freshHost.messages,
                std::vector<std::string> { "Error handling DirectSound notifications. " });
            EXPECT_TRUE(fresh.CaptureStopRequested());
            // The device stays open, and "tmp.wav" unfinished, until the next stop.
            EXPECT_TRUE(fresh.HasCaptureDevice());
            EXPECT_TRUE(fresh.CaptureFileOpen());
            fresh.StopCapture();
            EXPECT_EQ(fake.releases, 1);
            EXPECT_FALSE(fresh.CaptureFileOpen());
        }
    }

    TEST_F(SoundLayerTest, ExceptionInTheAnalysisIsReportedAndCaptureGoesOn)
    {
        ASSERT_EQ(Init(), 0);
        host.throwInDetector = true;
        backend.script.push_back([&] { backend.Capture(5, 512); });
        backend.script.push_back([&] { backend.Capture(6, 512); });
        EXPECT_EQ(layer.StartCapture(), 0);
        EXPECT_EQ(host.messages,
            (std::vector<std::string> { sound_text::kInternalError, sound_text::kInternalError }));
        EXPECT_EQ(FrameValues(), (std::vector<int> { 5, 6 }));
        EXPECT_EQ(backend.buffer->UnlockCount(), 2);
    }

    TEST_F(SoundLayerTest, NestedCapturesAllEndAtTheNextStop)
    {
        ASSERT_EQ(Init(), 0);
        // Each capture, at its first notification, does what a new request does from the
        // window's events: stop the running capture and start a new one, nested. Three levels.
        int depth = 0;
        std::vector<int> innerResults;
        std::vector<int> waitsAtReturn;
        host.onEvents = [&] {
            if (depth >= 2 || host.frames.size() != static_cast<std::size_t>(depth + 1))
                return;
            ++depth;
            layer.StopCapture();
            backend.script.push_back(
                [&] { backend.Capture(static_cast<std::int16_t>(depth + 1), 512); });
            innerResults.push_back(layer.StartCapture());
            waitsAtReturn.push_back(backend.waits);
        };
        backend.script.push_back([&] { backend.Capture(1, 512); });
        const int outer = layer.StartCapture();
        waitsAtReturn.push_back(backend.waits);

        EXPECT_EQ(outer, 0);
        EXPECT_EQ(innerResults, (std::vector<int> { 0, 0 }));
        EXPECT_EQ(FrameValues(), (std::vector<int> { 1, 2, 3 }));
        // Once the innermost loop ended on the stop, no outer loop waited again.
        ASSERT_EQ(waitsAtReturn.size(), 3u);
        EXPECT_EQ(waitsAtReturn[0], waitsAtReturn[2]);
        EXPECT_EQ(backend.opens, 3);
        EXPECT_EQ(backend.releases, 3);
        EXPECT_TRUE(layer.CaptureStopRequested());
        EXPECT_EQ(ReadCaptureFile().dataSize, 0u);
    }

    TEST_F(SoundLayerTest, PlaySoundFilePlaysOnlyReadableFilesWithSamples)
    {
        ASSERT_EQ(Init(), 0);
        const auto writeFile = [](const char* name, const std::string& sequence) {
            std::FILE* file = std::fopen(name, "wb");
            ASSERT_NE(file, nullptr);
            WavHeader header;
            BuildWavHeader(header, kCommandFileProvisionalSize);
            WriteWavHeader(header, file);
            WriteDTMFSequence(sequence, file);
            const long end = std::ftell(file);
            BuildWavHeader(header, static_cast<std::int32_t>(end - kWavHeaderSize));
            WriteWavHeader(header, file);
            std::fclose(file);
        };
        writeFile("command.wav", "12");
        writeFile("empty.wav", "");
        std::ofstream("text.wav") << "not a sound file";

        struct Row {
            const char* path;
            std::size_t samplesPlayed; // 0: nothing played
        };
        const Row rows[] = {
            { "command.wav", 2 * 2 * 2400 },
            { "empty.wav", 0 },
            { "missing.wav", 0 },
            { "text.wav", 0 },
        };
        for (const Row& row : rows) {
            backend.played.clear();
            layer.PlaySoundFile(row.path);
            if (row.samplesPlayed == 0) {
                EXPECT_TRUE(backend.played.empty()) << row.path;
            } else {
                ASSERT_EQ(backend.played.size(), 1u) << row.path;
                EXPECT_EQ(backend.played[0].size(), row.samplesPlayed);
                EXPECT_EQ(backend.playedRate, 16000);
            }
        }
        EXPECT_TRUE(host.messages.empty()) << "playback failures are not reported";
    }

    TEST_F(SoundLayerTest, ReleaseSoundUnloadsTheBackendOnce)
    {
        ASSERT_EQ(Init(), 0);
        EXPECT_EQ(layer.ReleaseSound(), 0);
        EXPECT_EQ(backend.unloads, 1);
        EXPECT_FALSE(layer.Initialised());
        EXPECT_EQ(layer.ReleaseSound(), 0);
        EXPECT_EQ(backend.unloads, 1);
    }

} // namespace
} // namespace quelsor::test
