#include "device/PulseSoundBackend.h"

#include "common/SampleFormat.h"
#include "device/QtEventWait.h"

#include <pulse/pulseaudio.h>

#include <QCoreApplication>

#include <algorithm>
#include <functional>
#include <mutex>

namespace quelsor {

namespace {

    constexpr const char* kApplicationName = "Quelsor";
    constexpr const char* kTimedOut = "the sound server did not answer in time";

    // Server latency asked for a playback (a target buffer of 50 ms).
    constexpr pa_usec_t kPlaybackLatencyUs = 50000;
    // The largest buffer a PulseAudio server grants a stream (bytes).
    constexpr std::size_t kMaxServerBuffer = 4 * 1024 * 1024;

    pa_sample_spec ProgramSpec(int sampleRate)
    {
        pa_sample_spec spec {};
        spec.format = PA_SAMPLE_S16LE;
        spec.rate = static_cast<std::uint32_t>(sampleRate);
        spec.channels = static_cast<std::uint8_t>(kChannels);
        return spec;
    }

    // The main loop's lock, held for a scope. Callbacks run on the loop's thread with it held.
    class LoopLock {
    public:
        explicit LoopLock(pa_threaded_mainloop* loop)
            : loop_(loop)
        {
            pa_threaded_mainloop_lock(loop_);
        }
        ~LoopLock() { pa_threaded_mainloop_unlock(loop_); }
        LoopLock(const LoopLock&) = delete;
        LoopLock& operator=(const LoopLock&) = delete;

    private:
        pa_threaded_mainloop* loop_;
    };

    // A timer of the main loop that runs `fire` on the loop's thread once `milliseconds` have
    // passed, unless it is destroyed first. Create and destroy it with the loop's lock held.
    class LoopTimer {
    public:
        LoopTimer(pa_threaded_mainloop* loop, int milliseconds, std::function<void()> fire)
            : api_(pa_threaded_mainloop_get_api(loop))
            , fire_(std::move(fire))
        {
            timeval when {};
            pa_gettimeofday(&when);
            pa_timeval_add(
                &when, static_cast<pa_usec_t>(std::max(milliseconds, 0)) * PA_USEC_PER_MSEC);
            event_ = api_->time_new(
                api_, &when,
                [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
                    static_cast<LoopTimer*>(self)->fire_();
                },
                this);
        }
        ~LoopTimer()
        {
            if (event_)
                api_->time_free(event_);
        }
        LoopTimer(const LoopTimer&) = delete;
        LoopTimer& operator=(const LoopTimer&) = delete;

    private:
        pa_mainloop_api* api_;
        std::function<void()> fire_;
        pa_time_event* event_ = nullptr;
    };

} // namespace

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
    bool WaitLocked(const std::function<bool()>& done, int milliseconds)
    {
        if (done())
            return true;
        bool expired = false;
        const LoopTimer deadline(loop, milliseconds, [this, &expired] {
            expired = true;
            pa_threaded_mainloop_signal(loop, 0);
        });
        while (!done() && !expired)
            pa_threaded_mainloop_wait(loop);
        return done();
    }

    void Fail(const std::string& why) { lastError = why; }
    void FailFromContext()
    {
        Fail(context != nullptr ? pa_strerror(pa_context_errno(context)) : kTimedOut);
    }

    // A connected context: the current one while it is ready, else a new connection.
    bool EnsureContextLocked()
    {
        if (context != nullptr && pa_context_get_state(context) == PA_CONTEXT_READY)
            return true;
        DropContextLocked();
        context = pa_context_new(pa_threaded_mainloop_get_api(loop), kApplicationName);
        if (context == nullptr) {
            Fail("cannot create a connection to the sound server");
            return false;
        }
        pa_context_set_state_callback(
            context,
            [](pa_context*, void* self) {
                pa_threaded_mainloop_signal(static_cast<Impl*>(self)->loop, 0);
            },
            this);
        // Never start a server of our own: the desktop (or the user) runs it.
        if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            FailFromContext();
            DropContextLocked();
            return false;
        }
        const bool settled = WaitLocked(
            [this] {
                const pa_context_state_t state = pa_context_get_state(context);
                return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
            },
            serverTimeoutMs);
        if (!settled || pa_context_get_state(context) != PA_CONTEXT_READY) {
            if (settled)
                FailFromContext();
            else
                Fail(kTimedOut);
            DropContextLocked();
            return false;
        }
        return true;
    }

    void DropContextLocked()
    {
        DropRecordLocked(true);
        if (context == nullptr)
            return;
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
        context = nullptr;
    }

    // Waits for an operation to complete; false (cancelled, so its callback never runs) when it
    // fails or the server does not answer in time.
    bool FinishOperationLocked(pa_operation* operation)
    {
        if (operation == nullptr) {
            FailFromContext();
            return false;
        }
        const bool finished = WaitLocked(
            [operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; },
            serverTimeoutMs);
        const bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
        if (!finished) {
            pa_operation_cancel(operation);
            Fail(kTimedOut);
        } else if (!done) {
            FailFromContext();
        }
        pa_operation_unref(operation);
        return done;
    }

    // Waits until a new stream is ready; false when it failed or the server did not answer.
    bool WaitStreamReadyLocked(pa_stream* stream)
    {
        const bool settled = WaitLocked(
            [stream] {
                const pa_stream_state_t state = pa_stream_get_state(stream);
                return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
            },
            serverTimeoutMs);
        if (settled && pa_stream_get_state(stream) == PA_STREAM_READY)
            return true;
        if (settled)
            FailFromContext();
        else
            Fail(kTimedOut);
        return false;
    }

    // Ends the capture stream. Unless on purpose, the buffer's device is marked lost so that the
    // capture loop ends. No callback of the stream runs afterwards.
    void DropRecordLocked(bool deviceLost)
    {
        if (record == nullptr)
            return;
        releasing = true;
        pa_stream_set_read_callback(record, nullptr, nullptr);
        pa_stream_set_state_callback(record, nullptr, nullptr);
        pa_stream_disconnect(record);
        pa_stream_unref(record);
        record = nullptr;
        releasing = false;
        if (deviceLost && buffer)
            buffer->MarkDeviceLost();
    }

    // Whether the device `id` of a direction is present (the default one when id is empty).
    bool DevicePresentLocked(bool input, const std::string& id)
    {
        struct Found {
            Impl* self;
            bool present = false;
        } found { this };
        std::string name = id;
        if (name.empty()) {
            // The default of the moment: the server names it in its information.
            struct Info {
                Impl* self;
                std::string name;
                bool input;
            } info { this, {}, input };
            if (!FinishOperationLocked(pa_context_get_server_info(
                    context,
                    [](pa_context*, const pa_server_info* server, void* data) {
                        auto* info = static_cast<Info*>(data);
                        if (server != nullptr) {
                            const char* name = info->input ? server->default_source_name
                                                           : server->default_sink_name;
                            info->name = name != nullptr ? name : "";
                        }
                        pa_threaded_mainloop_signal(info->self->loop, 0);
                    },
                    &info)))
                return false;
            name = info.name;
            if (name.empty()) {
                Fail(input ? "the sound server has no input" : "the sound server has no output");
                return false;
            }
        }
        pa_operation* operation = input
            ? pa_context_get_source_info_by_name(
                context, name.c_str(),
                [](pa_context*, const pa_source_info* source, int, void* data) {
                    auto* found = static_cast<Found*>(data);
                    if (source != nullptr)
                        found->present = true;
                    pa_threaded_mainloop_signal(found->self->loop, 0);
                },
                &found)
            : pa_context_get_sink_info_by_name(
                context, name.c_str(),
                [](pa_context*, const pa_sink_info* sink, int, void* data) {
                    auto* found = static_cast<Found*>(data);
                    if (sink != nullptr)
                        found->present = true;
                    pa_threaded_mainloop_signal(found->self->loop, 0);
                },
                &found);
        // A name the server does not know fails the operation ("No such entity").
        if (!FinishOperationLocked(operation))
            return false;
        if (!found.present)
            Fail("no such device: " + name);
        return found.present;
    }

    static void OnRecordReadable(pa_stream* stream, std::size_t, void* data)
    {
        auto* self = static_cast<Impl*>(data);
        const void* bytes = nullptr;
        std::size_t length = 0;
        while (
            pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &bytes, &length) == 0) {
            if (length == 0)
                break; // nothing buffered after all
            if (self->buffer) {
                if (bytes != nullptr) {
                    self->buffer->Write(bytes, length);
                } else {
                    // A hole in the recording: silence keeps the time line.
                    const std::vector<std::uint8_t> silence(length, 0);
                    self->buffer->Write(silence.data(), length);
                }
            }
            pa_stream_drop(stream);
        }
    }

    static void OnRecordState(pa_stream* stream, void* data)
    {
        auto* self = static_cast<Impl*>(data);
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (!PA_STREAM_IS_GOOD(state) && !self->releasing && state != PA_STREAM_UNCONNECTED) {
            // The server went away or killed the stream (its device was removed).
            self->Fail(pa_strerror(pa_context_errno(pa_stream_get_context(stream))));
            if (self->buffer)
                self->buffer->MarkDeviceLost();
        }
        pa_threaded_mainloop_signal(self->loop, 0);
    }
};

PulseSoundBackend::PulseSoundBackend()
    : impl_(std::make_unique<Impl>())
{
}

PulseSoundBackend::~PulseSoundBackend() { Unload(); }

int PulseSoundBackend::Load()
{
    // The waits process the GUI thread's events: the application object must be there.
    if (QCoreApplication::instance() == nullptr || !AttachQtGuiThread())
        return -3;
    if (impl_->loop != nullptr)
        return 0;
    impl_->loop = pa_threaded_mainloop_new();
    if (impl_->loop == nullptr)
        return -3;
    pa_threaded_mainloop_set_name(impl_->loop, "quelsor-sound");
    if (pa_threaded_mainloop_start(impl_->loop) < 0) {
        pa_threaded_mainloop_free(impl_->loop);
        impl_->loop = nullptr;
        return -3;
    }
    return 0;
}

void PulseSoundBackend::Unload()
{
    if (impl_->loop == nullptr)
        return;
    {
        const LoopLock lock(impl_->loop);
        impl_->DropRecordLocked(false);
        impl_->buffer.reset();
        impl_->inputOpen = false;
        impl_->DropContextLocked();
    }
    pa_threaded_mainloop_stop(impl_->loop);
    pa_threaded_mainloop_free(impl_->loop);
    impl_->loop = nullptr;
}

bool PulseSoundBackend::OpenCaptureDevice()
{
    if (impl_->loop == nullptr)
        return false;
    const LoopLock lock(impl_->loop);
    impl_->DropRecordLocked(false);
    impl_->inputOpen
        = impl_->EnsureContextLocked() && impl_->DevicePresentLocked(true, impl_->inputId);
    return impl_->inputOpen;
}

DeviceResult PulseSoundBackend::CreateCaptureBuffer(
    const CaptureFormat& format, std::uint32_t bytes, std::shared_ptr<CaptureBuffer>& buffer)
{
    if (impl_->loop == nullptr || !impl_->inputOpen)
        return DeviceResult::Uninitialized;
    if (bytes == 0 || format.formatTag != 1 || format.channels != kChannels
        || format.bitsPerSample != kBitsPerSample || format.samplesPerSecond != kSampleRate
        || format.blockAlign != format.channels * format.bitsPerSample / 8
        || format.bytesPerSecond != format.blockAlign * format.samplesPerSecond)
        return DeviceResult::InvalidParam;
    // The server converts from whatever the device runs at.
    auto created = std::make_shared<CaptureBuffer>(bytes);
    const LoopLock lock(impl_->loop);
    impl_->buffer = created;
    buffer = std::move(created);
    return DeviceResult::Ok;
}

bool PulseSoundBackend::StartCaptureStream()
{
    if (impl_->loop == nullptr)
        return false;
    const LoopLock lock(impl_->loop);
    Impl& d = *impl_;
    if (!d.inputOpen || !d.buffer || !d.EnsureContextLocked())
        return false;
    d.DropRecordLocked(false);
    const pa_sample_spec spec = ProgramSpec(kSampleRate);
    d.record = pa_stream_new(d.context, "capture", &spec, nullptr);
    if (d.record == nullptr) {
        d.FailFromContext();
        return false;
    }
    pa_stream_set_read_callback(d.record, &Impl::OnRecordReadable, &d);
    pa_stream_set_state_callback(d.record, &Impl::OnRecordState, &d);
    // One notification slice (32 ms) per delivery: the server hands the data over slice by
    // slice instead of in bursts of several.
    pa_buffer_attr attributes {};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = static_cast<std::uint32_t>(-1);
    attributes.prebuf = static_cast<std::uint32_t>(-1);
    attributes.minreq = static_cast<std::uint32_t>(-1);
    attributes.fragsize = kNotifySliceBytes;
    // Never moved: a removed device ends the capture instead of another input answering.
    const auto flags
        = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(
            d.record, d.inputId.empty() ? nullptr : d.inputId.c_str(), &attributes, flags)
        < 0) {
        d.FailFromContext();
        d.DropRecordLocked(false);
        return false;
    }
    if (!d.WaitStreamReadyLocked(d.record)) {
        d.DropRecordLocked(false);
        return false;
    }
    return true;
}

void PulseSoundBackend::ReleaseCaptureDevice()
{
    if (impl_->loop == nullptr)
        return;
    const LoopLock lock(impl_->loop);
    impl_->DropRecordLocked(false);
    impl_->buffer.reset();
    impl_->inputOpen = false;
}

WaitResult PulseSoundBackend::WaitForNotification(NotificationEvent& event)
{
    return WaitWithQtEvents(event);
}

void PulseSoundBackend::WakeWaiter() { WakeQtGuiThread(); }

bool PulseSoundBackend::PlaySamples(const std::vector<std::int16_t>& samples, int sampleRate)
{
    if (samples.empty() || sampleRate <= 0)
        return true;
    if (impl_->loop == nullptr)
        return false;
    Impl& d = *impl_;
    const std::size_t bytes = samples.size() * sizeof(std::int16_t);
    const auto* data = reinterpret_cast<const char*>(samples.data());

    // Set by the loop's thread, read with the lock held; `finished` wakes the GUI thread.
    struct Playback {
        Impl* self = nullptr;
        NotificationEvent finished { [] { WakeQtGuiThread(); } };
        int drained = 0; // 1 played to its end, -1 refused
        bool failed = false;
        bool expired = false;
    } playback;
    playback.self = &d;

    pa_stream* stream = nullptr;
    pa_operation* drain = nullptr;
    std::unique_ptr<LoopTimer> deadline;
    bool written = false;
    {
        const LoopLock lock(d.loop);
        if (!d.EnsureContextLocked())
            return false;
        const pa_sample_spec spec = ProgramSpec(sampleRate);
        stream = pa_stream_new(d.context, "playback", &spec, nullptr);
        if (stream == nullptr) {
            d.FailFromContext();
            return false;
        }
        pa_stream_set_state_callback(
            stream,
            [](pa_stream* s, void* data) {
                auto* playback = static_cast<Playback*>(data);
                if (!PA_STREAM_IS_GOOD(pa_stream_get_state(s))) {
                    playback->failed = true;
                    playback->finished.Signal();
                }
                pa_threaded_mainloop_signal(playback->self->loop, 0);
            },
            &playback);
        pa_stream_set_write_callback(
            stream,
            [](pa_stream*, std::size_t, void* data) {
                pa_threaded_mainloop_signal(static_cast<Playback*>(data)->self->loop, 0);
            },
            &playback);
        pa_buffer_attr attributes {};
        attributes.tlength
            = static_cast<std::uint32_t>(pa_usec_to_bytes(kPlaybackLatencyUs, &spec));
        // Room for the whole block, so it is handed over at once (the server may grant less).
        attributes.maxlength = static_cast<std::uint32_t>(
            std::clamp<std::size_t>(bytes, attributes.tlength, kMaxServerBuffer));
        attributes.prebuf = static_cast<std::uint32_t>(-1);
        attributes.minreq = static_cast<std::uint32_t>(-1);
        attributes.fragsize = static_cast<std::uint32_t>(-1);
        const auto flags
            = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
        if (pa_stream_connect_playback(stream, d.outputId.empty() ? nullptr : d.outputId.c_str(),
                &attributes, flags, nullptr, nullptr)
                == 0
            && d.WaitStreamReadyLocked(stream)) {
            // The samples' own length plus the grace, whatever the server does.
            const int lengthMs
                = static_cast<int>(samples.size() * 1000 / static_cast<std::size_t>(sampleRate));
            deadline
                = std::make_unique<LoopTimer>(d.loop, lengthMs + d.playbackGraceMs, [&playback] {
                      playback.expired = true;
                      playback.finished.Signal();
                      pa_threaded_mainloop_signal(playback.self->loop, 0);
                  });
            // The whole block goes to the server at once, up to the buffer it granted (all of
            // it but for hours of sound): then nothing of ours has to run in time while it
            // plays, and a busy machine cannot make it miss a refill and play silence.
            const pa_buffer_attr* granted = pa_stream_get_buffer_attr(stream);
            std::size_t offset = std::min<std::size_t>(bytes, granted ? granted->maxlength : 0);
            written = offset == 0
                || pa_stream_write(stream, data, offset, nullptr, 0, PA_SEEK_RELATIVE) == 0;
            while (written && offset < bytes) {
                std::size_t room = pa_stream_writable_size(stream);
                if (room == static_cast<std::size_t>(-1)) {
                    written = false;
                } else if (room == 0) {
                    d.WaitLocked(
                        [&] {
                            return playback.expired || playback.failed
                                || pa_stream_writable_size(stream) != 0;
                        },
                        lengthMs + d.playbackGraceMs);
                    written = !playback.expired && !playback.failed;
                } else {
                    room = std::min(room, bytes - offset);
                    written
                        = pa_stream_write(stream, data + offset, room, nullptr, 0, PA_SEEK_RELATIVE)
                        == 0;
                    offset += room;
                }
            }
            if (written) {
                drain = pa_stream_drain(
                    stream,
                    [](pa_stream*, int success, void* data) {
                        auto* playback = static_cast<Playback*>(data);
                        playback->drained = success ? 1 : -1;
                        playback->finished.Signal();
                    },
                    &playback);
                written = drain != nullptr;
            }
        }
        if (!written)
            d.Fail(pa_strerror(pa_context_errno(d.context)));
    }

    // The server confirms the drain once the last sample has been played. Meanwhile the GUI
    // thread handles its other events, but no user input.
    if (written)
        WaitWithoutUserInput(playback.finished);

    const LoopLock lock(d.loop);
    const bool heard = written && playback.drained == 1;
    if (written && !heard)
        d.Fail(playback.expired ? "the playback did not end in time"
                                : pa_strerror(pa_context_errno(pa_stream_get_context(stream))));
    if (drain != nullptr) {
        pa_operation_cancel(drain); // no callback after this (nothing when it has run)
        pa_operation_unref(drain);
    }
    deadline.reset();
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_write_callback(stream, nullptr, nullptr);
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    return heard;
}

bool PulseSoundBackend::ListDevices(std::vector<SoundDevice>& devices, std::string& error)
{
    devices.clear();
    error.clear();
    if (impl_->loop == nullptr) {
        error = "the sound system is not loaded";
        return false;
    }
    const LoopLock lock(impl_->loop);
    Impl& d = *impl_;
    struct Listing {
        Impl* self;
        std::vector<SoundDevice>* devices;
        std::string defaultSource;
        std::string defaultSink;
    } listing { &d, &devices, {}, {} };
    const bool listed = d.EnsureContextLocked()
        && d.FinishOperationLocked(pa_context_get_server_info(
            d.context,
            [](pa_context*, const pa_server_info* server, void* data) {
                auto* listing = static_cast<Listing*>(data);
                if (server != nullptr) {
                    listing->defaultSource
                        = server->default_source_name ? server->default_source_name : "";
                    listing->defaultSink
                        = server->default_sink_name ? server->default_sink_name : "";
                }
                pa_threaded_mainloop_signal(listing->self->loop, 0);
            },
            &listing))
        && d.FinishOperationLocked(pa_context_get_source_info_list(
            d.context,
            [](pa_context*, const pa_source_info* source, int, void* data) {
                auto* listing = static_cast<Listing*>(data);
                // A monitor plays back what its sink plays: not an input to listen to a radio on.
                if (source != nullptr && source->monitor_of_sink == PA_INVALID_INDEX)
                    listing->devices->push_back(
                        { true, source->name, source->description ? source->description : "",
                            listing->defaultSource == source->name });
                pa_threaded_mainloop_signal(listing->self->loop, 0);
            },
            &listing))
        && d.FinishOperationLocked(pa_context_get_sink_info_list(
            d.context,
            [](pa_context*, const pa_sink_info* sink, int, void* data) {
                auto* listing = static_cast<Listing*>(data);
                if (sink != nullptr)
                    listing->devices->push_back(
                        { false, sink->name, sink->description ? sink->description : "",
                            listing->defaultSink == sink->name });
                pa_threaded_mainloop_signal(listing->self->loop, 0);
            },
            &listing));
    if (!listed) {
        devices.clear();
        error = d.lastError;
    }
    return listed;
}

void PulseSoundBackend::SetInputDevice(const std::string& id) { impl_->inputId = id; }

void PulseSoundBackend::SetOutputDevice(const std::string& id) { impl_->outputId = id; }

std::string PulseSoundBackend::LastError() const
{
    if (impl_->loop == nullptr)
        return impl_->lastError;
    const LoopLock lock(impl_->loop);
    return impl_->lastError;
}

void PulseSoundBackend::SetPlaybackGrace(int milliseconds)
{
    impl_->playbackGraceMs = milliseconds;
}

void PulseSoundBackend::SetServerTimeout(int milliseconds)
{
    impl_->serverTimeoutMs = milliseconds;
}

} // namespace quelsor
