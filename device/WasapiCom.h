#pragma once

// What the WASAPI backend's two files share: COM references, the texts of its failures, the
// device look-ups and the reading of an engine's stream format.

#include "sound/SoundBackend.h"
#include "sound/StreamConverter.h"

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quelsor::wasapi {

// One reference to a COM object, released when it goes.
template <typename T> class ComRef {
public:
    ComRef() = default;
    ~ComRef() { Reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ComRef(ComRef&& other) noexcept
        : object_(std::exchange(other.object_, nullptr))
    {
    }
    ComRef& operator=(ComRef&& other) noexcept
    {
        if (this != &other) {
            Reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }

    T* operator->() const { return object_; }
    T* Get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // For the calls that hand out a new reference: releases the one held first.
    T** Put()
    {
        Reset();
        return &object_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    void Reset()
    {
        if (object_ != nullptr)
            std::exchange(object_, nullptr)->Release();
    }

private:
    T* object_ = nullptr;
};

// COM on the calling thread for a scope (multithreaded apartment). A thread that already has an
// apartment of another kind (the window's, which Qt makes single-threaded) keeps it: COM is
// usable there all the same, and nothing is undone.
class ComScope {
public:
    ComScope();
    ~ComScope();
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool Usable() const { return usable_; }

private:
    bool usable_ = false;
    bool initialised_ = false;
};

// The operator-readable reason for a failed call: `what` and, for the audio errors a user can
// meet, what they mean ("the sound device was removed"), else the code in hexadecimal.
std::string FailureText(const char* what, HRESULT result);

// Whether a failure means the endpoint or the audio service is gone (as opposed to a refused
// format, say).
bool DeviceGone(HRESULT result);

// The endpoint's id (UTF-8) and friendly name.
std::string EndpointId(IMMDevice& device);
std::string FriendlyName(IMMDevice& device);

// The active endpoint with `id` (UTF-8), or the system's default of `flow` (eCapture, eRender)
// for the console role when id is empty. Null with `error` set when there is none.
ComRef<IMMDevice> FindEndpoint(EDataFlow flow, const std::string& id, std::string& error);

// Every active endpoint, inputs then outputs; false with `error` when the audio system cannot
// be asked.
bool ListEndpoints(std::vector<SoundDevice>& devices, std::string& error);

// What an engine's format record says, when we can convert it: PCM 16 or 32 bits, or 32-bit
// float, any rate and channel count (WAVE_FORMAT_EXTENSIBLE included).
std::optional<DeviceStreamFormat> ReadStreamFormat(const WAVEFORMATEX& format);

// The record of 16-bit mono PCM at `rate` Hz.
WAVEFORMATEX Mono16Format(int rate);

} // namespace quelsor::wasapi
