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

#include <climits>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace quelsor::cli {

namespace {

    const std::string kDecodeDescription
        = std::string(
              R"usage(Loads the configuration FILE.ini, makes request N (0 for the first request
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

)usage") + kRecordingFormatsHelp;

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
    CommandLine line("decode", kDecodeDescription,
        "Messages the window would show in a box go to stderr. Exit status: 0 on\n"
        "success, 2 for a usage error, a request outside the items, or a file that\n"
        "cannot be read or ends early (what it holds is still decoded).\n");
    CLI::App& app = line.App();
    AnswerOptions options;
    bool all = false;
    int threshold = -1;
    RecordingArguments recording;
    std::string path;
    AddAnswerOptions(app, options, "index of the pending request, -1 for none");
    app.add_flag("--all", all,
        "await request N again before every answer, so that each one is decoded (a recording "
        "of several answers to it)");
    AddReportOptions(app, options,
        ", with the fields time (the seconds from the start of the recording at which the answer "
        "closed), request, label, zone, name, raw, value, text and status, then the answer's "
        "link quality (level, level_db, noise, snr; see quelsor-cli poll --help); see "
        "quelsor-cli answer --help");
    app.add_option("--threshold", threshold,
           "detection threshold (0 or more); default 200 - Seuil of the configuration file")
        ->option_text("T")
        ->transform(Decimal(0, INT_MAX, "threshold", "0 or more"));
    AddRecordingOptions(app, recording);
    app.get_option("--times")->description(app.get_option("--times")->get_description()
        + " (text format only: the records carry their time)");
    app.add_option("FILE", path)->required();
    if (const auto done = line.Parse(args))
        return *done;
    if (recording.times && options.format != RecordFormat::Text)
        return line.UsageError("--times is for the text format: the records carry their time");

    StderrMessages messages;
    DecoderSession session([](const std::string&) {}, messages, options.debug);
    ResultPrinter printer(options.format);
    printer.Attach(session);
    if (!OpenDecoderSession("decode", session, options.config, options.request))
        return 2;
    if (threshold < 0)
        threshold = kThresholdMax - session.Configuration().thresholdPosition;

    const std::unique_ptr<RecordingReader> reader
        = OpenRecordingFor("decode", path, recording.channel);
    if (!reader)
        return 2;
    const std::unique_ptr<ProgressLine> progress = NewProgressLine(*reader);
    printer.SetBeforeLine([&progress] { progress->BeforeOutput(); });
    DetectorState state;
    RecordingDetectorHost host(session, threshold, state, printer, recording.times,
        all ? std::optional<int>(options.request) : std::nullopt);
    DetectRecording(*reader, *progress, state, host, recording.threads);
    std::fflush(stdout);
    if (!state.receivedText.empty())
        std::fprintf(stderr,
            "quelsor-cli decode: the recording ends before the answer '%s' was closed; it is "
            "not decoded\n",
            state.receivedText.c_str());
    return ReportRecordingEnd("decode", path, *reader);
}

} // namespace quelsor::cli
