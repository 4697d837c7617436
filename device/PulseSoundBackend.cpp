#include "device/PulseSoundBackend.h"

#include "common/SampleFormat.h"
#include "device/PulseConnection.h"
#include "device/QtEventWait.h"

#include <QCoreApplication>

#include <algorithm>

namespace quelsor {

namespace {

    // Server latency asked for a playback (a target buffer of 50 ms).
    constexpr pa_usec_t kPlaybackLatencyUs = 50000;
    // The largest buffer a PulseAudio server grants a stream (bytes).
    constexpr std::size_t kMaxServerBuffer = 4 * 1024 * 1024;

    pa_sample_spec StreamFormat(int sampleRate)
    {
        pa_sample_spec streamFormat {};
        streamFormat.format = PA_SAMPLE_S16LE;
        streamFormat.rate = static_cast<std::uint32_t>(sampleRate);
        streamFormat.channels = static_cast<std::uint8_t>(kChannels);
        return streamFormat;
    }

} // namespace

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
        const PulseLoopLock lock(impl_->loop);
        impl_->CloseInputLocked();
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
    const PulseLoopLock lock(impl_->loop);
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
    if (bytes == 0 || !IsProgramCaptureFormat(format))
        return DeviceResult::InvalidParam;
    // The server converts from whatever the device runs at.
    auto created = std::make_shared<CaptureBuffer>(bytes);
    const PulseLoopLock lock(impl_->loop);
    impl_->buffer = created;
    buffer = std::move(created);
    return DeviceResult::Ok;
}

bool PulseSoundBackend::StartCaptureStream()
{
    if (impl_->loop == nullptr)
        return false;
    const PulseLoopLock lock(impl_->loop);
    Impl& d = *impl_;
    if (!d.inputOpen || !d.buffer || !d.EnsureContextLocked())
        return false;
    d.DropRecordLocked(false);
    const pa_sample_spec streamFormat = StreamFormat(kSampleRate);
    d.record = pa_stream_new(d.context, "capture", &streamFormat, nullptr);
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
    const PulseLoopLock lock(impl_->loop);
    impl_->CloseInputLocked();
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
    std::unique_ptr<PulseLoopTimer> deadline;
    bool written = false;
    {
        const PulseLoopLock lock(d.loop);
        if (!d.EnsureContextLocked())
            return false;
        const pa_sample_spec streamFormat = StreamFormat(sampleRate);
        stream = pa_stream_new(d.context, "playback", &streamFormat, nullptr);
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
            = static_cast<std::uint32_t>(pa_usec_to_bytes(kPlaybackLatencyUs, &streamFormat));
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
            deadline = std::make_unique<PulseLoopTimer>(
                d.loop, lengthMs + d.playbackGraceMs, [&playback] {
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

    const PulseLoopLock lock(d.loop);
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
    const PulseLoopLock lock(impl_->loop);
    if (impl_->ListDevicesLocked(devices))
        return true;
    devices.clear();
    error = impl_->lastError;
    return false;
}

void PulseSoundBackend::SetInputDevice(const std::string& id) { impl_->inputId = id; }

void PulseSoundBackend::SetOutputDevice(const std::string& id) { impl_->outputId = id; }

std::string PulseSoundBackend::LastError() const
{
    if (impl_->loop == nullptr)
        return impl_->lastError;
    const PulseLoopLock lock(impl_->loop);
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
