#pragma once

#include "SoundApplication.h"
#include "StderrMessages.h"

#include "audio/DetectorHost.h"
#include "decoder/DecoderSession.h"
#include "device/QtSoundBackend.h"
#include "poll/PollLoop.h"
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
class SoundRequest : public IRequestRunner {
public:
    SoundRequest(DecoderSession& session, StderrMessages& messages);
    ~SoundRequest() override;

    // Makes the sound layer ready; false (its messages on stderr) when the sound system cannot
    // be used.
    bool Init();

    RequestOutcome Run(int request, std::chrono::seconds timeout, const RecordSink& sink) override;
    std::string ItemText(int request) const override;

private:
    class Host;

    DecoderSession& session_;
    StderrMessages& messages_;
    SoundApplication application_;
    QtSoundBackend backend_;
    SoundLayer layer_;
    std::unique_ptr<Host> host_;
    const RecordSink* sink_ = nullptr; // of the request in progress
    bool ready_ = false;
};

} // namespace quelsor::cli
