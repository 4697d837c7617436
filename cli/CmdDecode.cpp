// quelsor-cli decode: runs the DTMF detector over a recording and decodes every answer it
// closes against a configured request, printing the log lines the window would show.

#include "Commands.h"
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

// Shared with the answer command (CmdAnswer.cpp).
bool ParseAnswerArguments(const char* command, const std::vector<std::string>& args,
    bool withThreshold, std::string& config, int& request, bool& debug, int& threshold,
    std::vector<std::string>& positional);
bool OpenDecoderSession(
    const char* command, DecoderSession& session, const std::string& config, int request);

namespace {

    const char kDecodeUsage[]
        = R"usage(Usage: quelsor-cli decode --config FILE.ini --request N [--debug] [--threshold T] FILE.wav

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
  -h, --help         show this help

Messages the window would show in a box go to stderr. Exit status: 0 on
success, 2 for a usage error, an unreadable file or a request outside the items.
)usage";

} // namespace

int RunDecode(const std::vector<std::string>& args)
{
    if (WantsHelp(args)) {
        std::fputs(kDecodeUsage, stdout);
        return 0;
    }
    std::string config;
    int request = -1;
    bool debug = false;
    int threshold = -1;
    std::vector<std::string> files;
    if (!ParseAnswerArguments("decode", args, true, config, request, debug, threshold, files))
        return 2;
    if (files.size() != 1) {
        std::fprintf(stderr, "quelsor-cli decode: %s\nRun 'quelsor-cli decode --help' for usage.\n",
            files.empty() ? "missing FILE.wav" : "only one FILE.wav is allowed");
        return 2;
    }

    StderrMessages messages;
    DecoderSession session(
        [](const std::string& line) { std::printf("%s\n", line.c_str()); }, messages, debug);
    if (!OpenDecoderSession("decode", session, config, request))
        return 2;
    if (threshold < 0)
        threshold = kThresholdMax - session.Configuration().thresholdPosition;

    const WavReadResult wav = ReadWavFile(files.front());
    if (!wav.ok) {
        std::fprintf(stderr, "quelsor-cli decode: %s\n", wav.error.c_str());
        return 2;
    }

    SessionDetectorHost host(session, threshold);
    DetectorState state;
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
