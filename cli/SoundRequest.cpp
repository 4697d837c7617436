#include "SoundRequest.h"

#include "audio/CommandFile.h"
#include "config/Configuration.h"
#include "decoder/RequestLog.h"
#include "device/NewSoundBackend.h"

#include <algorithm>
#include <cstdio>

namespace quelsor::cli {

// What the sound layer needs of its host, without drawing: messages on stderr, the backend's
// events processed (Qt's, where it waits on Qt's event loop), and after each batch of events the
// request checked: the capture stops once the answer has been decoded or the time-out has run out.
class SoundRequest::Host : public ISoundHost {
public:
    Host(SoundLayer& layer, DecoderSession& session, int threshold, StderrMessages& messages)
        : layer_(layer)
        , session_(session)
        , detectorHost_(session, threshold)
        , messages_(messages)
    {
    }

    void ShowMessage(const std::string& text) override { messages_.ShowMessage(text); }
    void ProcessPendingEvents() override
    {
        SoundApplication::ProcessEvents();
        if (!listening_ || layer_.CaptureStopRequested())
            return;
        if (session_.Decoder().pendingSeq < 0) {
            answered_ = true;
            listening_ = false;
            layer_.StopCapture();
        } else if (std::chrono::steady_clock::now() >= deadline_) {
            timedOut_ = true;
            listening_ = false;
            layer_.StopCapture();
        }
    }
    void DrawSpectrum(const std::int32_t*, int) override { }
    IDetectorHost& DetectorHost() override { return detectorHost_; }
    // When the detector closed the answer being reported: every record of one answer has its time.
    std::chrono::system_clock::time_point AnswerClosedAt() const { return detectorHost_.closedAt; }

    void Listen(std::chrono::steady_clock::duration timeout)
    {
        deadline_ = std::chrono::steady_clock::now() + timeout;
        listening_ = true;
        answered_ = false;
        timedOut_ = false;
    }
    bool Answered() const { return answered_; }
    // The time-out stopped the capture (rather than the answer, or a lost device).
    bool TimedOut() const { return timedOut_; }

private:
    struct StampingDetectorHost : SessionDetectorHost {
        using SessionDetectorHost::SessionDetectorHost;
        void OnAnswer(const std::string& text) override
        {
            closedAt = std::chrono::system_clock::now();
            SessionDetectorHost::OnAnswer(text);
        }
        std::chrono::system_clock::time_point closedAt {};
    };

    SoundLayer& layer_;
    DecoderSession& session_;
    StampingDetectorHost detectorHost_;
    StderrMessages& messages_;
    bool listening_ = false;
    bool answered_ = false;
    bool timedOut_ = false;
    std::chrono::steady_clock::time_point deadline_ {};
};

SoundRequest::SoundRequest(const char* command, DecoderSession& session, StderrMessages& messages)
    : command_(command)
    , session_(session)
    , messages_(messages)
    , backend_(NewSoundBackend(SoundWaits::CommandLine))
    , configured_(session.Configuration().inputDevice, session.Configuration().outputDevice)
    , host_(std::make_unique<Host>(
          layer_, session, kThresholdMax - session.Configuration().thresholdPosition, messages))
{
    const auto deliver = [this](ResultRecord record) {
        record.isoTime = IsoUtcTime(host_->AnswerClosedAt());
        record.quality = session_.LastQuality();
        if (sink_ != nullptr && *sink_)
            (*sink_)(record);
    };
    session_.SetReportSinks(
        [this, deliver](const ZoneReport& report) {
            deliver(RecordOfZone(report, ItemText(report.requestIndex)));
        },
        [this, deliver](int requestIndex, int, int) {
            deliver(RecordWithoutZone(ItemText(requestIndex), "mismatch"));
        });
}

SoundRequest::~SoundRequest()
{
    if (ready_)
        layer_.ReleaseSound();
}

bool SoundRequest::Init()
{
    ready_ = layer_.InitSound(*host_, backend_.get()) == 0;
    if (!ready_)
        layer_.ReleaseSound();
    return ready_;
}

std::string SoundRequest::ItemText(int request) const
{
    const auto& items = session_.Configuration().items;
    return request >= 0 && request < static_cast<int>(items.size())
        ? items[static_cast<std::size_t>(request)]
        : std::string();
}

void SoundRequest::UseDeviceIds(const std::string& inputId, const std::string& outputId)
{
    inputId_ = inputId;
    outputId_ = outputId;
}

bool SoundRequest::ChooseDevices(std::string& error)
{
    std::vector<SoundDevice> devices;
    if (!backend_->ListDevices(devices, error)) {
        error = "the sound server cannot be reached: " + error;
        return false;
    }
    for (const bool input : { true, false }) {
        const std::string& fixed = input ? inputId_ : outputId_;
        std::string id = fixed;
        if (!fixed.empty()) {
            const bool present
                = std::any_of(devices.begin(), devices.end(), [&](const SoundDevice& device) {
                      return device.input == input && device.id == fixed;
                  });
            if (!present) {
                error = std::string("the sound ") + (input ? "input" : "output") + " '" + fixed
                    + "' is absent";
                return false;
            }
        } else {
            const DeviceChoice::Resolution resolution = configured_.Resolve(devices, input);
            if (!resolution.absentLine.empty())
                session_.AddLogLine(resolution.absentLine);
            id = resolution.id;
        }
        if (input)
            backend_->SetInputDevice(id);
        else
            backend_->SetOutputDevice(id);
    }
    return true;
}

RequestOutcome SoundRequest::Fail(RequestOutcome::Kind kind, const std::string& error)
{
    std::fprintf(stderr, "quelsor-cli %s: %s\n", command_, error.c_str());
    std::fflush(stderr);
    RequestOutcome outcome;
    outcome.kind = kind;
    outcome.error = error;
    return outcome;
}

RequestOutcome SoundRequest::Run(int request, std::chrono::seconds timeout, const RecordSink& sink)
{
    if (!ready_)
        return Fail(RequestOutcome::Kind::Failed, "the sound system cannot be used");
    if (!WriteCommandFile(kCommandFileName, ItemText(request))) {
        messages_.ShowMessage(CommandFileOpenMessage(kCommandFileName));
        return Fail(RequestOutcome::Kind::Failed, "cannot write " + std::string(kCommandFileName));
    }
    std::string error;
    if (!ChooseDevices(error))
        return Fail(RequestOutcome::Kind::Failed, error);
    layer_.PlaySoundFile(kCommandFileName);
    session_.AddLogLine(kAwaitingAnswer);
    session_.SetPendingRequest(request);
    host_->Listen(timeout);
    sink_ = &sink;
    const int started = layer_.StartCapture();
    sink_ = nullptr;
    RequestOutcome outcome;
    if (started != 0) {
        layer_.StopCapture(); // releases what the failed start opened
        outcome = Fail(RequestOutcome::Kind::Failed, WithReason("the sound input cannot capture"));
    } else if (host_->Answered()) {
        outcome.kind = RequestOutcome::Kind::Answered;
    } else if (host_->TimedOut()) {
        outcome.kind = RequestOutcome::Kind::TimedOut;
    } else {
        // The capture loop ended on its own: the input or the sound server went away. What it
        // opened is released, so the next request starts afresh.
        layer_.StopCapture();
        outcome = Fail(RequestOutcome::Kind::Failed, WithReason("the sound input was lost"));
    }
    session_.SetPendingRequest(-1);
    return outcome;
}

std::string SoundRequest::WithReason(const std::string& what) const
{
    const std::string reason = backend_->LastError();
    return reason.empty() ? what : what + " (" + reason + ")";
}

} // namespace quelsor::cli
