// quelsor-cli request: one status request over the sound devices, the cycle of the
// window's generator button without the window: command file, playback, capture through the
// sound layer, detection and decoding, every log line printed as it comes.

#include "AnswerOptions.h"
#include "Commands.h"
#include "DeviceOptions.h"
#include "ResultPrinter.h"
#include "StderrMessages.h"

#include "CliWav.h"

#include "decoder/RequestLog.h"

#ifdef QUELSOR_HAVE_SOUND
#include "SoundRequest.h"

#include <chrono>
#endif

#include <cstdio>
#include <string>
#include <vector>

namespace quelsor::cli {

namespace {

    // The help, in two parts around the log line kAwaitingAnswer.
    const char kRequestUsageHead[]
        = R"usage(Usage: quelsor-cli request --config FILE.ini --request N [--debug] [--timeout SECONDS]
                            [--format F] [--input DEVICE] [--output DEVICE]

Sends one status request over the sound devices and decodes its answer, as a click on "Gén. DTMF" does with request item N selected: writes
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
  --format F         text (default: the log lines), json (one JSON object per
                     line for each report line) or csv (a header, then one
                     line for each report line), with the fields time (UTC,
                     when the answer closed), request, label, zone, name, raw,
                     value, text and status, then the answer's link quality
                     (level, level_db, noise, snr; see quelsor-cli poll
                     --help); a time-out gives one record with status timeout;
                     see quelsor-cli answer --help
  --input DEVICE     the sound input to listen on, instead of FILE.ini's Entree
                     (or the system's default): a device's id or description, or
                     a part of its description (see quelsor-cli devices)
  --output DEVICE    the sound output to play the command on, instead of
                     FILE.ini's Sortie
  -h, --help         show this help

An Entree or Sortie of FILE.ini that names no device present is said in a log
line and the default is used; an --input or --output that names none ends the
command with the list of devices.

Exit status: 0 once the answer has been decoded, 1 when no answer was decoded
within the time-out (reported on stderr), 2 for a usage error, a configuration
error or a sound device error (the sound layer's messages go to stderr).
)usage";

#ifdef QUELSOR_HAVE_SOUND

    constexpr int kDefaultTimeoutSeconds = 10;

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
    DeviceOptions devices;
    if (!TakeTimeout(rest, timeoutSeconds) || !TakeDeviceOptions("request", rest, devices))
        return 2;
    AnswerOptions options;
    if (!ParseAnswerArguments("request", rest, false, options))
        return 2;
    if (!options.positional.empty()) {
        std::fprintf(stderr,
            "quelsor-cli request: unexpected argument '%s'\nRun 'quelsor-cli request --help' for "
            "usage.\n",
            options.positional.front().c_str());
        return 2;
    }
    const int request = options.request;

    StderrMessages messages;
    DecoderSession session([](const std::string&) {}, messages, options.debug);
    ResultPrinter printer(options.format);
    printer.UseCurrentTime(true);
    printer.AttachLog(session);
    if (!OpenDecoderSession("request", session, options.config, -1))
        return 2;
    const auto& items = session.Configuration().items;
    if (request < 0 || request >= static_cast<int>(items.size())) {
        std::fprintf(stderr,
            "quelsor-cli request: request %d is not one of the %d request items of '%s'\n", request,
            static_cast<int>(items.size()), options.config.c_str());
        return 2;
    }

    SoundRequest sound("request", session, messages);
    if (!sound.Init())
        return 2;
    std::string inputId;
    std::string outputId;
    if (!ResolveDeviceOptions("request", sound.Backend(), devices, inputId, outputId))
        return 2;
    sound.UseDeviceIds(inputId, outputId);
    const RequestOutcome outcome = sound.Run(request, std::chrono::seconds(timeoutSeconds),
        [&printer](const ResultRecord& record) { printer.Print(record); });
    if (outcome.kind == RequestOutcome::Kind::Answered)
        return 0;
    if (outcome.kind == RequestOutcome::Kind::Failed) {
        ResultRecord record = RecordWithoutZone(sound.ItemText(request), "error");
        record.text = outcome.error;
        printer.Print(record);
        return 2;
    }
    std::fprintf(stderr, "quelsor-cli request: no answer to request %d decoded within %d s\n",
        request, timeoutSeconds);
    printer.Print(RecordWithoutZone(sound.ItemText(request), "timeout"));
    return 1;
#endif
}

} // namespace quelsor::cli
