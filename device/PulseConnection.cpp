#include "device/PulseConnection.h"

namespace quelsor {

namespace {

    constexpr const char* kApplicationName = "Quelsor";
    constexpr const char* kTimedOut = "the sound server did not answer in time";

} // namespace

bool PulseSoundBackend::Impl::WaitLocked(const std::function<bool()>& done, int milliseconds)
{
    if (done())
        return true;
    bool expired = false;
    const PulseLoopTimer deadline(loop, milliseconds, [this, &expired] {
        expired = true;
        pa_threaded_mainloop_signal(loop, 0);
    });
    while (!done() && !expired)
        pa_threaded_mainloop_wait(loop);
    return done();
}

void PulseSoundBackend::Impl::Fail(const std::string& why) { lastError = why; }

void PulseSoundBackend::Impl::FailFromContext()
{
    Fail(context != nullptr ? pa_strerror(pa_context_errno(context)) : kTimedOut);
}

bool PulseSoundBackend::Impl::EnsureContextLocked()
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

void PulseSoundBackend::Impl::DropContextLocked()
{
    DropRecordLocked(true);
    if (context == nullptr)
        return;
    pa_context_set_state_callback(context, nullptr, nullptr);
    pa_context_disconnect(context);
    pa_context_unref(context);
    context = nullptr;
}

bool PulseSoundBackend::Impl::FinishOperationLocked(pa_operation* operation)
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

bool PulseSoundBackend::Impl::WaitStreamReadyLocked(pa_stream* stream)
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

void PulseSoundBackend::Impl::DropRecordLocked(bool deviceLost)
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

void PulseSoundBackend::Impl::CloseInputLocked()
{
    DropRecordLocked(false);
    buffer.reset();
    inputOpen = false;
}

bool PulseSoundBackend::Impl::DevicePresentLocked(bool input, const std::string& id)
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
                        const char* name
                            = info->input ? server->default_source_name : server->default_sink_name;
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
    pa_operation* operation = input ? pa_context_get_source_info_by_name(
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

void PulseSoundBackend::Impl::OnRecordReadable(pa_stream* stream, std::size_t, void* data)
{
    auto* self = static_cast<Impl*>(data);
    const void* bytes = nullptr;
    std::size_t length = 0;
    while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &bytes, &length) == 0) {
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

void PulseSoundBackend::Impl::OnRecordState(pa_stream* stream, void* data)
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

bool PulseSoundBackend::Impl::ListDevicesLocked(std::vector<SoundDevice>& devices)
{
    struct Listing {
        Impl* self;
        std::vector<SoundDevice>* devices;
        std::string defaultSource;
        std::string defaultSink;
    } listing { this, &devices, {}, {} };
    const bool listed = EnsureContextLocked()
        && FinishOperationLocked(pa_context_get_server_info(
            context,
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
        && FinishOperationLocked(pa_context_get_source_info_list(
            context,
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
        && FinishOperationLocked(pa_context_get_sink_info_list(
            context,
            [](pa_context*, const pa_sink_info* sink, int, void* data) {
                auto* listing = static_cast<Listing*>(data);
                if (sink != nullptr)
                    listing->devices->push_back(
                        { false, sink->name, sink->description ? sink->description : "",
                            listing->defaultSink == sink->name });
                pa_threaded_mainloop_signal(listing->self->loop, 0);
            },
            &listing));
    return listed;
}

} // namespace quelsor
