// quelsor-cli request: one status request over the sound devices, the cycle of the
// window's generator button without the window: command file, playback, capture through the
// sound layer, detection and decoding, every log line printed as it comes.

#include "AnswerOptions.h"
#include "Commands.h"
#include "DeviceOptions.h"
#include "ResultPrinter.h"
#include "StderrMessages.h"

#include "decoder/RequestLog.h"

#ifdef QUELSOR_HAVE_SOUND
#include "SoundRequest.h"

#include <chrono>
#endif

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

namespace quelsor::cli {

namespace {

    // The description, in two parts around the log line kAwaitingAnswer.
    const char kRequestDescriptionHead[]
        = R"usage(Sends one status request over the sound devices and decodes its answer, as a
click on "Gén. DTMF" does with request item N selected: writes the command
file tmp_dtmf.wav (and the capture file tmp.wav) in the current directory,
plays it to its end, logs ")usage";
    const char kRequestDescriptionTail[] = R"usage(", then listens with the DTMF
detector (threshold 200 - Seuil of FILE.ini) and decodes every answer it
closes. Every log line is printed on stdout as the log window would show it,
as soon as it comes.

The echo of the command does not end the request. An answer whose length
differs from the configured one prints its two error lines and, without
--debug, leaves the request pending: the command then ends by its time-out.
)usage";

    const char kRequestFooter[]
        = R"usage(An Entree or Sortie of FILE.ini that names no device present is said in a log
line and the default is used; an --input or --output that names none ends the
command with the list of devices.

Exit status: 0 once the answer has been decoded, 1 when no answer was decoded
within the time-out (reported on stderr), 2 for a usage error, a configuration
error or a sound device error (the sound layer's messages go to stderr).
)usage";

} // namespace

int RunRequest(const std::vector<std::string>& args)
{
    CommandLine line("request",
        kRequestDescriptionHead + std::string(kAwaitingAnswer) + kRequestDescriptionTail,
        kRequestFooter);
    CLI::App& app = line.App();
    AnswerOptions options;
    AddAnswerOptions(app, options, "index of the request item to send, from 0");
    AddReportOptions(app, options,
        ", with the fields time (UTC, when the answer closed), request, label, zone, name, raw, "
        "value, text and status, then the answer's link quality (level, level_db, noise, snr; "
        "see quelsor-cli poll --help); a time-out gives one record with status timeout; see "
        "quelsor-cli answer --help");
    int timeoutSeconds = 10;
    app.add_option("--timeout", timeoutSeconds,
           "how long to wait for the answer after the command has been played (default 10)")
        ->option_text("SECONDS")
        ->transform(Decimal(1, INT_MAX, "time-out", "whole seconds, 1 or more"));
    DeviceOptions devices;
    AddDeviceOptions(app, devices,
        " to listen on, instead of FILE.ini's Entree (or the system's default)",
        " to play the command on, instead of FILE.ini's Sortie");
    if (const auto done = line.Parse(args))
        return *done;
#ifndef QUELSOR_HAVE_SOUND
    std::fprintf(stderr, "quelsor-cli request: built without sound support\n");
    return 2;
#else
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
