#include "device/WasapiCom.h"

#include "common/WideText.h"

#include <cstdio>
#include <mmreg.h>
#include <propidl.h>

namespace quelsor::wasapi {

namespace {

    // PKEY_Device_FriendlyName, written out: the header's DEFINE_PROPERTYKEY needs a GUID
    // library that MinGW-w64 does not ship for it.
    const PROPERTYKEY kFriendlyName
        = { { 0xa45c254e, 0xdf1c, 0x4efd, { 0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0 } },
              14 };

    // The few results that deserve words (Audioclient.h, winerror.h).
    struct KnownResult {
        HRESULT result;
        const char* text;
    };
    constexpr KnownResult kKnownResults[] = {
        { AUDCLNT_E_DEVICE_INVALIDATED, "the sound device was removed" },
        { AUDCLNT_E_SERVICE_NOT_RUNNING, "the Windows audio service is not running" },
        { AUDCLNT_E_DEVICE_IN_USE, "the sound device is in use by another program" },
        { AUDCLNT_E_UNSUPPORTED_FORMAT, "the sound device refuses the format" },
        { AUDCLNT_E_ENDPOINT_CREATE_FAILED, "the sound device cannot be opened" },
        { static_cast<HRESULT>(0x80070490), "no such sound device" }, // E_NOTFOUND
        { E_OUTOFMEMORY, "out of memory" },
        { E_ACCESSDENIED, "access to the sound device is denied" },
    };

    std::string Utf8(const wchar_t* wide)
    {
        std::string text;
        if (wide == nullptr || !Utf8FromWide(wide, text))
            return {};
        return text;
    }

} // namespace

ComScope::ComScope()
{
    const HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    initialised_ = SUCCEEDED(result);
    usable_ = initialised_ || result == RPC_E_CHANGED_MODE;
}

ComScope::~ComScope()
{
    if (initialised_)
        CoUninitialize();
}

std::string FailureText(const char* what, HRESULT result)
{
    for (const KnownResult& known : kKnownResults) {
        if (known.result == result)
            return std::string(what) + ": " + known.text;
    }
    char code[32];
    std::snprintf(code, sizeof code, "error 0x%08lX", static_cast<unsigned long>(result));
    return std::string(what) + ": " + code;
}

bool DeviceGone(HRESULT result)
{
    return result == AUDCLNT_E_DEVICE_INVALIDATED || result == AUDCLNT_E_SERVICE_NOT_RUNNING
        || result == static_cast<HRESULT>(0x80070490) || result == RPC_E_DISCONNECTED;
}

std::string EndpointId(IMMDevice& device)
{
    LPWSTR id = nullptr;
    if (FAILED(device.GetId(&id)))
        return {};
    std::string text = Utf8(id);
    CoTaskMemFree(id);
    return text;
}

std::string FriendlyName(IMMDevice& device)
{
    ComRef<IPropertyStore> properties;
    if (FAILED(device.OpenPropertyStore(STGM_READ, properties.Put())))
        return {};
    PROPVARIANT value;
    PropVariantInit(&value);
    std::string name;
    if (SUCCEEDED(properties->GetValue(kFriendlyName, &value)) && value.vt == VT_LPWSTR)
        name = Utf8(value.pwszVal);
    PropVariantClear(&value);
    return name;
}

namespace {

    bool NewEnumerator(ComRef<IMMDeviceEnumerator>& enumerator, std::string& error)
    {
        const HRESULT result = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
            __uuidof(IMMDeviceEnumerator), enumerator.PutVoid());
        if (FAILED(result))
            error = FailureText("the audio devices cannot be listed", result);
        return SUCCEEDED(result);
    }

    // The id of the default endpoint of `flow`; empty when there is none.
    std::string DefaultId(IMMDeviceEnumerator& enumerator, EDataFlow flow)
    {
        ComRef<IMMDevice> device;
        if (FAILED(enumerator.GetDefaultAudioEndpoint(flow, eConsole, device.Put())))
            return {};
        return EndpointId(*device.Get());
    }

} // namespace

ComRef<IMMDevice> FindEndpoint(EDataFlow flow, const std::string& id, std::string& error)
{
    ComRef<IMMDeviceEnumerator> enumerator;
    ComRef<IMMDevice> device;
    if (!NewEnumerator(enumerator, error))
        return device;
    if (id.empty()) {
        const HRESULT result = enumerator->GetDefaultAudioEndpoint(flow, eConsole, device.Put());
        if (FAILED(result)) {
            error = flow == eCapture ? "the system has no sound input"
                                     : "the system has no sound output";
            device.Reset();
        }
        return device;
    }
    std::wstring wide;
    if (!WideFromUtf8(id, wide)) {
        error = "no such device: " + id;
        return device;
    }
    DWORD state = 0;
    if (FAILED(enumerator->GetDevice(wide.c_str(), device.Put()))
        || FAILED(device->GetState(&state)) || state != DEVICE_STATE_ACTIVE) {
        error = "no such device: " + id;
        device.Reset();
    }
    return device;
}

bool ListEndpoints(std::vector<SoundDevice>& devices, std::string& error)
{
    devices.clear();
    ComRef<IMMDeviceEnumerator> enumerator;
    if (!NewEnumerator(enumerator, error))
        return false;
    for (const EDataFlow flow : { eCapture, eRender }) {
        ComRef<IMMDeviceCollection> collection;
        HRESULT result
            = enumerator->EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE, collection.Put());
        UINT count = 0;
        if (SUCCEEDED(result))
            result = collection->GetCount(&count);
        if (FAILED(result)) {
            error = FailureText("the audio devices cannot be listed", result);
            devices.clear();
            return false;
        }
        const std::string defaultId = DefaultId(*enumerator.Get(), flow);
        for (UINT i = 0; i < count; ++i) {
            ComRef<IMMDevice> device;
            if (FAILED(collection->Item(i, device.Put())))
                continue;
            SoundDevice entry;
            entry.input = flow == eCapture;
            entry.id = EndpointId(*device.Get());
            entry.description = FriendlyName(*device.Get());
            entry.isDefault = !entry.id.empty() && entry.id == defaultId;
            if (!entry.id.empty())
                devices.push_back(std::move(entry));
        }
    }
    return true;
}

std::optional<DeviceStreamFormat> ReadStreamFormat(const WAVEFORMATEX& format)
{
    // For WAVE_FORMAT_EXTENSIBLE the sub-format GUID's first field is the plain format tag.
    WORD tag = format.wFormatTag;
    if (tag == WAVE_FORMAT_EXTENSIBLE) {
        if (format.cbSize < sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX))
            return std::nullopt;
        tag = static_cast<WORD>(
            reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(format).SubFormat.Data1);
    }
    DeviceStreamFormat stream;
    stream.rate = static_cast<int>(format.nSamplesPerSec);
    stream.channels = format.nChannels;
    if (tag == WAVE_FORMAT_IEEE_FLOAT && format.wBitsPerSample == 32)
        stream.encoding = SampleEncoding::Float32;
    else if (tag == WAVE_FORMAT_PCM && format.wBitsPerSample == 16)
        stream.encoding = SampleEncoding::Int16;
    else if (tag == WAVE_FORMAT_PCM && format.wBitsPerSample == 32)
        stream.encoding = SampleEncoding::Int32;
    else
        return std::nullopt;
    if (stream.rate <= 0 || stream.channels <= 0 || format.nBlockAlign != stream.BytesPerFrame())
        return std::nullopt;
    return stream;
}

WAVEFORMATEX Mono16Format(int rate)
{
    WAVEFORMATEX format {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = 2;
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    format.cbSize = 0;
    return format;
}

} // namespace quelsor::wasapi
