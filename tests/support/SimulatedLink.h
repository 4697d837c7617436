#pragma once

#include "audio/DtmfDetector.h"
#include "sound/SoundBackend.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quelsor::testing {

enum class LinkPace { Instant, RealTime };

// How a SimulatedLink behaves; see SimulatedLink.
struct SimulatedLinkConfig {
    // Answer (a DTMF string) per command as the device decodes it (upper case); a command
    // without an entry gets only its echo.
    std::map<std::string, std::string> answers;
    bool echo = true;
    // Result of Load (0, or the start-up failure -3, -1, -2).
    int loadCode = 0;
    // Capture start failure to simulate: 0 none, or the step that fails: -2 the device, -3
    // the buffer (with bufferResult), -4 the notifications, -5 their positions, -6 the start.
    int startFailure = 0;
    DeviceResult bufferResult = DeviceResult::NoDriver;
    // False: PlaySamples fails as with a missing output device (nothing is heard).
    bool outputDevice = true;
    LinkPace pace = LinkPace::Instant;
    double speed = 1.0; // real-time pace: 2.0 sends twice as fast as real time
    // Silence the device waits after the command before answering (ms).
    int answerDelayMs = 100;
    // Silence after the echo and after the answer before the closing pair (> 452 ms).
    int closingSilenceMs = 500;
    int closingPairMs = 8;
    char closingPairKey = 'D';
    // Detection threshold of the device's own detector.
    int deviceThreshold = 20;
};

// A sound backend for tests: a simulated remote device at the other end of the audio link.
// What the program plays reaches the device, which decodes it with the real DTMF detector (a
// fresh DeviceListener per command, as `quelsor-cli simulate` listens) and answers through the
// capture side with generated DTMF audio: the echo of the command, the configured answer, each
// followed by the closing silence and a short tone pair that lets the requester's detector close
// it. Between and after answers the device sends silence.
//
// Capture samples are pushed either on demand, one 1024-byte slice per wait of the capture loop
// (Pace::Instant: as fast as the loop runs, deterministic), or by a thread of the link in real
// time or faster (Pace::RealTime with a speed factor), as a real device would. The wait of the
// real-time pace blocks on the notification event; a test that runs inside a Qt application can
// override WaitForNotification and WakeWaiter with the Qt forms (device/QtEventWait.h).
class SimulatedLink : public ISoundBackend {
public:
    using Pace = LinkPace;
    using Config = SimulatedLinkConfig;

    explicit SimulatedLink(Config config = {});
    ~SimulatedLink() override;

    // The configuration may be changed between captures (not while one runs).
    Config& config() { return config_; }

    int Load() override;
    void Unload() override;
    bool OpenCaptureDevice() override;
    DeviceResult CreateCaptureBuffer(const CaptureFormat& format, std::uint32_t bytes,
        std::shared_ptr<CaptureBuffer>& buffer) override;
    bool StartCaptureStream() override;
    void ReleaseCaptureDevice() override;
    WaitResult WaitForNotification(NotificationEvent& event) override;
    void WakeWaiter() override { }
    bool PlaySamples(const std::vector<std::int16_t>& samples, int sampleRate) override;

    // Queues audio the device sends after what is already queued (any thread).
    void Transmit(const std::vector<std::int16_t>& samples);
    // Samples queued and not yet delivered to the capture side.
    std::size_t PendingSamples() const;

    // What the device heard: each played command, decoded.
    std::vector<std::string> CommandsHeard() const;
    // The reply the device sends for a decoded command (see Config).
    std::vector<std::int16_t> ReplyFor(const std::string& command) const;

    // Counters for the tests.
    int OpenCount() const { return openCount_; }
    int ReleaseCount() const { return releaseCount_; }
    int LoadCount() const { return loadCount_; }
    int UnloadCount() const { return unloadCount_; }
    std::uint64_t SlicesPushed() const { return slicesPushed_; }
    bool Capturing() const { return streaming_; }

private:
    std::string Decode(const std::vector<std::int16_t>& samples) const;
    // Pushes one slice (1024 bytes) of queued audio or silence into the buffer.
    void PushSlice();
    void StopPusher();

    Config config_;
    mutable std::mutex mutex_; // guards queue_, buffer_, heard_
    std::deque<std::int16_t> queue_;
    std::shared_ptr<CaptureBuffer> buffer_;
    std::vector<std::string> heard_;
    bool deviceOpen_ = false;
    std::atomic<bool> streaming_ { false };
    std::atomic<std::uint64_t> slicesPushed_ { 0 };
    int openCount_ = 0;
    int releaseCount_ = 0;
    int loadCount_ = 0;
    int unloadCount_ = 0;
    std::thread pusher_;
    std::condition_variable stopPusher_;
    bool pusherStop_ = false; // guarded by mutex_
};

} // namespace quelsor::testing
