#pragma once

#include "SoundApplication.h"
#include "StderrMessages.h"

#include "audio/DetectorHost.h"
#include "decoder/DecoderSession.h"
#include "poll/PollLoop.h"
#include "sound/DeviceChoice.h"
#include "sound/SoundBackend.h"
#include "sound/SoundHost.h"
#include "sound/SoundLayer.h"

#include <chrono>
#include <memory>
#include <string>

namespace quelsor::cli {

// Status requests over the sound devices without the window, as a click on "Gén. DTMF" does:
// the command file tmp_dtmf.wav (and the capture file tmp.wav) in the current directory,
// playback to its end, "Attente de la réponse" in the log, then capture through the sound layer
// until the answer has been decoded or the time-out has run out; the capture is stopped
// between requests. The session's log lines go where the session sends them; what its report
// gives goes to the request's sink as records, stamped with the time the answer closed.
//
// The devices are looked up afresh at every request, so a sound server that went away and came
// back, or a device plugged back, serves the next request; a failure is said on stderr
// ("quelsor-cli COMMAND: ...") and ends that request only. The configuration's Entree and Sortie
// choose the devices as in the window (one absent: a log line, and the default); devices given
// by id (the --input and --output options) must be there, or the request fails.
class SoundRequest : public IRequestRunner {
public:
    SoundRequest(const char* command, DecoderSession& session, StderrMessages& messages);
    ~SoundRequest() override;

    // Makes the sound layer ready; false (its messages on stderr) when the sound system cannot
    // be used.
    bool Init();
    // The backend, for the device options (after Init).
    ISoundBackend& Backend() { return *backend_; }
    // Uses the devices with these ids rather than the configuration's; empty: as configured.
    void UseDeviceIds(const std::string& inputId, const std::string& outputId);

    RequestOutcome Run(int request, std::chrono::seconds timeout, const RecordSink& sink) override;
    std::string ItemText(int request) const override;

private:
    class Host;

    // Points the backend at this request's devices; false (with the reason in `error`) when the
    // sound server cannot be reached or a device given by id is absent.
    bool ChooseDevices(std::string& error);
    RequestOutcome Fail(RequestOutcome::Kind kind, const std::string& error);
    // `what` with the backend's reason for its last failure, when it gives one.
    std::string WithReason(const std::string& what) const;

    const char* command_;
    DecoderSession& session_;
    StderrMessages& messages_;
    SoundApplication application_; // before the backend, which needs it
    std::unique_ptr<ISoundBackend> backend_;
    DeviceChoice configured_; // [General] Entree and Sortie
    std::string inputId_; // given by id; empty: as configured
    std::string outputId_;
    SoundLayer layer_;
    std::unique_ptr<Host> host_;
    const RecordSink* sink_ = nullptr; // of the request in progress
    bool ready_ = false;
};

} // namespace quelsor::cli
