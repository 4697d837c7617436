// quelsor-cli poll: unattended status polling. Sends the listed requests in turn over the sound
// devices, again every period, and hands each result to stdout, to files that only grow (CSV,
// JSON Lines) and to an MQTT broker.

#include "AnswerOptions.h"
#include "CliWav.h"
#include "Commands.h"
#include "DeviceOptions.h"
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
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quelsor::cli {

namespace {

    const char kPollUsage[]
        = R"usage(Usage: quelsor-cli poll --config FILE.ini --request N[,N...] [--every DURATION]
                         [--count K] [--timeout S] [--retries R] [--csv FILE]
                         [--jsonl FILE] [--mqtt ADDRESS] [MQTT options]
                         [--format F] [--debug] [--input DEVICE] [--output DEVICE]
       quelsor-cli poll --config FILE.ini --mqtt ADDRESS [MQTT options] [...]

Polls remote devices without the window: sends each listed request in turn
over the sound devices, as "Gén. DTMF" does, waits for its answer and
decodes it; a request that gets no answer is tried again after a pause. With
--every, the round starts again every DURATION. The capture is stopped
between requests.

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

Options:
  --config FILE.ini   the configuration file (required)
  --request N[,N...]  the request items to send each round, from 0 (required
                      without --mqtt)
  --every DURATION    start a round every DURATION: 30s, 10m, 1h (default:
                      one round only)
  --count K           stop after K rounds (default: 1 without --every, no
                      limit with it)
  --timeout S         seconds to wait for each answer (default 10)
  --retries R         further tries of a request without answer (default 2)
  --csv FILE          append the records to FILE as CSV (a header line when
                      the file is new or empty)
  --jsonl FILE        append the records to FILE as JSON Lines
  --topic PREFIX      the MQTT topic prefix (default quelsor)
  --format F          what stdout shows: text (default: the log lines), json
                      or csv (the records)
  --debug             as if "Aff. Debug" were checked
  --input DEVICE      the sound input, instead of FILE.ini's Entree (or the
                      default): an id, a description or a part of one (see
                      quelsor-cli devices)
  --output DEVICE     the sound output, instead of FILE.ini's Sortie
  -h, --help          show this help

MQTT options:
  --mqtt ADDRESS      publish to the MQTT broker at ADDRESS: HOST[:PORT]
                      (port 1883), mqtt://HOST[:PORT], or mqtts://HOST[:PORT]
                      for TLS (port 8883): each zone's text on
                      PREFIX/REQUEST/NAME (retained), each record as JSON on
                      PREFIX/REQUEST/json, online/offline on PREFIX/status
                      (offline is the will); QoS 1; records wait while the
                      broker is away. Requests asked for on PREFIX/command
                      are sent too (below)
  --mqtt-user NAME    log in as NAME; the password is the first line of
                      --mqtt-password-file FILE, else the environment
                      variable QUELSOR_MQTT_PASSWORD (never an argument:
                      arguments are seen by every user of the machine)
  --mqtt-tls          TLS to the broker (port 8883 unless given), its
                      certificate checked against the system's CA
                      certificates, or --mqtt-cafile FILE / --mqtt-capath DIR
  --mqtt-cert FILE    a client certificate, with --mqtt-key FILE (not
                      encrypted)
  --ha-discovery [PREFIX]
                      publish Home Assistant discovery configs (retained)
                      under PREFIX (default homeassistant) at each connection
                      and whenever PREFIX/status says online: one device, a
                      sensor per zone of the polled requests (of all of them
                      without --request), a button per request item

A broker that refuses the login, or whose certificate is not trusted or not
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

    struct PollCommandOptions {
        AnswerOptions answer;
        DeviceOptions devices;
        PollOptions poll;
        std::string csv;
        std::string jsonl;
        std::string topic = "quelsor";
        BrokerArguments broker; // address empty: no MQTT
        std::optional<std::string> haDiscovery; // the discovery prefix, with --ha-discovery
    };

    bool PollUsageError(const std::string& message)
    {
        std::fprintf(stderr, "quelsor-cli poll: %s\nRun 'quelsor-cli poll --help' for usage.\n",
            message.c_str());
        return false;
    }

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

    // ---- MQTT options: the broker, its login and TLS, Home Assistant discovery ----------------
    // Takes them out of args; what they mean is worked out in poll/BrokerOptions.
    bool TakeMqttOptions(std::vector<std::string>& args, PollCommandOptions& options)
    {
        BrokerArguments& broker = options.broker;
        std::vector<std::string> rest;
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string& arg = args[i];
            if (arg == "--mqtt-tls") {
                broker.tls = true;
                continue;
            }
            if (arg == "--ha-discovery") {
                const bool prefixGiven
                    = i + 1 < args.size() && !args[i + 1].empty() && args[i + 1].front() != '-';
                options.haDiscovery = prefixGiven ? args[++i] : std::string("homeassistant");
                continue;
            }
            std::string* value = arg == "--mqtt" ? &broker.address
                : arg == "--mqtt-user"           ? &broker.user
                : arg == "--mqtt-password-file"  ? &broker.passwordFile
                : arg == "--mqtt-cafile"         ? &broker.cafile
                : arg == "--mqtt-capath"         ? &broker.capath
                : arg == "--mqtt-cert"           ? &broker.certFile
                : arg == "--mqtt-key"            ? &broker.keyFile
                                                 : nullptr;
            if (value == nullptr) {
                rest.push_back(arg);
                continue;
            }
            if (i + 1 >= args.size() || args[i + 1].empty())
                return PollUsageError(arg + " needs a value");
            *value = args[++i];
        }
        args = std::move(rest);
        const bool mqttOnly = !broker.user.empty() || !broker.passwordFile.empty() || broker.tls
            || !broker.cafile.empty() || !broker.capath.empty() || !broker.certFile.empty()
            || !broker.keyFile.empty() || options.haDiscovery;
        if (mqttOnly && broker.address.empty())
            return PollUsageError("the MQTT options need --mqtt ADDRESS");
        return true;
    }
    // ---- end of the MQTT options ------------------------------------------------------------

    // Takes the options of poll out of args; the rest goes to ParseAnswerArguments.
    bool ParsePollArguments(std::vector<std::string> args, PollCommandOptions& options)
    {
        if (!TakeDeviceOptions("poll", args, options.devices))
            return false;
        if (!TakeMqttOptions(args, options))
            return false;
        std::vector<std::string> rest;
        bool haveRequest = false;
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string& arg = args[i];
            const bool takesValue = arg == "--request" || arg == "--every" || arg == "--count"
                || arg == "--timeout" || arg == "--retries" || arg == "--csv" || arg == "--jsonl"
                || arg == "--topic";
            if (!takesValue) {
                rest.push_back(arg);
                continue;
            }
            if (i + 1 >= args.size())
                return PollUsageError(arg + " needs a value");
            const std::string& value = args[++i];
            int number = 0;
            if (arg == "--request") {
                if (!ParseRequestList(value, options.poll.requests))
                    return PollUsageError("invalid request list '" + value
                        + "' (expected request items from 0, separated by commas)");
                haveRequest = true;
            } else if (arg == "--every") {
                const auto every = ParseDuration(value);
                if (!every)
                    return PollUsageError(
                        "invalid duration '" + value + "' (expected 30s, 10m, 1h)");
                options.poll.every = *every;
            } else if (arg == "--count") {
                if (!ParseInteger(value, number) || number <= 0)
                    return PollUsageError("invalid count '" + value + "' (expected 1 or more)");
                options.poll.count = number;
            } else if (arg == "--timeout") {
                if (!ParseInteger(value, number) || number <= 0)
                    return PollUsageError(
                        "invalid time-out '" + value + "' (expected whole seconds, 1 or more)");
                options.poll.timeout = std::chrono::seconds(number);
            } else if (arg == "--retries") {
                if (!ParseInteger(value, number) || number < 0 || number > 100)
                    return PollUsageError("invalid retries '" + value + "' (expected 0 to 100)");
                options.poll.retries = number;
            } else if (arg == "--csv") {
                options.csv = value;
            } else if (arg == "--jsonl") {
                options.jsonl = value;
            } else if (arg == "--topic") {
                if (value.empty())
                    return PollUsageError("empty topic prefix");
                options.topic = value;
            }
        }
        rest.push_back("--request");
        rest.push_back("-1");
        if (!ParseAnswerArguments("poll", rest, false, options.answer))
            return false;
        // Without --request, poll serves the requests asked for over MQTT.
        if (!haveRequest && options.broker.address.empty())
            return PollUsageError("missing --request N[,N...]");
        if (!haveRequest && (options.poll.every.count() > 0 || options.poll.count > 0))
            return PollUsageError("--every and --count need --request N[,N...]");
        if (!options.answer.positional.empty())
            return PollUsageError(
                "unexpected argument '" + options.answer.positional.front() + "'");
        return true;
    }

} // namespace

int RunPoll(const std::vector<std::string>& args)
{
    if (WantsHelp(args)) {
        std::fputs(kPollUsage, stdout);
        return 0;
    }
    PollCommandOptions options;
    if (!ParsePollArguments(args, options))
        return 2;
#if !defined(QUELSOR_HAVE_SOUND)
    std::fprintf(stderr, "quelsor-cli poll: built without sound support\n");
    return 2;
#else
    BrokerOptions broker;
    if (!options.broker.address.empty()) {
        std::string error;
        if (!MakeBrokerOptions(
                options.broker, std::getenv("QUELSOR_MQTT_PASSWORD"), broker, error)) {
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
            broker.host, broker.port, options.topic, {}, broker.login, broker.tls });
        if (options.haDiscovery) {
            HaDiscoveryInput input;
            input.discoveryPrefix = *options.haDiscovery;
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
            mqtt->SetDiscovery(
                HaDiscoveryConfigs(input), SanitizeTopicPrefix(*options.haDiscovery) + "/status");
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
