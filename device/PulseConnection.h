#pragma once

// The PulseAudio backend's side of the server connection: the main loop's lock and timers, and
// what the backend holds, shared by PulseSoundBackend.cpp (capture and playback) and
// PulseConnection.cpp (connection, devices, capture callbacks).

#include "device/PulseSoundBackend.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quelsor {

// The main loop's lock, held for a scope. Callbacks run on the loop's thread with it held.
class PulseLoopLock {
public:
    explicit PulseLoopLock(pa_threaded_mainloop* loop)
        : loop_(loop)
    {
        pa_threaded_mainloop_lock(loop_);
    }
    ~PulseLoopLock() { pa_threaded_mainloop_unlock(loop_); }
    PulseLoopLock(const PulseLoopLock&) = delete;
    PulseLoopLock& operator=(const PulseLoopLock&) = delete;

private:
    pa_threaded_mainloop* loop_;
};

// A timer of the main loop that runs `fire` on the loop's thread once `milliseconds` have
// passed, unless it is destroyed first. Create and destroy it with the loop's lock held.
class PulseLoopTimer {
public:
    PulseLoopTimer(pa_threaded_mainloop* loop, int milliseconds, std::function<void()> fire)
        : api_(pa_threaded_mainloop_get_api(loop))
        , fire_(std::move(fire))
    {
        timeval when {};
        pa_gettimeofday(&when);
        pa_timeval_add(&when, static_cast<pa_usec_t>(std::max(milliseconds, 0)) * PA_USEC_PER_MSEC);
        event_ = api_->time_new(
            api_, &when,
            [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
                static_cast<PulseLoopTimer*>(self)->fire_();
            },
            this);
    }
    ~PulseLoopTimer()
    {
        if (event_)
            api_->time_free(event_);
    }
    PulseLoopTimer(const PulseLoopTimer&) = delete;
    PulseLoopTimer& operator=(const PulseLoopTimer&) = delete;

private:
    pa_mainloop_api* api_;
    std::function<void()> fire_;
    pa_time_event* event_ = nullptr;
};

// What the backend holds. The GUI thread reaches it with the loop's lock held; the loop's thread
// runs the stream callbacks with that lock held too.
struct PulseSoundBackend::Impl {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* record = nullptr;
    // The capture's buffer; the record stream's callbacks write into it on the loop's thread.
    // Both are only touched with the loop's lock held.
    std::shared_ptr<CaptureBuffer> buffer;
    bool releasing = false; // the record stream is being dropped on purpose
    std::string inputId; // GUI thread only
    std::string outputId; // GUI thread only
    bool inputOpen = false;
    std::string lastError; // with the lock held
    int serverTimeoutMs = 5000;
    int playbackGraceMs = 3000;

    // --- Everything below runs with the loop's lock held ---

    // Waits until done() holds or the deadline has passed; the loop signals at every state
    // change, and a timer of the loop wakes the wait at the deadline. Returns done().
    bool WaitLocked(const std::function<bool()>& done, int milliseconds);

    void Fail(const std::string& why);
    void FailFromContext();

    // A connected context: the current one while it is ready, else a new connection.
    bool EnsureContextLocked();

    void DropContextLocked();

    // Waits for an operation to complete; false (cancelled, so its callback never runs) when it
    // fails or the server does not answer in time.
    bool FinishOperationLocked(pa_operation* operation);

    // Waits until a new stream is ready; false when it failed or the server did not answer.
    bool WaitStreamReadyLocked(pa_stream* stream);

    // Ends the capture stream. Unless on purpose, the buffer's device is marked lost so that the
    // capture loop ends. No callback of the stream runs afterwards.
    void DropRecordLocked(bool deviceLost);

    // Releases the capture device on purpose: the stream, the buffer and the open flag.
    void CloseInputLocked();

    // Whether the device `id` of a direction is present (the default one when id is empty).
    bool DevicePresentLocked(bool input, const std::string& id);

    static void OnRecordReadable(pa_stream* stream, std::size_t, void* data);

    static void OnRecordState(pa_stream* stream, void* data);
    // The devices present now, inputs then outputs, monitors left out.
    bool ListDevicesLocked(std::vector<SoundDevice>& devices);
};

} // namespace quelsor
