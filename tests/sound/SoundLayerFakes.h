#pragma once

#include "decoder/RequestLog.h"
#include "tests/support/ScratchFolder.h"

#include "sound/SoundLayer.h"

#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quelsor::test {

// The window as the sound layer sees it: messages, event pumping, spectrum frames, detector.
// Each hook is optional; ProcessPendingEvents runs `onEvents` (a test's nested handlers).
class FakeSoundHost : public ISoundHost, public IDetectorHost {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void ProcessPendingEvents() override
    {
        ++eventPumps;
        if (onEvents)
            onEvents();
    }
    void DrawSpectrum(const std::int32_t* magnitudes, int count) override
    {
        frames.emplace_back(magnitudes, magnitudes + count);
    }
    IDetectorHost& DetectorHost() override { return *this; }

    int Threshold() const override
    {
        ++detectorCalls;
        if (throwInDetector)
            throw std::runtime_error("detector");
        return 0;
    }
    void OnToneMask(std::int64_t, std::uint8_t, const ToneIndicators&) override { }
    void OnCharacter(std::int64_t, char) override { }
    void OnAnswer(const std::string& text) override
    {
        log.push_back(AnswerLogLine(text));
        answers.push_back(text);
    }

    std::vector<std::string> messages;
    std::vector<std::vector<std::int32_t>> frames;
    std::vector<std::string> log; // the window's line for each closed answer
    std::vector<std::string> answers; // closed by the detector
    int eventPumps = 0;
    mutable int detectorCalls = 0;
    bool throwInDetector = false;
    std::function<void()> onEvents;
};

// A capture buffer whose reads can fail.
class FakeCaptureBuffer : public CaptureBuffer {
public:
    using CaptureBuffer::CaptureBuffer;
    bool NotifyAvailable() const override { return notifyAvailable; }
    bool SetNotificationPositions(const std::vector<std::uint32_t>& offsets,
        std::shared_ptr<NotificationEvent> event) override
    {
        positions = offsets;
        return acceptPositions && CaptureBuffer::SetNotificationPositions(offsets, event);
    }
    bool GetCurrentPosition(std::uint32_t* capture, std::uint32_t* read) override
    {
        return !failPosition && CaptureBuffer::GetCurrentPosition(capture, read);
    }
    bool Lock(std::uint32_t offset, std::uint32_t bytes, LockedRegions& regions) override
    {
        locks.emplace_back(offset, bytes);
        return !failLock && CaptureBuffer::Lock(offset, bytes, regions);
    }

    bool notifyAvailable = true;
    bool acceptPositions = true;
    bool failPosition = false;
    bool failLock = false;
    std::vector<std::uint32_t> positions;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> locks;
};

// A backend that captures what the test writes. Each wait of the capture loop first returns a
// pending notification; otherwise it runs the next scripted step (which typically writes
// samples, or stops the capture) and reports whether that signalled the event. With the script
// exhausted it stops the capture, so a test can never hang.
class FakeBackend : public ISoundBackend {
public:
    explicit FakeBackend(SoundLayer& layer)
        : layer_(layer)
    {
    }

    int Load() override { return loadCode; }
    void Unload() override { ++unloads; }
    bool OpenCaptureDevice() override
    {
        if (failOpen)
            return false;
        ++opens;
        return true;
    }
    DeviceResult CreateCaptureBuffer(const CaptureFormat& format, std::uint32_t bytes,
        std::shared_ptr<CaptureBuffer>& out) override
    {
        lastFormat = format;
        if (bufferResult != DeviceResult::Ok)
            return bufferResult;
        buffer = std::make_shared<FakeCaptureBuffer>(bytes);
        buffer->notifyAvailable = notifyAvailable;
        buffer->acceptPositions = acceptPositions;
        out = buffer;
        return DeviceResult::Ok;
    }
    bool StartCaptureStream() override
    {
        if (!startOk)
            return false;
        ++starts;
        return true;
    }
    void ReleaseCaptureDevice() override { ++releases; }
    WaitResult WaitForNotification(NotificationEvent& event) override
    {
        ++waits;
        if (event.TryConsume())
            return WaitResult::Notified;
        if (script.empty()) {
            layer_.StopCapture();
            return WaitResult::Input;
        }
        auto step = std::move(script.front());
        script.pop_front();
        step();
        return event.TryConsume() ? WaitResult::Notified : WaitResult::Input;
    }
    void WakeWaiter() override { ++wakes; }
    bool PlaySamples(const std::vector<std::int16_t>& samples, int rate) override
    {
        played.push_back(samples);
        playedRate = rate;
        return true;
    }

    // Writes `count` samples of value `value` into the current buffer.
    void Capture(std::int16_t value, int count)
    {
        const std::vector<std::int16_t> samples(static_cast<std::size_t>(count), value);
        buffer->Write(samples.data(), samples.size() * 2);
    }

    int loadCode = 0;
    bool failOpen = false;
    DeviceResult bufferResult = DeviceResult::Ok;
    bool notifyAvailable = true;
    bool acceptPositions = true;
    bool startOk = true;
    int opens = 0, starts = 0, releases = 0, unloads = 0, waits = 0, wakes = 0;
    CaptureFormat lastFormat;
    std::shared_ptr<FakeCaptureBuffer> buffer;
    std::deque<std::function<void()>> script;
    std::vector<std::vector<std::int16_t>> played;
    int playedRate = 0;

private:
    SoundLayer& layer_;
};

// Runs each test in a folder of its own ("tmp.wav" is written in the current directory, and
// the test cases run in parallel), below the build's scratch folder.
class InTempFolder {
public:
    explicit InTempFolder(const std::string& name)
        : folder_(name)
    {
    }

private:
    testing::InScratchFolder folder_;
};

} // namespace quelsor::test
