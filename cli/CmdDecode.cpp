// quelsor-cli decode: runs the DTMF detector over a recording and decodes every answer it
// closes against a configured request, printing the log lines the window would show.

#include "AnswerOptions.h"
#include "Commands.h"
#include "ResultPrinter.h"
#include "StderrMessages.h"

#include "audio/DetectorFeed.h"
#include "audio/DetectorHost.h"
#include "audio/DtmfDetector.h"
#include "audio/FilterBank.h"
#include "audio/WavReader.h"
#include "config/Configuration.h"
#include "decoder/DecoderSession.h"

#include <cstdio>
#include <string>
#include <vector>

namespace quelsor::cli {

namespace {

    const char kDecodeUsage[]
        = R"usage(Usage: quelsor-cli decode --config FILE.ini --request N [--debug] [--threshold T]
                           [--format F] FILE.wav

Loads the configuration FILE.ini, makes request N (0 for the first request
item, -1 for none) the request whose answer is awaited, and runs the DTMF
detector over the recording FILE.wav (16-bit PCM, mono, 16000 Hz) in 32 ms
slices, as capture does. Every answer the detector closes is logged as
"STRING (length)" and decoded. Prints every log line in order, exactly as the
log window shows it.

The detector closes an answer at the first tone that follows more than 450 ms
of silence after its last character; an answer still open when the recording
ends is not decoded (a note on stderr names it).

Options:
  --config FILE.ini  the configuration file (required)
  --request N        index of the pending request, -1 for none (required)
  --debug            as if "Aff. Debug" were checked
  --threshold T      detection threshold (0 or more); default 200 - Seuil of
                     the configuration file
  --format F         text (default: the log lines), json (one JSON object per
                     line for each report line) or csv (a header, then one
                     line for each report line), with the fields time (the
                     seconds from the start of the recording at which the
                     answer closed), request, label, zone, name, raw, value,
                     text and status; see quelsor-cli answer --help
  -h, --help         show this help

Messages the window would show in a box go to stderr. Exit status: 0 on
success, 2 for a usage error, an unreadable file or a request outside the items.
)usage";

    // The session's detector host that also tells the printer when, within the recording, each
    // answer closes (the block being analysed, 1 ms each).
    class RecordingDetectorHost : public SessionDetectorHost {
    public:
        RecordingDetectorHost(DecoderSession& session, int threshold, const DetectorState& state,
            ResultPrinter& printer)
            : SessionDetectorHost(session, threshold)
            , state_(state)
            , printer_(printer)
        {
        }
        void OnAnswer(const std::string& text) override
        {
            printer_.SetRecordingSeconds(static_cast<double>(state_.blockIndex) / 1000.0);
            SessionDetectorHost::OnAnswer(text);
        }

    private:
        const DetectorState& state_;
        ResultPrinter& printer_;
    };

} // namespace

int RunDecode(const std::vector<std::string>& args)
{
    if (WantsHelp(args)) {
        std::fputs(kDecodeUsage, stdout);
        return 0;
    }
    AnswerOptions options;
    if (!ParseAnswerArguments("decode", args, true, options))
        return 2;
    const std::vector<std::string>& files = options.positional;
    if (files.size() != 1) {
        std::fprintf(stderr, "quelsor-cli decode: %s\nRun 'quelsor-cli decode --help' for usage.\n",
            files.empty() ? "missing FILE.wav" : "only one FILE.wav is allowed");
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

    const WavReadResult wav = ReadWavFile(files.front());
    if (!wav.ok) {
        std::fprintf(stderr, "quelsor-cli decode: %s\n", wav.error.c_str());
        return 2;
    }

    DetectorState state;
    RecordingDetectorHost host(session, threshold, state, printer);
    const std::unique_ptr<FilterBank> bank = NewDesignedFilterBank();
    FeedRecording(state, *bank, host, wav.samples.data(), wav.samples.size());
    std::fflush(stdout);
    if (!state.receivedText.empty())
        std::fprintf(stderr,
            "quelsor-cli decode: the recording ends before the answer '%s' was closed; it is "
            "not decoded\n",
            state.receivedText.c_str());
    return 0;
}

} // namespace quelsor::cli
