#include "sound/SoundLayer.h"

#include "audio/FftAnalyser.h"
#include "audio/WavHeader.h"
#include "common/FileOpen.h"
#include "common/SampleFormat.h"
#include "recording/RecordingReader.h"

#include <chrono>
#include <thread>
#include <vector>

namespace quelsor {

namespace {

    // 16-bit samples per notification slice; one FFT frame each.
    static_assert(kNotifySliceBytes / kBlockAlign == kFftFrameSamples);

    constexpr int kFftHalfSize = kFftFrameSamples / 2; // 256 bins, transform size 512

} // namespace

const char* CaptureBufferErrorText(DeviceResult result)
{
    switch (result) {
    case DeviceResult::InvalidParam:
        return sound_text::kInvalidParam;
    case DeviceResult::BadFormat:
        return sound_text::kBadFormat;
    case DeviceResult::Generic:
        return sound_text::kGeneric;
    case DeviceResult::NoDriver:
        return sound_text::kNoDriver;
    case DeviceResult::OutOfMemory:
        return sound_text::kOutOfMemory;
    case DeviceResult::Uninitialized:
        return sound_text::kUninitialized;
    case DeviceResult::Ok:
    case DeviceResult::Unidentified:
        break;
    }
    return sound_text::kUnidentified;
}

SoundLayer::SoundLayer()
    : analyser_(std::make_unique<FftAnalyser>())
    , bank_(std::make_unique<FilterBank>())
{
    analyser_->Clear();
}

SoundLayer::~SoundLayer()
{
    if (captureFile_)
        std::fclose(captureFile_);
}

int SoundLayer::InitSound(ISoundHost& host, ISoundBackend* backend)
{
    host_ = &host;
    backend_ = backend;
    initialised_ = false;
    int code = sound_code::kNoSoundSystem;
    if (backend_) {
        try {
            code = backend_->Load();
        } catch (...) {
            code = sound_code::kNoSoundSystem;
        }
    }
    if (code != 0) {
        if (code != sound_code::kNoPlaybackSide && code != sound_code::kNoCaptureSide)
            code = sound_code::kNoSoundSystem;
        host_->ShowMessage(sound_text::kNoSoundSystem);
        host_->ShowMessage(sound_text::kAbandon);
        return code;
    }
    loaded_ = true;
    DesignFilterBank(*bank_);
    initialised_ = true;
    return 0;
}

int SoundLayer::FailStart(int code)
{
    host_->ShowMessage(sound_text::kAbandon);
    return code;
}

int SoundLayer::StartCapture()
{
    if (!initialised_ || !host_ || !backend_) {
        // Without a usable backend there is nothing to open: refuse before creating anything.
        if (host_)
            host_->ShowMessage(sound_text::kAbandon);
        return sound_code::kCaptureDevice;
    }

    // 1. The notification event; the backend's wake function lets it interrupt the wait.
    ISoundBackend* backend = backend_;
    event_ = std::make_shared<NotificationEvent>([backend] { backend->WakeWaiter(); });

    // 2-3. The capture file with its provisional header. A file left open by a failed start
    // is finished first rather than leaked.
    if (captureFile_) {
        std::fclose(captureFile_);
        captureFile_ = nullptr;
    }
    captureFile_ = OpenFileUtf8(captureFilePath_, "wb");
    if (!captureFile_) {
        host_->ShowMessage(sound_text::kCannotCreateCaptureFile);
        return FailStart(sound_code::kCaptureFile);
    }
    WavHeader header;
    BuildWavHeader(header, kCaptureFileProvisionalSize);
    WriteWavHeader(header, captureFile_);
    std::fflush(captureFile_);

    // 4-5. The format and the default input device.
    const CaptureFormat format;
    if (!backend_->OpenCaptureDevice())
        return FailStart(sound_code::kCaptureDevice);
    captureDeviceOpen_ = true;

    // 6-7. The looping buffer of 32 slices.
    const std::uint32_t notifySize
        = kNotifySliceBytes - kNotifySliceBytes % static_cast<std::uint32_t>(format.blockAlign);
    const std::uint32_t bufferSize = notifySize * kNotifyCount;
    std::shared_ptr<CaptureBuffer> buffer;
    const DeviceResult created = backend_->CreateCaptureBuffer(format, bufferSize, buffer);
    if (created != DeviceResult::Ok || !buffer) {
        host_->ShowMessage(CaptureBufferErrorText(created));
        return FailStart(sound_code::kCaptureBuffer);
    }
    captureBuffer_ = std::move(buffer);

    // 8. Reading starts at the start of the buffer.
    reader_.Restart(0);

    // 9-10. One notification at the last byte of every slice.
    if (!captureBuffer_->NotifyAvailable())
        return FailStart(sound_code::kNotifyInterface);
    std::vector<std::uint32_t> positions(kNotifyCount);
    for (std::uint32_t i = 0; i < kNotifyCount; ++i)
        positions[i] = notifySize * i + notifySize - 1;
    if (!captureBuffer_->SetNotificationPositions(positions, event_))
        return FailStart(sound_code::kNotifyPositions);

    // 11. Capture, looping.
    if (!backend_->StartCaptureStream())
        return FailStart(sound_code::kCaptureStart);

    // 12-14. Clear the stop flag, set up the analyser (512 samples, no scale, no window) and
    // serve the notifications until a stop.
    captureStop_ = false;
    analyser_->Setup(kFftFrameSamples, kFftHalfSize);
    CaptureLoop();
    return 0;
}

int SoundLayer::CaptureLoop()
{
    while (!captureStop_) {
        // A handler run from this loop may stop this capture and start another, which replaces
        // the event: the wait keeps the one it was given alive.
        const std::shared_ptr<NotificationEvent> event = event_;
        if (!event)
            break;
        // The window's events run inside the wait: a stop handled there ends the capture before
        // anything it signalled meanwhile is read (the device keeps capturing during the stop
        // delay, and that audio must not reach the detector).
        if (backend_->WaitForNotification(*event) == WaitResult::Notified && !captureStop_
            && HandleCaptureNotification() < 0) {
            host_->ShowMessage(sound_text::kNotificationError);
            captureStop_ = true;
        }
        host_->ProcessPendingEvents();
    }
    return captureStop_ ? 1 : 0;
}

int SoundLayer::HandleCaptureNotification()
{
    // The buffer is held here so a capture started from a nested handler cannot free it under
    // our feet.
    const std::shared_ptr<CaptureBuffer> buffer = captureBuffer_;
    if (!buffer)
        return sound_code::kNothingToDo;
    // A stop handled while a region is analysed skips the rest of the read.
    const auto analyse = [this](const std::int16_t* samples, std::uint32_t bytes) {
        ProcessCapturedRegion(samples, bytes);
        return !captureStop_;
    };
    switch (reader_.Read(*buffer, analyse)) {
    case CaptureSliceReader::Result::Nothing:
        return sound_code::kNothingToDo;
    case CaptureSliceReader::Result::Failed:
        return sound_code::kNotificationFailed;
    case CaptureSliceReader::Result::Read:
        break;
    }
    return 0;
}

int SoundLayer::ProcessCapturedRegion(const void* region, std::uint32_t bytes)
{
    if (!host_ || !region)
        return 0;
    try {
        const auto* samples = static_cast<const std::int16_t*>(region);
        const int count = static_cast<int>(bytes / 2);
        for (int k = 0; !captureStop_ && k < count / kFftFrameSamples; ++k) {
            const std::int16_t* frame = samples + static_cast<std::ptrdiff_t>(k) * kFftFrameSamples;
            for (int i = 0; i < kFftFrameSamples; ++i)
                fftInput_[static_cast<std::size_t>(i)] = static_cast<float>(frame[i]);
            analyser_->Transform(fftInput_.data(), spectrumMagnitudes_.data());
            host_->DrawSpectrum(spectrumMagnitudes_.data(), kSpectrumBins);
            host_->ProcessPendingEvents();
        }
        DetectDTMF(detector_, *bank_, host_->DetectorHost(), samples, count);
    } catch (...) {
        host_->ShowMessage(sound_text::kInternalError);
    }
    return 0;
}

int SoundLayer::StopCapture()
{
    captureStop_ = true;
    if (stopDelayMs_ > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(stopDelayMs_));
    if (captureDeviceOpen_) {
        backend_->ReleaseCaptureDevice();
        captureDeviceOpen_ = false;
    }
    event_.reset();
    if (captureFile_) {
        std::fflush(captureFile_);
        const long position = std::ftell(captureFile_);
        WavHeader header;
        BuildWavHeader(header, static_cast<std::int32_t>(position - kWavHeaderSize));
        WriteWavHeader(header, captureFile_);
        std::fclose(captureFile_);
        captureFile_ = nullptr;
    }
    return 0;
}

int SoundLayer::ReleaseSound()
{
    int result = 0;
    try {
        analyser_->Release();
    } catch (...) {
        result = -1;
    }
    if (backend_) {
        // A device left open by a start that failed and was never stopped is closed too.
        if (captureDeviceOpen_) {
            backend_->ReleaseCaptureDevice();
            captureDeviceOpen_ = false;
        }
        if (loaded_)
            backend_->Unload();
    }
    loaded_ = false;
    initialised_ = false;
    return result;
}

void SoundLayer::SetScratchFolder(const std::string& folder)
{
    captureFilePath_ = PathInFolder(folder, kCaptureFileName);
}

void SoundLayer::PlaySoundFile(const std::string& path)
{
    if (!backend_)
        return;
    std::vector<std::int16_t> samples;
    std::string error;
    if (!ReadRecordingSamples(path, samples, error) || samples.empty())
        return;
    try {
        backend_->PlaySamples(samples, kSampleRate);
    } catch (...) {
        // Not reported: the request goes on to listen for the answer.
    }
}

} // namespace quelsor
