#include "CliRecording.h"
#include "CliWav.h"
#include "Commands.h"

#include <climits>
#include <cstdio>
#include <string>

namespace quelsor::cli {

namespace {

    const std::string kDetectDescription
        = std::string("Runs a fresh DTMF detector over a recording, fed in 512-sample regions as\n"
                      "capture feeds it, and prints every line it adds to the log: one\n"
                      "\"TEXT (LENGTH)\" line per answer closed by a silence of more than 450 ms.\n"
                      "\n")
        + kRecordingFormatsHelp;

} // namespace

int RunDetect(const std::vector<std::string>& args)
{
    CommandLine line("detect", kDetectDescription,
        "Exit status: 0 done, 2 usage error, or a file that cannot be read or ends\n"
        "early (what it holds is still analysed).\n");
    CLI::App& app = line.App();
    int threshold = 0;
    bool trace = false;
    RecordingArguments recording;
    std::string path;
    app.add_option(
           "--threshold", threshold, "detection threshold, mean absolute filter output (default 0)")
        ->option_text("N")
        ->transform(Decimal(0, INT_MAX, "threshold", "0 or more"));
    app.add_flag("--trace", trace,
        "also print \"# BLOCK CHAR\" for each accepted character, \"# BLOCK dropped CHAR\" for "
        "each dropped one and, at the end, \"# pending TEXT\" for characters of an answer not "
        "yet closed; BLOCK counts 1 ms blocks from the start of the file");
    AddRecordingOptions(app, recording);
    app.add_option("FILE", path)->required();
    if (const auto done = line.Parse(args))
        return *done;

    const std::unique_ptr<RecordingReader> reader
        = OpenRecordingFor("detect", path, recording.channel);
    if (!reader)
        return 2;
    const std::unique_ptr<ProgressLine> progress = NewProgressLine(*reader);
    DetectorState state;
    AnswerClock clock(state);
    CliDetectorHost host(threshold, trace, stdout);
    host.beforeLine = [&progress] { progress->BeforeOutput(); };
    host.onCharacter = [&clock](std::int64_t block, char) { clock.OnCharacter(block); };
    if (recording.times)
        host.linePrefix = [&clock] { return clock.StartText() + ' '; };
    DetectRecording(*reader, *progress, state, host, recording.threads);
    if (trace && !state.receivedText.empty())
        std::printf("# pending %s\n", state.receivedText.c_str());
    return ReportRecordingEnd("detect", path, *reader);
}

} // namespace quelsor::cli
