#pragma once

#include "common/SampleFormat.h"
#include "sound/CaptureBuffer.h"
#include "sound/NotificationEvent.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quelsor {

// The capture format record the sound layer asks the device for: PCM (format tag 1), mono,
// 16000 samples per second, 16-bit, block alignment 2, 32000 bytes per second, extra size 18.
struct CaptureFormat {
    int formatTag = 1;
    int channels = 1;
    int samplesPerSecond = 16000;
    int bytesPerSecond = 32000;
    int blockAlign = 2;
    int bitsPerSample = 16;
    int extraSize = 18;
};

// Whether `format` is the program's own (PCM, 16000 Hz, mono, 16-bit, with a consistent block
// alignment and byte rate): the only one the backends create capture buffers in.
inline bool IsProgramCaptureFormat(const CaptureFormat& format)
{
    return format.formatTag == 1 && format.channels == kChannels
        && format.bitsPerSample == kBitsPerSample && format.samplesPerSecond == kSampleRate
        && format.blockAlign == format.channels * format.bitsPerSample / 8
        && format.bytesPerSecond == format.blockAlign * format.samplesPerSecond;
}

// Why a capture buffer could not be created. The sound layer shows one message per value (the
// values name the classic device errors the operator's messages are worded after).
enum class DeviceResult {
    Ok,
    InvalidParam, // "Paramètre invalide"
    BadFormat, // the device does not support the capture format
    Generic,
    NoDriver, // no input device
    OutOfMemory,
    Uninitialized,
    Unidentified, // anything else
};

// What ended a wait of the capture loop.
enum class WaitResult {
    Notified, // the notification event was signalled (and has been consumed)
    Input, // the window received input or other events; the event was not signalled
};

// A sound input or output as the sound system names it.
struct SoundDevice {
    bool input = true; // a capture device; false: a playback device
    std::string id; // the system's own name for it, stable across restarts and replugs
    std::string description; // what people read
    bool isDefault = false; // the system's current default for its direction
};

// The sound device behind the sound layer: capture into a looping CaptureBuffer, playback of a
// whole sample block, and the wait the capture loop blocks in. The real ones are in device/:
// PulseAudio's client library on Linux, WASAPI on Windows, Qt Multimedia on macOS
// (NewSoundBackend.h); the tests plug in a simulated link. The layer calls
// every method on the GUI thread; only CaptureBuffer::Write and NotificationEvent::Signal are
// called from the backend's own capture thread, and WakeWaiter from whichever thread signals.
// The backend is not owned by the layer and must outlive it (or ReleaseSound).
class ISoundBackend {
public:
    virtual ~ISoundBackend() = default;

    // Makes the backend usable, once, at start-up. 0 when ready; otherwise the start-up code:
    // -3 the sound system cannot be used at all, -1 its playback side is missing, -2 its capture
    // side is missing. No device is opened here.
    virtual int Load() = 0;
    // Undoes Load (at shut-down). Must not throw.
    virtual void Unload() = 0;

    // --- Capture, in the order a capture start calls them ---

    // Opens the input device: the one SetInputDevice chose, else the system's default. False
    // when there is none or it cannot be opened.
    virtual bool OpenCaptureDevice() = 0;
    // Creates the looping buffer of `bytes` bytes the device will capture into, in `format`.
    // On success `buffer` holds it (the backend keeps its own reference to write into);
    // otherwise `buffer` is left untouched and the result says why.
    virtual DeviceResult CreateCaptureBuffer(
        const CaptureFormat& format, std::uint32_t bytes, std::shared_ptr<CaptureBuffer>& buffer)
        = 0;
    // Starts capturing into the buffer, looping. False when the device refuses to start.
    virtual bool StartCaptureStream() = 0;
    // Stops capturing and closes the input device. When it returns, the backend no longer
    // writes to the buffer or signals its event. Safe to call when nothing is open.
    virtual void ReleaseCaptureDevice() = 0;

    // Blocks until `event` is signalled (consuming it: returns Notified) or the window has
    // input or other events to handle (returns Input). No busy polling. GUI thread only.
    virtual WaitResult WaitForNotification(NotificationEvent& event) = 0;
    // Wakes a WaitForNotification in progress, from any thread. The sound layer creates its
    // notification event with this as the wake function.
    virtual void WakeWaiter() = 0;

    // --- Playback ---

    // Plays mono 16-bit samples at `sampleRate` Hz on the output SetOutputDevice chose (else the
    // system's default) and returns only when
    // they have been heard to their end (or a bounded wait of their length plus a few seconds
    // has run out). Window input is not processed meanwhile. False when nothing could be
    // played (no device, refused format); the caller does not report it.
    virtual bool PlaySamples(const std::vector<std::int16_t>& samples, int sampleRate) = 0;

    // --- Devices ---

    // The devices present now: every input, then every output. False, with `error` saying why,
    // when the sound system cannot be reached. A backend that cannot tell lists none.
    virtual bool ListDevices(std::vector<SoundDevice>& devices, std::string& error)
    {
        devices.clear();
        error.clear();
        return true;
    }
    // The input the next capture start opens and the output the next playbacks use, by
    // SoundDevice::id; empty: the system's default, looked up when the device is opened. A
    // chosen device that has gone makes the open (or the playback) fail; it is never swapped
    // for another one behind the caller's back.
    virtual void SetInputDevice(const std::string& /*id*/) { }
    virtual void SetOutputDevice(const std::string& /*id*/) { }
    // Why the last device operation failed, in the sound system's words; empty when unknown.
    virtual std::string LastError() const { return {}; }
};

} // namespace quelsor
