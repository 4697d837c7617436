// quelsor-cli request: one status request over the default sound devices, the cycle of the
// window's generator button without the window: command file, playback, capture through the
// sound layer, detection and decoding, every log line printed as it comes.

#include "Commands.h"
#include "StderrMessages.h"

#include "CliWav.h"

#ifdef QUELSOR_HAVE_SOUND
#include "SoundApplication.h"

#include "audio/CommandFile.h"
#include "audio/DetectorHost.h"
#include "common/ProcessExit.h"
#include "config/Configuration.h"
#include "decoder/DecoderSession.h"
#include "device/QtSoundBackend.h"
#include "sound/SoundHost.h"
#include "sound/SoundLayer.h"

#include <QCoreApplication>

#include <chrono>
#endif

#include "decoder/RequestLog.h"

#include <cstdio>
#include <string>
#include <vector>

namespace quelsor::cli {

#ifdef QUELSOR_HAVE_SOUND
// Shared with the answer and decode commands (CmdAnswer.cpp).
bool ParseAnswerArguments(const char* command, const std::vector<std::string>& args,
    bool withThreshold, std::string& config, int& request, bool& debug, int& threshold,
    std::vector<std::string>& positional);
bool OpenDecoderSession(
    const char* command, DecoderSession& session, const std::string& config, int request);
#endif

namespace {

    // The help, in two parts around the log line kAwaitingAnswer.
    const char kRequestUsageHead[]
        = R"usage(Usage: quelsor-cli request --config FILE.ini --request N [--debug] [--timeout SECONDS]

Sends one status request over the default sound devices and decodes its
answer, as a click on "Gén. DTMF" does with request item N selected: writes
the command file tmp_dtmf.wav (and the capture file tmp.wav) in the current
directory, plays it to its end, logs ")usage";
    const char kRequestUsageTail[] = R"usage(", then listens
with the DTMF detector (threshold 200 - Seuil of FILE.ini) and decodes every
answer it closes. Every log line is printed on stdout as the log window
would show it, as soon as it comes.

The echo of the command does not end the request. An answer whose length
differs from the configured one prints its two error lines and, without
--debug, leaves the request pending: the command then ends by its time-out.

Options:
  --config FILE.ini  the configuration file (required)
  --request N        index of the request item to send, from 0 (required)
  --debug            as if "Aff. Debug" were checked: detailed report lines,
                     and an answer of the wrong length is decoded all the same
  --timeout SECONDS  how long to wait for the answer after the command has
                     been played (default 10)
  -h, --help         show this help

Exit status: 0 once the answer has been decoded, 1 when no answer was decoded
within the time-out (reported on stderr), 2 for a usage error, a configuration
error or a sound device error (the sound layer's messages go to stderr).
)usage";

#ifdef QUELSOR_HAVE_SOUND

    constexpr int kDefaultTimeoutSeconds = 10;

    // What the sound layer needs of its host, without drawing: messages on stderr, Qt events
    // processed, and after each batch of events the request checked: the capture stops once the
    // answer has been decoded or the time-out has run out.
    class RequestSoundHost : public ISoundHost {
    public:
        RequestSoundHost(
            SoundLayer& layer, DecoderSession& session, int threshold, StderrMessages& messages)
            : layer_(layer)
            , session_(session)
            , detectorHost_(session, threshold)
            , messages_(messages)
        {
        }

        void ShowMessage(const std::string& text) override { messages_.ShowMessage(text); }
        void ProcessPendingEvents() override
        {
            QCoreApplication::processEvents();
            if (!listening_ || layer_.CaptureStopRequested())
                return;
            if (session_.Decoder().pendingSeq < 0) {
                answered_ = true;
                listening_ = false;
                layer_.StopCapture();
            } else if (std::chrono::steady_clock::now() >= deadline_) {
                listening_ = false;
                layer_.StopCapture();
            }
        }
        void DrawSpectrum(const std::int32_t*, int) override { }
        IDetectorHost& DetectorHost() override { return detectorHost_; }

        void Listen(std::chrono::steady_clock::duration timeout)
        {
            deadline_ = std::chrono::steady_clock::now() + timeout;
            listening_ = true;
        }
        bool Answered() const { return answered_; }

    private:
        SoundLayer& layer_;
        DecoderSession& session_;
        SessionDetectorHost detectorHost_;
        StderrMessages& messages_;
        bool listening_ = false;
        bool answered_ = false;
        std::chrono::steady_clock::time_point deadline_ {};
    };

    // Takes --timeout SECONDS out of args; false (after the message) when its value is invalid.
    bool TakeTimeout(std::vector<std::string>& args, int& seconds)
    {
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (args[i] == "--")
                break;
            if (args[i] != "--timeout")
                continue;
            if (i + 1 >= args.size() || !ParseInteger(args[i + 1], seconds) || seconds <= 0) {
                std::fprintf(stderr,
                    "quelsor-cli request: --timeout needs a whole number of seconds (1 or "
                    "more)\nRun 'quelsor-cli request --help' for usage.\n");
                return false;
            }
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
            --i;
        }
        return true;
    }

    // The request over the sound devices, from the command file to the decoded answer or the
    // time-out: the exit status.
    int SendRequest(DecoderSession& session, StderrMessages& messages, const std::string& itemText,
        int request, int timeoutSeconds)
    {
        const SoundApplication application;

        QtSoundBackend backend;
        SoundLayer layer;
        RequestSoundHost host(
            layer, session, kThresholdMax - session.Configuration().thresholdPosition, messages);
        if (layer.InitSound(host, &backend) != 0) {
            layer.ReleaseSound();
            return 2;
        }
        int status = 2;
        if (!WriteCommandFile(kCommandFileName, itemText)) {
            messages.ShowMessage(CommandFileOpenMessage(kCommandFileName));
        } else {
            layer.PlaySoundFile(kCommandFileName);
            session.AddLogLine(kAwaitingAnswer);
            session.SetPendingRequest(request);
            host.Listen(std::chrono::seconds(timeoutSeconds));
            const int started = layer.StartCapture();
            if (started != 0) {
                layer.StopCapture(); // releases what the failed start opened
            } else {
                if (host.Answered()) {
                    status = 0;
                } else {
                    std::fprintf(stderr,
                        "quelsor-cli request: no answer to request %d decoded within %d s\n",
                        request, timeoutSeconds);
                    status = 1;
                }
            }
        }
        layer.ReleaseSound();
        return status;
    }

#endif // QUELSOR_HAVE_SOUND

} // namespace

int RunRequest(const std::vector<std::string>& args)
{
    if (WantsHelp(args)) {
        std::fputs(kRequestUsageHead, stdout);
        std::fputs(kAwaitingAnswer, stdout);
        std::fputs(kRequestUsageTail, stdout);
        return 0;
    }
#ifndef QUELSOR_HAVE_SOUND
    std::fprintf(stderr, "quelsor-cli request: built without sound support\n");
    return 2;
#else
    std::vector<std::string> rest = args;
    int timeoutSeconds = kDefaultTimeoutSeconds;
    if (!TakeTimeout(rest, timeoutSeconds))
        return 2;
    std::string config;
    int request = -1;
    bool debug = false;
    int threshold = -1;
    std::vector<std::string> positional;
    if (!ParseAnswerArguments(
            "request", rest, false, config, request, debug, threshold, positional))
        return 2;
    if (!positional.empty()) {
        std::fprintf(stderr,
            "quelsor-cli request: unexpected argument '%s'\nRun 'quelsor-cli request --help' for "
            "usage.\n",
            positional.front().c_str());
        return 2;
    }

    StderrMessages messages;
    DecoderSession session(
        [](const std::string& line) {
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        },
        messages, debug);
    if (!OpenDecoderSession("request", session, config, -1))
        return 2;
    const auto& items = session.Configuration().items;
    if (request < 0 || request >= static_cast<int>(items.size())) {
        std::fprintf(stderr,
            "quelsor-cli request: request %d is not one of the %d request items of '%s'\n", request,
            static_cast<int>(items.size()), config.c_str());
        return 2;
    }
    const std::string itemText = items[static_cast<std::size_t>(request)];

    // See ProcessExit.h for why the process ends here.
    EndProcess(SendRequest(session, messages, itemText, request, timeoutSeconds));
#endif
}

} // namespace quelsor::cli
