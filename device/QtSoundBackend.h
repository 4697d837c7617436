#pragma once

#include "sound/SoundBackend.h"

#include <QAudioDevice>
#include <QPointer>
#include <QThread>

#include <memory>
#include <string>

namespace quelsor {

class CaptureWorker;

// The sound backend on Qt Multimedia, for macOS (Linux has device/PulseSoundBackend.h, Windows
// device/WasapiSoundBackend.h: Qt Multimedia did not reconnect after a failed connect, kept stale
// device lists and cut playbacks short there). Capture uses a QAudioSource on the chosen
// input device, else the default one (16000 Hz, mono, signed 16-bit), living on a thread of its own
// that only pushes the captured bytes into the CaptureBuffer (which signals the notification
// event). The capture loop's wait is QCoreApplication::processEvents(WaitForMoreEvents) on the GUI
// thread, woken by the event through the GUI thread's event dispatcher. Playback uses a QAudioSink
// on the chosen output, in a local event loop that excludes user input, until the sink has drained.
//
// Create it on the GUI thread, after the QCoreApplication, and destroy it before.
class QtSoundBackend : public ISoundBackend {
public:
    QtSoundBackend();
    ~QtSoundBackend() override;

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
    void SetInputDevice(const std::string& id) override { inputId_ = id; }
    void SetOutputDevice(const std::string& id) override { outputId_ = id; }

    // Extra time allowed for playback beyond the samples' own length (ms, default 3000).
    void SetPlaybackGrace(int milliseconds) { playbackGraceMs_ = milliseconds; }

private:
    std::string inputId_; // empty: the default input
    std::string outputId_;
    QAudioDevice inputDevice_;
    bool inputOpen_ = false;
    QThread captureThread_;
    CaptureWorker* worker_ = nullptr; // lives on captureThread_
    std::shared_ptr<CaptureBuffer> buffer_;
    int playbackGraceMs_ = 3000;
};

} // namespace quelsor
