#include "device/WasapiSoundBackend.h"

#include "common/SampleFormat.h"
#include "device/WasapiCom.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>

namespace quelsor {

using wasapi::ComRef;

namespace {

    // 100-nanosecond units of the audio engine's durations.
    constexpr REFERENCE_TIME kHundredNsPerMs = 10000;
    // The engine's buffer for a capture stream (as long as our own: a capture thread held up for
    // up to a second loses nothing), and for a playback stream.
    constexpr REFERENCE_TIME kCaptureBufferDuration = 1000 * kHundredNsPerMs;
    constexpr REFERENCE_TIME kRenderBufferDuration = 200 * kHundredNsPerMs;
    // The command line's wait wakes this often without audio (as the Qt builds' timer does).
    constexpr DWORD kCommandLineTickMs = 100;
    // How long a capture start may take before it counts as failed.
    constexpr auto kStartTimeout = std::chrono::seconds(5);
    constexpr DWORD kStreamFlags
        = AUDCLNT_STREAMFLAGS_EVENTCALLBACK | AUDCLNT_STREAMFLAGS_NOPERSIST;
    constexpr DWORD kConvertFlags
        = AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;

    // An event handle closed when it goes.
    class EventHandle {
    public:
        explicit EventHandle(bool manualReset)
            : handle_(CreateEventW(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr))
        {
        }
        ~EventHandle()
        {
            if (handle_ != nullptr)
                CloseHandle(handle_);
        }
        EventHandle(const EventHandle&) = delete;
        EventHandle& operator=(const EventHandle&) = delete;
        HANDLE Get() const { return handle_; }

    private:
        HANDLE handle_;
    };

    // A stream of the engine made for one endpoint: the client initialised in 16-bit mono at
    // `rate` Hz (the engine converting), or else in the engine's mix format, which `device` then
    // describes. False with `error` set when neither can be had.
    bool OpenStream(IMMDevice& endpoint, int rate, REFERENCE_TIME duration, bool mixFormat,
        ComRef<IAudioClient>& client, DeviceStreamFormat& device, std::string& error)
    {
        HRESULT result
            = endpoint.Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, client.PutVoid());
        if (FAILED(result)) {
            error = wasapi::FailureText("the sound device cannot be opened", result);
            return false;
        }
        if (!mixFormat) {
            const WAVEFORMATEX wanted = wasapi::Mono16Format(rate);
            result = client->Initialize(AUDCLNT_SHAREMODE_SHARED, kStreamFlags | kConvertFlags,
                duration, 0, &wanted, nullptr);
            if (SUCCEEDED(result)) {
                device = { rate, 1, SampleEncoding::Int16 };
                return true;
            }
            if (wasapi::DeviceGone(result)) {
                error = wasapi::FailureText("the sound device cannot be opened", result);
                return false;
            }
            // A client whose Initialize failed is not initialised again: a new one is made.
            result
                = endpoint.Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, client.PutVoid());
            if (FAILED(result)) {
                error = wasapi::FailureText("the sound device cannot be opened", result);
                return false;
            }
        }
        WAVEFORMATEX* mix = nullptr;
        result = client->GetMixFormat(&mix);
        if (FAILED(result)) {
            error = wasapi::FailureText("the sound device gives no format", result);
            return false;
        }
        const std::optional<DeviceStreamFormat> read = wasapi::ReadStreamFormat(*mix);
        if (read)
            result = client->Initialize(
                AUDCLNT_SHAREMODE_SHARED, kStreamFlags, duration, 0, mix, nullptr);
        CoTaskMemFree(mix);
        if (!read) {
            error = "the sound device's format cannot be converted";
            return false;
        }
        if (FAILED(result)) {
            error = wasapi::FailureText("the sound device refuses its own format", result);
            return false;
        }
        device = *read;
        return true;
    }

} // namespace

// One capture, shared by the backend and its thread, so that a thread that outlives a start
// it could not finish in time still has what it uses.
struct CaptureSession {
    std::string endpointId; // empty: the default input
    std::shared_ptr<CaptureBuffer> buffer;
    EventHandle stop { true };
    int stallLimitMs = 2000;
    bool mixFormat = false;
    std::mutex mutex;
    std::string error; // with the mutex held

    void Fail(const std::string& why)
    {
        const std::lock_guard lock(mutex);
        error = why;
    }

    // The capture thread: opens the stream, says whether it started, then hands every packet to
    // the buffer until a stop, a failure or a stall.
    void Run(std::promise<bool>& started);
};

void CaptureSession::Run(std::promise<bool>& started)
{
    const wasapi::ComScope com;
    std::string why;
    ComRef<IMMDevice> endpoint;
    ComRef<IAudioClient> client;
    ComRef<IAudioCaptureClient> capture;
    DeviceStreamFormat device;
    const EventHandle ready(false);
    bool running = false;
    if (!com.Usable()) {
        why = "COM cannot be used";
    } else if (endpoint = wasapi::FindEndpoint(eCapture, endpointId, why); endpoint
               && OpenStream(*endpoint.Get(), kSampleRate, kCaptureBufferDuration, mixFormat,
                   client, device, why)) {
        HRESULT result = client->SetEventHandle(ready.Get());
        if (SUCCEEDED(result))
            result = client->GetService(__uuidof(IAudioCaptureClient), capture.PutVoid());
        if (SUCCEEDED(result))
            result = client->Start();
        running = SUCCEEDED(result);
        if (!running)
            why = wasapi::FailureText("the sound input cannot start", result);
    }
    if (!running) {
        Fail(why);
        started.set_value(false);
        return;
    }
    started.set_value(true);

    std::optional<CaptureConverter> converter;
    if (!device.IsCaptureFormat())
        converter.emplace(device);
    std::vector<std::int16_t> pending; // converted samples not yet handed over
    const std::size_t sliceSamples = kNotifySliceBytes / sizeof(std::int16_t);
    const HANDLE waits[] = { stop.Get(), ready.Get() };
    auto lastPacket = std::chrono::steady_clock::now();
    const auto stallLimit = std::chrono::milliseconds(stallLimitMs);
    for (;;) {
        const DWORD woken
            = WaitForMultipleObjects(2, waits, FALSE, static_cast<DWORD>(stallLimitMs));
        if (woken == WAIT_OBJECT_0)
            break;
        if (woken == WAIT_FAILED) {
            why = "the sound input cannot be waited for";
            break;
        }
        HRESULT result = S_OK;
        UINT32 frames = 0;
        bool gotPacket = false;
        while (SUCCEEDED(result = capture->GetNextPacketSize(&frames)) && frames > 0) {
            BYTE* data = nullptr;
            DWORD flags = 0;
            result = capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr);
            if (FAILED(result))
                break;
            if (result == AUDCLNT_S_BUFFER_EMPTY)
                break;
            const std::size_t bytes = static_cast<std::size_t>(frames)
                * static_cast<std::size_t>(device.BytesPerFrame());
            if (flags & AUDCLNT_BUFFERFLAGS_SILENT) {
                // Silence keeps the time line.
                const std::vector<BYTE> zeros(bytes, 0);
                if (converter)
                    converter->Convert(zeros.data(), frames, pending);
                else
                    pending.insert(pending.end(), frames, 0);
            } else if (converter) {
                converter->Convert(data, frames, pending);
            } else {
                const auto* samples = reinterpret_cast<const std::int16_t*>(data);
                pending.insert(pending.end(), samples, samples + frames);
            }
            result = capture->ReleaseBuffer(frames);
            if (FAILED(result))
                break;
            gotPacket = true;
        }
        if (FAILED(result)) {
            why = wasapi::FailureText("the sound input was lost", result);
            break;
        }
        const auto now = std::chrono::steady_clock::now();
        if (gotPacket) {
            lastPacket = now;
        } else if (now - lastPacket >= stallLimit) {
            why = "the sound input gives no sound (the audio service may have stopped)";
            break;
        }
        std::size_t handed = 0;
        for (; pending.size() - handed >= sliceSamples; handed += sliceSamples)
            buffer->Write(pending.data() + handed, kNotifySliceBytes);
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(handed));
    }
    client->Stop();
    if (!why.empty()) {
        Fail(why);
        buffer->MarkDeviceLost();
    }
}

struct WasapiSoundBackend::Impl {
    SoundWaits waits;
    std::unique_ptr<wasapi::ComScope> com; // on the thread that loaded
    std::unique_ptr<EventHandle> wake; // auto-reset; set by WakeWaiter
    std::string inputId;
    std::string outputId;
    std::string openInput; // the endpoint the capture uses; valid while inputOpen
    bool inputOpen = false;
    std::shared_ptr<CaptureBuffer> buffer;
    std::shared_ptr<CaptureSession> session;
    std::thread thread;
    int playbackGraceMs = 3000;
    int stallLimitMs = 2000;
    bool mixFormat = false;
    mutable std::mutex mutex;
    std::string lastError; // with the mutex held

    void Fail(const std::string& why)
    {
        const std::lock_guard lock(mutex);
        lastError = why;
    }

    // Ends the capture thread, if any; what it said of a failure becomes the last error.
    void StopCapture()
    {
        if (!session)
            return;
        SetEvent(session->stop.Get());
        if (thread.joinable())
            thread.join();
        {
            const std::lock_guard lock(session->mutex);
            if (!session->error.empty())
                Fail(session->error);
        }
        session.reset();
    }

    bool Play(const std::vector<std::int16_t>& samples, int sampleRate);
};

WasapiSoundBackend::WasapiSoundBackend(SoundWaits waits)
    : impl_(std::make_unique<Impl>())
{
    impl_->waits = waits;
    const char* mix = std::getenv("QUELSOR_WASAPI_MIX_FORMAT");
    impl_->mixFormat = mix != nullptr && std::strcmp(mix, "1") == 0;
}

WasapiSoundBackend::~WasapiSoundBackend() { Unload(); }

int WasapiSoundBackend::Load()
{
    if (impl_->com)
        return 0;
    auto com = std::make_unique<wasapi::ComScope>();
    if (!com->Usable())
        return -3;
    // The device enumerator is the whole of the sound system here: without it nothing works.
    ComRef<IMMDeviceEnumerator> enumerator;
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
            __uuidof(IMMDeviceEnumerator), enumerator.PutVoid())))
        return -3;
    impl_->wake = std::make_unique<EventHandle>(false);
    if (impl_->wake->Get() == nullptr) {
        impl_->wake.reset();
        return -3;
    }
    impl_->com = std::move(com);
    return 0;
}

void WasapiSoundBackend::Unload()
{
    if (!impl_->com)
        return;
    ReleaseCaptureDevice();
    impl_->wake.reset();
    impl_->com.reset();
}

bool WasapiSoundBackend::OpenCaptureDevice()
{
    impl_->StopCapture();
    impl_->inputOpen = false;
    if (!impl_->com)
        return false;
    std::string error;
    const ComRef<IMMDevice> endpoint = wasapi::FindEndpoint(eCapture, impl_->inputId, error);
    if (!endpoint) {
        impl_->Fail(error);
        return false;
    }
    impl_->openInput = wasapi::EndpointId(*endpoint.Get());
    impl_->inputOpen = !impl_->openInput.empty();
    return impl_->inputOpen;
}

DeviceResult WasapiSoundBackend::CreateCaptureBuffer(
    const CaptureFormat& format, std::uint32_t bytes, std::shared_ptr<CaptureBuffer>& buffer)
{
    if (!impl_->com || !impl_->inputOpen)
        return DeviceResult::Uninitialized;
    if (bytes == 0 || !IsProgramCaptureFormat(format))
        return DeviceResult::InvalidParam;
    impl_->buffer = std::make_shared<CaptureBuffer>(bytes);
    buffer = impl_->buffer;
    return DeviceResult::Ok;
}

bool WasapiSoundBackend::StartCaptureStream()
{
    Impl& d = *impl_;
    if (!d.com || !d.inputOpen || !d.buffer)
        return false;
    d.StopCapture();
    auto session = std::make_shared<CaptureSession>();
    session->endpointId = d.openInput;
    session->buffer = d.buffer;
    session->stallLimitMs = d.stallLimitMs;
    session->mixFormat = d.mixFormat;
    if (session->stop.Get() == nullptr) {
        d.Fail("cannot create an event");
        return false;
    }
    auto started = std::make_shared<std::promise<bool>>();
    std::future<bool> result = started->get_future();
    d.thread = std::thread([session, started] { session->Run(*started); });
    d.session = session;
    if (result.wait_for(kStartTimeout) != std::future_status::ready) {
        // The engine does not answer: the thread is left to end on its own.
        SetEvent(session->stop.Get());
        d.thread.detach();
        d.session.reset();
        d.Fail("the sound input did not start in time");
        return false;
    }
    if (!result.get()) {
        d.StopCapture();
        return false;
    }
    return true;
}

void WasapiSoundBackend::ReleaseCaptureDevice()
{
    impl_->StopCapture();
    impl_->buffer.reset();
    impl_->inputOpen = false;
}

WaitResult WasapiSoundBackend::WaitForNotification(NotificationEvent& event)
{
    const HANDLE wake = impl_->wake ? impl_->wake->Get() : nullptr;
    if (event.TryConsume()) {
        // The wake-up that came with this signal is spent too, so that the next wait does not
        // return at once for it (a signal after this point is seen by the next wait's check).
        if (wake != nullptr)
            ResetEvent(wake);
        return WaitResult::Notified;
    }
    if (wake == nullptr)
        return WaitResult::Input;
    if (impl_->waits == SoundWaits::Window) {
        // Input already waiting in the queue counts too, not only what arrives from now on.
        MsgWaitForMultipleObjectsEx(1, &wake, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    } else {
        WaitForSingleObject(wake, kCommandLineTickMs);
    }
    return event.TryConsume() ? WaitResult::Notified : WaitResult::Input;
}

void WasapiSoundBackend::WakeWaiter()
{
    if (impl_->wake)
        SetEvent(impl_->wake->Get());
}

bool WasapiSoundBackend::PlaySamples(const std::vector<std::int16_t>& samples, int sampleRate)
{
    if (samples.empty() || sampleRate <= 0)
        return true;
    if (!impl_->com)
        return false;
    return impl_->Play(samples, sampleRate);
}

bool WasapiSoundBackend::Impl::Play(const std::vector<std::int16_t>& samples, int sampleRate)
{
    std::string why;
    const ComRef<IMMDevice> endpoint = wasapi::FindEndpoint(eRender, outputId, why);
    ComRef<IAudioClient> client;
    DeviceStreamFormat device;
    if (!endpoint
        || !OpenStream(
            *endpoint.Get(), sampleRate, kRenderBufferDuration, mixFormat, client, device, why)) {
        Fail(why);
        return false;
    }
    // The frames as the stream takes them.
    std::vector<std::uint8_t> converted;
    const std::uint8_t* data = reinterpret_cast<const std::uint8_t*>(samples.data());
    std::size_t totalFrames = samples.size();
    if (device.rate != sampleRate || device.channels != 1
        || device.encoding != SampleEncoding::Int16) {
        converted = ToDeviceFrames(samples, sampleRate, device);
        data = converted.data();
        totalFrames = converted.size() / static_cast<std::size_t>(device.BytesPerFrame());
    }
    const auto frameBytes = static_cast<std::size_t>(device.BytesPerFrame());

    const EventHandle ready(false);
    ComRef<IAudioRenderClient> render;
    ComRef<IAudioClock> clock;
    UINT32 bufferFrames = 0;
    UINT64 frequency = 0;
    HRESULT result = client->SetEventHandle(ready.Get());
    if (SUCCEEDED(result))
        result = client->GetBufferSize(&bufferFrames);
    if (SUCCEEDED(result))
        result = client->GetService(__uuidof(IAudioRenderClient), render.PutVoid());
    if (SUCCEEDED(result))
        result = client->GetService(__uuidof(IAudioClock), clock.PutVoid());
    if (SUCCEEDED(result))
        result = clock->GetFrequency(&frequency);
    if (FAILED(result) || frequency == 0) {
        Fail(wasapi::FailureText("the sound output cannot play", result));
        return false;
    }

    // Fills what the engine has room for; false on a failure.
    std::size_t written = 0;
    const auto fill = [&]() -> HRESULT {
        UINT32 padding = 0;
        HRESULT hr = client->GetCurrentPadding(&padding);
        if (FAILED(hr))
            return hr;
        const auto room = std::min<std::size_t>(bufferFrames - padding, totalFrames - written);
        if (room == 0)
            return S_OK;
        BYTE* target = nullptr;
        hr = render->GetBuffer(static_cast<UINT32>(room), &target);
        if (FAILED(hr))
            return hr;
        std::memcpy(target, data + written * frameBytes, room * frameBytes);
        written += room;
        return render->ReleaseBuffer(static_cast<UINT32>(room), 0);
    };

    const auto lengthMs = static_cast<long long>(samples.size()) * 1000 / sampleRate;
    const auto deadline
        = std::chrono::steady_clock::now() + std::chrono::milliseconds(lengthMs + playbackGraceMs);
    result = fill();
    if (SUCCEEDED(result))
        result = client->Start();
    bool heard = false;
    bool expired = false;
    while (SUCCEEDED(result)) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            expired = true;
            break;
        }
        if (written < totalFrames) {
            WaitForSingleObject(ready.Get(), 50);
            result = fill();
            continue;
        }
        // Everything is with the engine: done once the device's position has passed the last
        // frame (the position is in `frequency` units per second).
        UINT64 position = 0;
        result = clock->GetPosition(&position, nullptr);
        if (FAILED(result))
            break;
        const double playedFrames
            = static_cast<double>(position) * device.rate / static_cast<double>(frequency);
        if (playedFrames >= static_cast<double>(totalFrames)) {
            heard = true;
            break;
        }
        WaitForSingleObject(ready.Get(), 20);
    }
    client->Stop();
    if (FAILED(result))
        Fail(wasapi::FailureText("the sound output was lost", result));
    else if (expired)
        Fail("the playback did not end in time");
    return heard;
}

bool WasapiSoundBackend::ListDevices(std::vector<SoundDevice>& devices, std::string& error)
{
    devices.clear();
    error.clear();
    if (!impl_->com) {
        error = "the sound system is not loaded";
        return false;
    }
    if (wasapi::ListEndpoints(devices, error))
        return true;
    impl_->Fail(error);
    return false;
}

void WasapiSoundBackend::SetInputDevice(const std::string& id) { impl_->inputId = id; }

void WasapiSoundBackend::SetOutputDevice(const std::string& id) { impl_->outputId = id; }

std::string WasapiSoundBackend::LastError() const
{
    // A capture thread that has stopped on a loss says why, before it is joined.
    if (impl_->session) {
        const std::lock_guard lock(impl_->session->mutex);
        if (!impl_->session->error.empty())
            return impl_->session->error;
    }
    const std::lock_guard lock(impl_->mutex);
    return impl_->lastError;
}

void WasapiSoundBackend::SetPlaybackGrace(int milliseconds)
{
    impl_->playbackGraceMs = milliseconds;
}

void WasapiSoundBackend::SetStallLimit(int milliseconds) { impl_->stallLimitMs = milliseconds; }

void WasapiSoundBackend::UseMixFormat(bool mixFormat) { impl_->mixFormat = mixFormat; }

} // namespace quelsor
