#include "CliRecording.h"
#include "CliWav.h"
#include "Commands.h"

#include <cstdio>
#include <string>

namespace quelsor::cli {

namespace {

    const std::string kDetectUsage
        = std::string(
              "Usage: quelsor-cli detect [--threshold N] [--trace] [--times] [--channel N]\n"
              "                          [--threads N] FILE\n"
              "\n"
              "Runs a fresh DTMF detector over a recording, fed in 512-sample regions as capture\n"
              "feeds it, and prints every line it adds to the log: one \"TEXT (LENGTH)\" line per\n"
              "answer closed by a silence of more than 450 ms.\n"
              "\n")
        + kRecordingFormatsHelp
        + "\n"
          "Options:\n"
          "  --threshold N   detection threshold, mean absolute filter output (default 0)\n"
          "  --trace         also print \"# BLOCK CHAR\" for each accepted character,\n"
          "                  \"# BLOCK dropped CHAR\" for each dropped one and, at the end,\n"
          "                  \"# pending TEXT\" for characters of an answer not yet closed;\n"
          "                  BLOCK counts 1 ms blocks from the start of the file\n"
        + kTimesHelp + kChannelHelp + kThreadsHelp
        + "  -h, --help      show this help\n"
          "\n"
          "Exit status: 0 done, 2 usage error, or a file that cannot be read or ends\n"
          "early (what it holds is still analysed).\n";

    int UsageError(const std::string& problem)
    {
        std::fprintf(stderr, "quelsor-cli detect: %s\n\n%s", problem.c_str(), kDetectUsage.c_str());
        return 2;
    }

} // namespace

int RunDetect(const std::vector<std::string>& args)
{
    if (WantsHelp(args)) {
        std::fputs(kDetectUsage.c_str(), stdout);
        return 0;
    }
    int threshold = 0;
    bool trace = false;
    RecordingArguments recording;
    std::string path;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string error;
        if (TakeRecordingOption(
                args, i, kChannelOption | kThreadsOption | kTimesOption, recording, error)) {
            if (!error.empty())
                return UsageError(error);
        } else if (arg == "--threshold") {
            if (i + 1 >= args.size())
                return UsageError("--threshold needs a number");
            if (!ParseInteger(args[++i], threshold))
                return UsageError("not a threshold: " + args[i]);
        } else if (arg == "--trace") {
            trace = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option " + arg);
        } else if (path.empty()) {
            path = arg;
        } else {
            return UsageError("more than one file: " + arg);
        }
    }
    if (path.empty())
        return UsageError("missing FILE");

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
