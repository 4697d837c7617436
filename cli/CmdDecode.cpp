// quelsor-cli decode: runs the DTMF detector over a recording and hands every answer it closes
// to the decoder, awaiting a configured request (once, as the window does, or for every answer),
// printing the log lines the window would show.

#include "AnswerOptions.h"
#include "CliRecording.h"
#include "Commands.h"
#include "ResultPrinter.h"
#include "StderrMessages.h"

#include "audio/DetectorHost.h"
#include "audio/DtmfDetector.h"
#include "config/Configuration.h"
#include "decoder/DecoderSession.h"
#include "recording/RecordingTime.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace quelsor::cli {

namespace {

    const std::string kDecodeUsage
        = std::string(
              R"usage(Usage: quelsor-cli decode --config FILE.ini --request N [--all] [--debug]
                           [--threshold T] [--format F] [--times] [--channel N]
                           [--threads N] FILE

Loads the configuration FILE.ini, makes request N (0 for the first request
item, -1 for none) the request whose answer is awaited, and runs the DTMF
detector over the recording FILE in 32 ms slices, as capture does. Every
answer the detector closes is logged as "STRING (length)" and handed to the
decoder, as in the window: once the request's answer is decoded nothing is
awaited any more, and later answers are only shown ("Reçu:STRING"), unless
--all is given. Prints every log line in order, exactly as the log window
shows it.

The detector closes an answer at the first tone that follows more than 450 ms
of silence after its last character; an answer still open when the recording
ends is not decoded (a note on stderr names it).

)usage") + kRecordingFormatsHelp
        + R"usage(
Options:
  --config FILE.ini  the configuration file (required)
  --request N        index of the pending request, -1 for none (required)
  --all              await request N again before every answer, so that each
                     one is decoded (a recording of several answers to it)
  --debug            as if "Aff. Debug" were checked
  --threshold T      detection threshold (0 or more); default 200 - Seuil of
                     the configuration file
  --format F         text (default: the log lines), json (one JSON object per
                     line for each report line) or csv (a header, then one
                     line for each report line), with the fields time (the
                     seconds from the start of the recording at which the
                     answer closed), request, label, zone, name, raw, value,
                     text and status, then the answer's link quality (level,
                     level_db, noise, snr; see quelsor-cli poll --help); see
                     quelsor-cli answer --help
)usage" + kTimesHelp
        + "                  (text format only: the records carry their time)\n" + kChannelHelp
        + kThreadsHelp + R"usage(  -h, --help         show this help

Messages the window would show in a box go to stderr. Exit status: 0 on
success, 2 for a usage error, a request outside the items, or a file that
cannot be read or ends early (what it holds is still decoded).
)usage";

    // The session's detector host that also tells the printer when, within the recording, each
    // answer closes (the block being analysed, 1 ms each).
    class RecordingDetectorHost : public SessionDetectorHost {
    public:
        // everyAnswer: the request made pending again before each answer (--all); without it
        // the request is awaited once, as the window does.
        RecordingDetectorHost(DecoderSession& session, int threshold, const DetectorState& state,
            ResultPrinter& printer, bool times, std::optional<int> everyAnswer)
            : SessionDetectorHost(session, threshold)
            , session_(session)
            , everyAnswer_(everyAnswer)
            , state_(state)
            , printer_(printer)
            , clock_(state)
            , times_(times)
        {
        }
        void OnCharacter(std::int64_t block, char character) override
        {
            clock_.OnCharacter(block);
            SessionDetectorHost::OnCharacter(block, character);
        }
        void OnAnswer(const std::string& text) override
        {
            printer_.SetRecordingSeconds(BlockSeconds(state_.blockIndex));
            if (times_)
                printer_.SetLinePrefix(clock_.StartText() + ' ');
            if (everyAnswer_)
                session_.SetPendingRequest(*everyAnswer_);
            SessionDetectorHost::OnAnswer(text);
        }

    private:
        DecoderSession& session_;
        std::optional<int> everyAnswer_;
        const DetectorState& state_;
        ResultPrinter& printer_;
        AnswerClock clock_;
        bool times_;
    };

} // namespace

int RunDecode(const std::vector<std::string>& args)
{
    if (WantsHelp(args)) {
        std::fputs(kDecodeUsage.c_str(), stdout);
        return 0;
    }
    AnswerOptions options;
    if (!ParseAnswerArguments("decode", args, true, options))
        return 2;
    if (options.recording.times && options.format != RecordFormat::Text) {
        std::fprintf(stderr,
            "quelsor-cli decode: --times is for the text format: the records carry their "
            "time\nRun 'quelsor-cli decode --help' for usage.\n");
        return 2;
    }
    const std::vector<std::string>& files = options.positional;
    if (files.size() != 1) {
        std::fprintf(stderr, "quelsor-cli decode: %s\nRun 'quelsor-cli decode --help' for usage.\n",
            files.empty() ? "missing FILE" : "only one FILE is allowed");
        return 2;
    }

    StderrMessages messages;
    DecoderSession session([](const std::string&) {}, messages, options.debug);
    ResultPrinter printer(options.format);
    printer.Attach(session);
    if (!OpenDecoderSession("decode", session, options.config, options.request))
        return 2;
    int threshold = options.threshold;
    if (threshold < 0)
        threshold = kThresholdMax - session.Configuration().thresholdPosition;

    const std::string& path = files.front();
    const std::unique_ptr<RecordingReader> reader
        = OpenRecordingFor("decode", path, options.recording.channel);
    if (!reader)
        return 2;
    const std::unique_ptr<ProgressLine> progress = NewProgressLine(*reader);
    printer.SetBeforeLine([&progress] { progress->BeforeOutput(); });
    DetectorState state;
    RecordingDetectorHost host(session, threshold, state, printer, options.recording.times,
        options.all ? std::optional<int>(options.request) : std::nullopt);
    DetectRecording(*reader, *progress, state, host, options.recording.threads);
    std::fflush(stdout);
    if (!state.receivedText.empty())
        std::fprintf(stderr,
            "quelsor-cli decode: the recording ends before the answer '%s' was closed; it is "
            "not decoded\n",
            state.receivedText.c_str());
    return ReportRecordingEnd("decode", path, *reader);
}

} // namespace quelsor::cli
