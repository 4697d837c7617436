#pragma once

#include "audio/DtmfDetector.h"
#include "audio/FilterBank.h"
#include "sound/CaptureBuffer.h"
#include "sound/CaptureSliceReader.h"
#include "sound/NotificationEvent.h"
#include "sound/SoundBackend.h"
#include "sound/SoundHost.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace quelsor {

class FftAnalyser;

// The operator's messages of the sound layer, byte for byte (UTF-8).
namespace sound_text {
    inline constexpr const char* kNoSoundSystem
        = "Cette application nécessite l'installation de DirectX (mini : version 8) !";
    inline constexpr const char* kAbandon = "Abandon ...";
    inline constexpr const char* kCannotCreateCaptureFile = "Création fichier tmp.wav impossible";
    inline constexpr const char* kNotificationError = "Error handling DirectSound notifications. ";
    inline constexpr const char* kInternalError = "Erreur interne.... Abandon";
    // Capture buffer creation failures, by DeviceResult.
    inline constexpr const char* kInvalidParam = "Paramètre invalide";
    inline constexpr const char* kBadFormat = "The specified wave format is not supported";
    inline constexpr const char* kGeneric = "Generic error";
    inline constexpr const char* kNoDriver = "No driver";
    inline constexpr const char* kOutOfMemory
        = "The DirectSound subsystem could not allocate "
          "sufficient memory to complete the caller's request";
    inline constexpr const char* kUninitialized = "Non initialisé";
    inline constexpr const char* kUnidentified = "Erreur DSOUND non identifiée";
} // namespace sound_text

// The message shown first when the capture buffer cannot be created (start code -3).
const char* CaptureBufferErrorText(DeviceResult result);

// Codes of the sound operations: 0 success, negative the failed step.
namespace sound_code {
    // InitSound
    inline constexpr int kNoSoundSystem = -3; // the backend is missing or unusable
    inline constexpr int kNoPlaybackSide = -1;
    inline constexpr int kNoCaptureSide = -2;
    // StartCapture
    inline constexpr int kCaptureFile = -1; // "tmp.wav" cannot be created
    inline constexpr int kCaptureDevice = -2; // no input device (also: InitSound failed)
    inline constexpr int kCaptureBuffer = -3;
    inline constexpr int kNotifyInterface = -4;
    inline constexpr int kNotifyPositions = -5;
    inline constexpr int kCaptureStart = -6;
    // HandleCaptureNotification
    inline constexpr int kNothingToDo = 1;
    inline constexpr int kNotificationFailed = -1;
} // namespace sound_code

// The capture file: created at every capture start (in the current directory unless the layer
// is given a scratch folder), holding only its header (provisional data size 1000000 while
// capturing, the real size, 0, after the stop).
inline constexpr const char* kCaptureFileName = "tmp.wav";
// Milliseconds StopCapture blocks between setting the stop flag and releasing the device.
inline constexpr int kStopDelayMs = 500;
// Samples per FFT frame (one notification slice) and magnitudes per frame.
inline constexpr int kFftFrameSamples = 512;
inline constexpr int kSpectrumBins = 256;

// The sound device layer: capture with buffer notifications, the capture loop on the GUI
// thread, the analysis of each captured region (FFT frames to the display, then the DTMF
// detector) and playback of a WAV file. The layer owns the detector's state and its filter
// bank; nothing resets them between captures, so what the filters and the detector remember
// carries over from one capture to the next for the life of the layer. A program uses one layer
// (the window owns it, or is given it); tests build their own.
//
// Everything runs on the GUI thread. StartCapture does not return while capture runs: its loop
// waits for the notification event or window input and lets the window process its events after
// every wake-up (ISoundHost::ProcessPendingEvents), and again after every FFT frame. Other
// window handlers therefore run nested inside it; StopCapture, reached that way, only sets the
// stop flag and releases the device, and every running loop (nested ones included) ends at its
// next test of the flag.
class SoundLayer {
public:
    SoundLayer();
    ~SoundLayer();
    SoundLayer(const SoundLayer&) = delete;
    SoundLayer& operator=(const SoundLayer&) = delete;

    // Plugs in the window and the backend (not owned; both must outlive the layer's use), loads
    // the backend and designs the layer's filter bank (its histories are kept). 0, or -3 (no
    // backend, or it cannot be used), -1, -2 as ISoundBackend::Load reports them; each failure
    // shows kNoSoundSystem then kAbandon and skips the filter design.
    int InitSound(ISoundHost& host, ISoundBackend* backend);

    // Opens the capture (event, "tmp.wav" with its provisional header, device, 32768-byte
    // looping buffer with 32 notifications, start) and runs CaptureLoop. Returns 0 once the
    // loop has ended, or the code of the failed step (-1 .. -6, see sound_code) after showing
    // its message, if any, then kAbandon. Refused with -2 and kAbandon when InitSound has not
    // succeeded. What a failed start created stays until the next StopCapture.
    int StartCapture();

    // Sets the stop flag, waits the stop delay (500 ms), releases the device and the event and
    // finalises "tmp.wav" (data size = file length - 44, so 0). Returns 0.
    int StopCapture();

    // Frees the analyser's tables and unloads the backend. 0, or -1 if freeing raised.
    int ReleaseSound();

    // While the stop flag is clear: wait for the event or input; on the event, unless a stop
    // was handled during the wait, handle the notification (a failure shows kNotificationError
    // and sets the flag); then let the window process its events. Returns the stop flag.
    int CaptureLoop();

    // Reads every whole slice captured since the last read and analyses it: 1 nothing to do,
    // 0 processed, -1 the buffer could not be read.
    int HandleCaptureNotification();

    // Analyses one region of `bytes` bytes of native 16-bit samples (the pointer must be
    // suitably aligned for std::int16_t): each whole 512-sample frame (while no stop is
    // requested) through the FFT to ISoundHost::DrawSpectrum, pumping window events after each;
    // then the whole region through the DTMF detector (the layer's state and bank, events to
    // ISoundHost::DetectorHost), stop or not. An exception shows kInternalError. Returns 0.
    int ProcessCapturedRegion(const void* region, std::uint32_t bytes);

    // Plays a WAV file on the default output and returns when it has been heard to its end.
    // An unreadable file or a missing device is not reported; a file without samples returns
    // at once.
    void PlaySoundFile(const std::string& path);

    // The folder of the capture file (UTF-8; empty: the current directory). An installed
    // program passes a folder of its own: its current directory may be one it cannot write.
    void SetScratchFolder(const std::string& folder);
    const std::string& CaptureFilePath() const { return captureFilePath_; }

    // Milliseconds StopCapture blocks before releasing the device (kStopDelayMs; most tests use
    // 0).
    void SetStopDelay(int milliseconds) { stopDelayMs_ = milliseconds; }

    // State, for the display and for tests.
    bool Initialised() const { return initialised_; }
    bool CaptureStopRequested() const { return captureStop_; }
    bool HasCaptureDevice() const { return captureDeviceOpen_; }
    bool CaptureFileOpen() const { return captureFile_ != nullptr; }
    std::uint32_t NextReadOffset() const { return reader_.Offset(); }
    const std::shared_ptr<CaptureBuffer>& Buffer() const { return captureBuffer_; }
    const std::array<std::int32_t, kSpectrumBins>& SpectrumMagnitudes() const
    {
        return spectrumMagnitudes_;
    }
    const DetectorState& Detector() const { return detector_; }
    const FilterBank& Bank() const { return *bank_; }

private:
    int FailStart(int code);

    ISoundHost* host_ = nullptr;
    ISoundBackend* backend_ = nullptr;
    bool loaded_ = false; // the backend's Load succeeded
    bool initialised_ = false; // InitSound succeeded
    bool captureStop_ = false;
    bool captureDeviceOpen_ = false;
    int stopDelayMs_ = kStopDelayMs;
    std::shared_ptr<NotificationEvent> event_;
    std::shared_ptr<CaptureBuffer> captureBuffer_; // kept across stops; replaced at each start
    std::FILE* captureFile_ = nullptr;
    CaptureSliceReader reader_; // of captureBuffer_
    std::string captureFilePath_ = kCaptureFileName; // UTF-8
    std::unique_ptr<FftAnalyser> analyser_;
    std::unique_ptr<FilterBank> bank_; // all zero until InitSound designs it
    DetectorState detector_;
    std::array<float, kFftFrameSamples> fftInput_ {};
    std::array<std::int32_t, kSpectrumBins> spectrumMagnitudes_ {};
};

} // namespace quelsor
