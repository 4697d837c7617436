// quelsor-cli poll: unattended status polling. Sends the listed requests in turn over the sound
// devices, again every period, and hands each result to stdout, to files that only grow (CSV,
// JSON Lines) and to an MQTT broker.

#include "AnswerOptions.h"
#include "CliWav.h"
#include "Commands.h"
#include "DeviceOptions.h"
#include "MqttOptions.h"
#include "ReopenRequests.h"
#include "ResultPrinter.h"
#include "StderrMessages.h"
#include "StopRequests.h"

#include "config/Utf8Path.h"
#include "poll/BrokerOptions.h"
#include "poll/Duration.h"
#include "poll/PollLoop.h"
#include "poll/RecordFile.h"
#include "poll/RequestQueue.h"

#ifdef QUELSOR_HAVE_MQTT
#include "poll/HaDiscovery.h"
#include "poll/MqttPublisher.h"
#endif

#ifdef QUELSOR_HAVE_SOUND
#include "SoundRequest.h"
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quelsor::cli {

namespace {

    const char kPollDescription[]
        = R"usage(Polls remote devices without the window: sends each listed request in turn
over the sound devices, as "Gén. DTMF" does, waits for its answer and
decodes it; a request that gets no answer is tried again after a pause. With
--every, the round starts again every DURATION. The capture is stopped
between requests. Without --request, with --mqtt, it sends only the requests
asked for over MQTT (below).

Each result is a record with the fields time (UTC, when the answer closed),
request, label, zone, name, raw, value, text and status: one record per
report line (status ok, or mismatch for an answer of the wrong length decoded
because of --debug), one record with status mismatch for an answer of the
wrong length, and one record with status timeout (no answer after all tries)
or error (the sound devices failed; its text says what failed) for a request
that gave nothing. The records of an answer end with its link quality: level
(mean filter output of its tones, the threshold's unit), level_db (dB over
the threshold), noise (between its characters) and snr (dB); a CSV file
begun without those columns keeps its nine.
)usage";

    const char kPollFooter[]
        = R"usage(A broker that refuses the login, or whose certificate is not trusted or not
made out to its host name, is said in one line and the poll ends at once
with status 2; one that cannot be reached is said and tried again in the
background.

A message on PREFIX/command (not retained) asks for a request: its payload
is a request item number, or a command sequence ("*5#"). The request is sent
as soon as the one in progress is finished, between rounds too; one that
names no item gives an error record. Without --request, poll sends only the
requests asked for, until it is stopped.

The sound devices are looked up again for every request: a sound failure (a
device unplugged, the sound server restarted) gives an error record for that
request, said on stderr, and the next request tries the devices afresh. An
--input or --output device that is absent fails the request the same way.

Files are written one whole line at a time and flushed to the disk; a record
that cannot be written is reported on stderr and written with the next ones.
SIGHUP closes the files and opens them again (after a log rotation has
renamed them): the next records go to new files of the same names.
Ctrl-C (SIGINT) and SIGTERM, or on Windows the closing of the console, end
the poll once the request in progress is finished; a summary line goes to
stderr. Exit status: 0 when the poll ran (answers or not), 2 for a usage
error, a configuration or file that cannot be opened, or a sound system that
cannot be used.
)usage";

#ifdef QUELSOR_HAVE_SOUND
    std::atomic<bool> gStopPoll { false };
    std::atomic<bool> gReopenFiles { false };

    // Reopens the files when a SIGHUP asked for it since the last look.
    void ReopenWhenAsked(const std::vector<std::unique_ptr<RecordFile>>& files)
    {
        if (!gReopenFiles.exchange(false))
            return;
        for (const auto& file : files) {
            std::string error;
            if (!file->Reopen(error))
                std::fprintf(stderr, "quelsor-cli poll: %s (%zu records wait)\n", error.c_str(),
                    file->Waiting());
        }
    }
#endif

    struct PollCommandOptions {
        AnswerOptions answer;
        DeviceOptions devices;
        PollOptions poll;
        std::string csv;
        std::string jsonl;
        MqttOptions mqtt;
    };

    // "0,2,1": request items from 0.
    bool ParseRequestList(const std::string& text, std::vector<int>& requests)
    {
        std::size_t start = 0;
        while (true) {
            const std::size_t comma = text.find(',', start);
            int request = 0;
            if (!ParseInteger(text.substr(start, comma - start), request) || request < 0)
                return false;
            requests.push_back(request);
            if (comma == std::string::npos)
                return true;
            start = comma + 1;
        }
    }

    // Declares poll's options in line and parses args: the exit status when the command is done
    // (help, usage error).
    std::optional<int> ParsePollArguments(
        CommandLine& line, const std::vector<std::string>& args, PollCommandOptions& options)
    {
        CLI::App& app = line.App();
        PollOptions& poll = options.poll;
        AddAnswerOptions(app, options.answer, nullptr);
        app.add_option_function<std::string>(
               "--request",
               [&poll](const std::string& list) { ParseRequestList(list, poll.requests); },
               "the request items to send each round, from 0 (required without --mqtt)")
            ->option_text("N[,N...]")
            ->check(Accepting(
                "request list", "request items from 0, separated by commas", [](std::string& list) {
                    std::vector<int> parsed;
                    return ParseRequestList(list, parsed);
                }));
        app.add_option_function<std::string>(
               "--every", [&poll](const std::string& text) { poll.every = *ParseDuration(text); },
               "start a round every DURATION: 30s, 10m, 1h (default: one round only)")
            ->option_text("DURATION")
            ->check(Accepting("duration", "30s, 10m, 1h",
                [](std::string& text) { return ParseDuration(text).has_value(); }));
        app.add_option("--count", poll.count,
               "stop after K rounds (default: 1 without --every, no limit with it)")
            ->option_text("K")
            ->transform(Decimal(1, INT_MAX, "count", "1 or more"));
        app.add_option_function<int>(
               "--timeout", [&poll](int seconds) { poll.timeout = std::chrono::seconds(seconds); },
               "seconds to wait for each answer (default 10)")
            ->option_text("S")
            ->transform(Decimal(1, INT_MAX, "time-out", "whole seconds, 1 or more"));
        app.add_option(
               "--retries", poll.retries, "further tries of a request without answer (default 2)")
            ->option_text("R")
            ->transform(Decimal(0, 100, "retries", "0 to 100"));
        app.add_option("--csv", options.csv,
               "append the records to FILE as CSV (a header line when the file is new or empty)")
            ->option_text("FILE");
        app.add_option("--jsonl", options.jsonl, "append the records to FILE as JSON Lines")
            ->option_text("FILE");
        AddReportOptions(app, options.answer, ": what stdout shows");
        AddDeviceOptions(app, options.devices, ", instead of FILE.ini's Entree (or the default)",
            ", instead of FILE.ini's Sortie");
        AddMqttOptions(app, options.mqtt);
        if (const auto done = line.Parse(args))
            return done;
        if (const std::string problem = MqttUsageProblem(options.mqtt); !problem.empty())
            return line.UsageError(problem);
        // Without --request, poll serves the requests asked for over MQTT.
        const bool haveRequest = !poll.requests.empty();
        if (!haveRequest && options.mqtt.broker.address.empty())
            return line.UsageError("missing --request N[,N...]");
        if (!haveRequest && (poll.every.count() > 0 || poll.count > 0))
            return line.UsageError("--every and --count need --request N[,N...]");
        return std::nullopt;
    }

} // namespace

int RunPoll(const std::vector<std::string>& args)
{
    CommandLine line("poll", kPollDescription, kPollFooter);
    PollCommandOptions options;
    if (const auto done = ParsePollArguments(line, args, options))
        return *done;
#if !defined(QUELSOR_HAVE_SOUND)
    std::fprintf(stderr, "quelsor-cli poll: built without sound support\n");
    return 2;
#else
    BrokerOptions broker;
    if (!options.mqtt.broker.address.empty()) {
        std::string error;
        if (!MakeBrokerOptions(
                options.mqtt.broker, std::getenv("QUELSOR_MQTT_PASSWORD"), broker, error)) {
            std::fprintf(stderr, "quelsor-cli poll: %s\n", error.c_str());
            return 2;
        }
#if !defined(QUELSOR_HAVE_MQTT)
        std::fprintf(stderr, "quelsor-cli poll: built without MQTT support (libmosquitto)\n");
        return 2;
#endif
    }
    StderrMessages messages;
    DecoderSession session([](const std::string&) {}, messages, options.answer.debug);
    ResultPrinter printer(options.answer.format);
    printer.UseCurrentTime(true);
    printer.AttachLog(session);
    if (!OpenDecoderSession("poll", session, options.answer.config, -1))
        return 2;
    const int items = static_cast<int>(session.Configuration().items.size());
    for (const int request : options.poll.requests) {
        if (request >= items) {
            std::fprintf(stderr,
                "quelsor-cli poll: request %d is not one of the %d request items of '%s'\n",
                request, items, options.answer.config.c_str());
            return 2;
        }
    }

    std::vector<std::unique_ptr<RecordFile>> files;
    if (!options.csv.empty())
        files.push_back(std::make_unique<RecordFile>(options.csv, RecordFormat::Csv));
    if (!options.jsonl.empty())
        files.push_back(std::make_unique<RecordFile>(options.jsonl, RecordFormat::Json));
    for (const auto& file : files) {
        std::string error;
        if (!file->Open(error)) {
            std::fprintf(stderr, "quelsor-cli poll: %s\n", error.c_str());
            return 2;
        }
    }

    RequestQueue demands;
#ifdef QUELSOR_HAVE_MQTT
    std::unique_ptr<MqttPublisher> mqtt;
    if (!broker.host.empty()) {
        mqtt = std::make_unique<MqttPublisher>(MqttPublisher::Options {
            broker.host, broker.port, options.mqtt.topic, {}, broker.login, broker.tls });
        if (options.mqtt.haDiscovery) {
            HaDiscoveryInput input;
            input.discoveryPrefix = *options.mqtt.haDiscovery;
            input.topicPrefix = mqtt->Prefix();
            input.deviceName = Utf8FromPath(PathFromUtf8(options.answer.config).stem());
            input.version = QUELSOR_VERSION;
            input.items = session.Configuration().items;
            input.sequences = &session.Sequences();
            input.sensorRequests = options.poll.requests;
            if (input.sensorRequests.empty()) {
                for (int k = 0; k < items; ++k)
                    input.sensorRequests.push_back(k);
            }
            mqtt->SetDiscovery(HaDiscoveryConfigs(input),
                SanitizeTopicPrefix(*options.mqtt.haDiscovery) + "/status");
        }
        // On the client's thread: the request is only queued; the loop sends it.
        const std::string commandTopic = mqtt->CommandTopic();
        mqtt->SetCommandHandler([&demands, &session, commandTopic](const std::string& payload) {
            const int item = FindRequestItem(payload, session.Configuration().items);
            if (item < 0)
                std::fprintf(stderr, "quelsor-cli poll: %s asks for no request item: '%s'\n",
                    commandTopic.c_str(), ValidUtf8(payload.substr(0, 64)).c_str());
            demands.Push(OnDemandRequest { item, payload });
        });
        std::string error;
        if (!mqtt->Start(error)) {
            std::fprintf(stderr, "quelsor-cli poll: %s\n", error.c_str());
            return 2;
        }
        // A refused login or an untrusted broker ends the poll here; a broker that is away is
        // only said, and tried again.
        const MqttPublisher::FirstContact contact
            = mqtt->WaitForFirstContact(std::chrono::seconds(10));
        if (contact.state == MqttPublisher::FirstContact::State::Refused
            || contact.state == MqttPublisher::FirstContact::State::Unreachable) {
            std::fprintf(stderr, "quelsor-cli poll: %s\n", contact.reason.c_str());
            std::fflush(stderr);
            if (contact.state == MqttPublisher::FirstContact::State::Refused)
                return 2;
        }
    }
#endif
    SoundRequest sound("poll", session, messages);
    if (!sound.Init())
        return 2;
    std::string inputId;
    std::string outputId;
    if (!ResolveDeviceOptions("poll", sound.Backend(), options.devices, inputId, outputId))
        return 2;
    sound.UseDeviceIds(inputId, outputId);
    CatchStopRequests(gStopPoll);
    CatchReopenRequests(gReopenFiles);

    PollLoop loop(
        sound, options.poll,
        [&](const ResultRecord& given) {
            ResultRecord record = given;
            if (!record.isoTime)
                record.isoTime = IsoUtcTime(std::chrono::system_clock::now());
            printer.Print(record);
            ReopenWhenAsked(files);
            for (const auto& file : files) {
                std::string error;
                if (!file->Append(record, error))
                    std::fprintf(stderr, "quelsor-cli poll: %s (%zu records wait)\n", error.c_str(),
                        file->Waiting());
            }
#ifdef QUELSOR_HAVE_MQTT
            if (mqtt)
                mqtt->Publish(record);
#endif
        },
        &demands);
    // Between requests the files are reopened as soon as asked, so that the old ones are let go.
    // The loop's own wait ends early when a request is asked for: so does this one.
    loop.SetWaiter([&files, inner = loop.GetWaiter()](
                       std::chrono::milliseconds duration, const std::atomic<bool>& stop) {
        using Clock = std::chrono::steady_clock;
        const auto end = Clock::now() + duration;
        for (auto now = Clock::now(); now < end && !stop; now = Clock::now()) {
            ReopenWhenAsked(files);
            const auto slice
                = std::min(std::chrono::duration_cast<std::chrono::milliseconds>(end - now),
                    std::chrono::milliseconds(100));
            inner(slice, stop);
            if (Clock::now() < now + slice - std::chrono::milliseconds(5))
                return; // woken by a request asked for
        }
    });
    const PollSummary summary = loop.Run(gStopPoll);
#ifdef QUELSOR_HAVE_MQTT
    if (mqtt && !mqtt->Drain(std::chrono::seconds(5)))
        std::fprintf(
            stderr, "quelsor-cli poll: %zu MQTT messages were not delivered\n", mqtt->Waiting());
#endif
    std::fprintf(stderr,
        "quelsor-cli poll: %d requests sent, %d answered, %d timed out, %d failed\n", summary.sent,
        summary.answered, summary.timedOut, summary.failed);
    return 0;
#endif
}

} // namespace quelsor::cli
