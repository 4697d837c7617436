#include "CliWav.h"
#include "Commands.h"

#include "audio/DetectorFeed.h"

#include <cstdio>

namespace quelsor::cli {

namespace {

    const char* const kDetectUsage
        = "Usage: quelsor-cli detect [--threshold N] [--trace] FILE.wav\n"
          "\n"
          "Runs a fresh DTMF detector over a recording (PCM 16-bit mono 16000 Hz), fed in\n"
          "512-sample regions as capture feeds it, and prints every line it adds to the log:\n"
          "one \"TEXT (LENGTH)\" line per answer closed by a silence of more than 450 ms.\n"
          "\n"
          "Options:\n"
          "  --threshold N   detection threshold, mean absolute filter output (default 0)\n"
          "  --trace         also print \"# BLOCK CHAR\" for each accepted character,\n"
          "                  \"# BLOCK dropped CHAR\" for each dropped one and, at the end,\n"
          "                  \"# pending TEXT\" for characters of an answer not yet closed;\n"
          "                  BLOCK counts 1 ms blocks from the start of the file\n"
          "  -h, --help      show this help\n"
          "\n"
          "Exit status: 0 done, 2 usage error or unusable WAV file.\n";

    int UsageError(const char* problem, const std::string& what)
    {
        std::fprintf(stderr, "quelsor-cli detect: %s%s\n\n%s", problem, what.c_str(), kDetectUsage);
        return 2;
    }

} // namespace

int RunDetect(const std::vector<std::string>& args)
{
    if (WantsHelp(args)) {
        std::fputs(kDetectUsage, stdout);
        return 0;
    }
    int threshold = 0;
    bool trace = false;
    std::string path;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--threshold") {
            if (i + 1 >= args.size())
                return UsageError("--threshold needs a number", "");
            if (!ParseInteger(args[++i], threshold))
                return UsageError("not a threshold: ", args[i]);
        } else if (arg == "--trace") {
            trace = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option ", arg);
        } else if (path.empty()) {
            path = arg;
        } else {
            return UsageError("more than one file: ", arg);
        }
    }
    if (path.empty())
        return UsageError("missing FILE.wav", "");

    std::vector<std::int16_t> samples;
    if (!LoadRecording("detect", path, samples))
        return 2;
    auto bank = NewDesignedFilterBank();
    DetectorState state;
    CliDetectorHost host(threshold, trace, stdout);
    FeedRecording(state, *bank, host, samples.data(), samples.size());
    if (trace && !state.receivedText.empty())
        std::printf("# pending %s\n", state.receivedText.c_str());
    return 0;
}

} // namespace quelsor::cli
