#pragma once

#include "sound/SoundBackend.h"

#include <memory>
#include <string>
#include <vector>

namespace quelsor {

// The sound backend on PulseAudio's client library, which PipeWire's PulseAudio server serves as
// well. The library's threaded main loop runs every server callback on a thread of its own: the
// captured bytes go from there straight into the CaptureBuffer (which signals the notification
// event at each slice), and a capture stream or server connection that fails marks the buffer's
// device lost, so the capture loop ends with its notification error.
//
// The layer's calls run on the GUI thread and wait for the server's answers under a deadline
// (SetServerTimeout), never longer. The connection to the server is made when first needed and
// made afresh once it has failed: a sound server that restarts, or a device unplugged and
// plugged back, only costs the capture or playback in progress. A chosen device is opened by its
// server name and never moved to another one; with no choice the server's default of the moment
// is used. Monitor sources (what a sink plays) are not listed.
//
// The capture loop's wait and the wait for a playback's end process the GUI thread's Qt events
// (device/QtEventWait.h): create the backend on the GUI thread, after the QCoreApplication, and
// destroy it before.
class PulseSoundBackend : public ISoundBackend {
public:
    PulseSoundBackend();
    ~PulseSoundBackend() override;
    PulseSoundBackend(const PulseSoundBackend&) = delete;
    PulseSoundBackend& operator=(const PulseSoundBackend&) = delete;

    int Load() override;
    void Unload() override;

    bool OpenCaptureDevice() override;
    DeviceResult CreateCaptureBuffer(const CaptureFormat& format, std::uint32_t bytes,
        std::shared_ptr<CaptureBuffer>& buffer) override;
    bool StartCaptureStream() override;
    void ReleaseCaptureDevice() override;

    WaitResult WaitForNotification(NotificationEvent& event) override;
    void WakeWaiter() override;

    bool PlaySamples(const std::vector<std::int16_t>& samples, int sampleRate) override;

    bool ListDevices(std::vector<SoundDevice>& devices, std::string& error) override;
    void SetInputDevice(const std::string& id) override;
    void SetOutputDevice(const std::string& id) override;
    std::string LastError() const override;

    // Extra time allowed for a playback beyond the samples' own length (ms, default 3000).
    void SetPlaybackGrace(int milliseconds);
    // How long to wait for each answer of the server: connection, stream start, device lists
    // (ms, default 5000).
    void SetServerTimeout(int milliseconds);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace quelsor
