#pragma once

#include "device/NewSoundBackend.h"
#include "sound/SoundBackend.h"

#include <memory>
#include <string>
#include <vector>

namespace quelsor {

// The sound backend on Windows' own audio API (WASAPI, shared mode), without Qt.
//
// Capture runs on a thread of the backend's: the audio engine signals it at every period, and it
// hands the samples to the CaptureBuffer one 1024-byte slice at a time, so the notification
// event is signalled at the same positions as with the other backends. The engine is asked for
// 16000 Hz mono 16-bit itself (AUTOCONVERTPCM); an engine that refuses gives its own mix format,
// which the thread converts (StreamConverter.h). A capture whose device is invalidated, whose
// GetBuffer fails, or that gets no packet for the stall limit (the audio service went away) marks
// the buffer's device lost, so the capture loop ends with its notification error; the next
// capture opens the device afresh. Every COM object is released on the thread that made it.
//
// Everything else runs on the thread that called Load (the GUI thread): the device list
// (IMMDeviceEnumerator: id = endpoint id, description = friendly name), the playback (a render
// stream of its own, until the stream position has reached the end of the samples), and the
// capture loop's wait: on the window's thread MsgWaitForMultipleObjectsEx, so that window input
// wakes it; on the command line the notification event alone, with a 100 ms tick.
class WasapiSoundBackend : public ISoundBackend {
public:
    explicit WasapiSoundBackend(SoundWaits waits = SoundWaits::Window);
    ~WasapiSoundBackend() override;
    WasapiSoundBackend(const WasapiSoundBackend&) = delete;
    WasapiSoundBackend& operator=(const WasapiSoundBackend&) = delete;

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
    // How long a running capture may go without a packet before its device counts as lost (ms,
    // default 2000; an endpoint delivers a packet every 10 ms or so, silence included).
    void SetStallLimit(int milliseconds);
    // Whether the engine's own conversion is skipped, so that the device's mix format is
    // captured and played and converted here (for tests of that path; default false, or true
    // when QUELSOR_WASAPI_MIX_FORMAT=1 is in the environment).
    void UseMixFormat(bool mixFormat);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace quelsor
