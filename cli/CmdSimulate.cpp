// quelsor-cli simulate: a remote device on the default sound devices. It listens for commands
// with the DTMF detector and answers each known one with its echo and its answer, as a real
// device does, so that the whole request cycle can be tried without hardware.

#include "Commands.h"

#include "CliWav.h"

#ifdef QUELSOR_HAVE_SOUND
#include "SoundApplication.h"

#include "common/ProcessExit.h"
#include "common/SampleFormat.h"
#include "device/QtSoundBackend.h"
#include "sim/DeviceListener.h"
#include "sim/ReplySignal.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <map>
#include <memory>
#endif

#include <cstdio>
#include <string>
#include <vector>

namespace quelsor::cli {

namespace {

    const char kSimulateUsage[]
        = R"usage(Usage: quelsor-cli simulate --answer COMMAND=ANSWER... [--no-echo] [--once]
                          [--level DBFS] [--threshold T]

Plays a remote device on the default sound input and output. It listens with
the DTMF detector; once a command it knows has been heard and the line has
been quiet for 300 ms, it stops listening and sends, as one transmission:
the echo of the command, 500 ms of silence and a closing tone pair of 8 ms,
then the answer, 500 ms of silence and the closing pair. Then it listens
again (what it heard while sending is dropped). An unknown command is logged
and ignored. What it hears and sends is logged on stderr.

Options:
  --answer COMMAND=ANSWER  answer ANSWER (DTMF characters) to COMMAND;
                           repeat for several commands (at least one)
  --no-echo                send only the answer, without the echo
  --once                   exit after the first answer sent
  --level DBFS             transmission level relative to the generator's
                           normal level, in dB (0 = as generated, -20 = 20 dB
                           lower; at most 0)
  --threshold T            threshold of the device's detector (default 20)
  -h, --help               show this help

Runs until interrupted (SIGINT, SIGTERM), then releases the devices and
exits with 0. Exit status 2 for a usage error or a sound device error.
)usage";

#ifdef QUELSOR_HAVE_SOUND

    // Quiet time after the last accepted character before a command is taken as complete.
    constexpr int kQuietBlocks = 300; // 1 ms blocks
    // Captured audio dropped after each start, so that the tail of our own transmission that the
    // link may still deliver is never taken for a command.
    constexpr int kSettleMs = 250;
    constexpr int kDefaultThreshold = 20;
    constexpr int kReplyDelayMs = 300;

    std::atomic<bool> gStop { false };

    extern "C" void OnStopSignal(int) { gStop = true; }

    void Log(const char* format, const std::string& text)
    {
        std::fprintf(stderr, "simulate: ");
        std::fprintf(stderr, format, text.c_str());
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }

    struct SimulateOptions {
        std::map<std::string, std::string> answers;
        bool echo = true;
        bool once = false;
        double levelDb = 0.0;
        int threshold = kDefaultThreshold;
    };

    bool UsageError(const std::string& message)
    {
        std::fprintf(stderr,
            "quelsor-cli simulate: %s\nRun 'quelsor-cli simulate --help' for usage.\n",
            message.c_str());
        return false;
    }

    bool ParseSimulateArguments(const std::vector<std::string>& args, SimulateOptions& options)
    {
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string& arg = args[i];
            if (arg == "--no-echo") {
                options.echo = false;
            } else if (arg == "--once") {
                options.once = true;
            } else if (arg == "--answer" || arg == "--level" || arg == "--threshold") {
                if (i + 1 >= args.size())
                    return UsageError(arg + " needs a value");
                const std::string& value = args[++i];
                if (arg == "--answer") {
                    const auto equals = value.find('=');
                    if (equals == std::string::npos || equals == 0)
                        return UsageError(
                            "invalid answer '" + value + "' (expected COMMAND=ANSWER)");
                    options.answers[value.substr(0, equals)] = value.substr(equals + 1);
                } else if (arg == "--threshold") {
                    if (!ParseInteger(value, options.threshold) || options.threshold < 0)
                        return UsageError("invalid threshold '" + value + "' (expected 0 or more)");
                } else {
                    try {
                        std::size_t used = 0;
                        options.levelDb = std::stod(value, &used);
                        if (used != value.size() || !(options.levelDb <= 0.0)
                            || options.levelDb < -120.0)
                            throw std::invalid_argument(value);
                    } catch (const std::exception&) {
                        return UsageError(
                            "invalid level '" + value + "' (expected dB from -120 to 0)");
                    }
                }
            } else {
                return UsageError("unknown option '" + arg + "'");
            }
        }
        if (options.answers.empty())
            return UsageError("missing --answer COMMAND=ANSWER");
        return true;
    }

    // One listening period on the default input: from the device's opening to a complete
    // command (returned) or a stop request (returns false).
    class Listener {
    public:
        Listener(QtSoundBackend& backend, int threshold)
            : backend_(backend)
            , ears_(threshold, kSettleMs * kSampleRate / 1000)
        {
        }
        ~Listener() { backend_.ReleaseCaptureDevice(); }

        // Opens the capture; false (after the message) on a device error.
        bool Open()
        {
            if (!backend_.OpenCaptureDevice()) {
                std::fprintf(stderr, "quelsor-cli simulate: no sound input device can be opened\n");
                return false;
            }
            event_ = std::make_shared<NotificationEvent>([this] { backend_.WakeWaiter(); });
            const DeviceResult result
                = backend_.CreateCaptureBuffer(CaptureFormat {}, kCaptureBufferBytes, buffer_);
            std::vector<std::uint32_t> offsets;
            for (std::uint32_t i = 0; i < kNotifyCount; ++i)
                offsets.push_back(kNotifySliceBytes * i + kNotifySliceBytes - 1);
            if (result != DeviceResult::Ok || !buffer_
                || !buffer_->SetNotificationPositions(offsets, event_)
                || !backend_.StartCaptureStream()) {
                std::fprintf(stderr,
                    "quelsor-cli simulate: the sound input cannot capture 16000 Hz mono 16-bit "
                    "audio\n");
                return false;
            }
            std::uint32_t capture = 0;
            std::uint32_t read = 0;
            buffer_->GetCurrentPosition(&capture, &read);
            ears_.StartReading(read);
            return true;
        }

        // Waits for a complete command; false when a stop was requested.
        bool Listen(std::string& command)
        {
            while (!gStop) {
                backend_.WaitForNotification(*event_);
                if (ears_.HearCaptured(*buffer_) != CaptureSliceReader::Result::Read)
                    continue;
                if (!announced_ && ears_.Settled()) {
                    // Said only once audio flows, so that whoever waits for it can send at once.
                    Log("%s", "listening");
                    announced_ = true;
                }
                if (ears_.TakeCommand(kQuietBlocks, command))
                    return true;
            }
            return false;
        }

    private:
        QtSoundBackend& backend_;
        DeviceListener ears_;
        std::shared_ptr<NotificationEvent> event_;
        std::shared_ptr<CaptureBuffer> buffer_;
        bool announced_ = false;
    };

    std::string Describe(const std::string& command, const std::string& answer, bool echo)
    {
        std::string text;
        if (echo)
            text = "echo " + command + ", ";
        return text + "answer " + answer;
    }

    // The device's life on the sound devices, until a stop request (or its one answer with
    // --once): the exit status.
    int Simulate(const SimulateOptions& options)
    {
        const SoundApplication application;
        std::signal(SIGINT, OnStopSignal);
        std::signal(SIGTERM, OnStopSignal);

        QtSoundBackend backend;
        if (backend.Load() != 0) {
            std::fprintf(stderr, "quelsor-cli simulate: the sound system cannot be used\n");
            return 2;
        }
        int status = 0;
        for (const auto& [command, answer] : options.answers)
            Log("answers %s", command + " with " + answer);
        while (!gStop) {
            std::string command;
            {
                Listener listener(backend, options.threshold);
                if (!listener.Open()) {
                    status = 2;
                    break;
                }
                if (!listener.Listen(command))
                    break;
            } // the input is closed while we send
            const auto known = options.answers.find(command);
            if (known == options.answers.end()) {
                Log("heard %s: unknown command, ignored", command);
                continue;
            }
            Log("heard %s", command);
            ReplyTiming timing;
            timing.answerDelayMs = kReplyDelayMs;
            std::vector<std::int16_t> reply
                = BuildReply(command, known->second, options.echo, timing);
            ScaleLevel(reply, options.levelDb);
            if (!backend.PlaySamples(reply, kSampleRate)) {
                std::fprintf(
                    stderr, "quelsor-cli simulate: the sound output cannot play the answer\n");
                status = 2;
                break;
            }
            Log("sent %s", Describe(command, known->second, options.echo));
            if (options.once)
                break;
        }
        backend.Unload();
        Log("%s", "stopped");
        return status;
    }

#endif // QUELSOR_HAVE_SOUND

} // namespace

int RunSimulate(const std::vector<std::string>& args)
{
    if (WantsHelp(args)) {
        std::fputs(kSimulateUsage, stdout);
        return 0;
    }
#ifndef QUELSOR_HAVE_SOUND
    std::fprintf(stderr, "quelsor-cli simulate: built without sound support\n");
    return 2;
#else
    SimulateOptions options;
    if (!ParseSimulateArguments(args, options))
        return 2;

    // See ProcessExit.h for why the process ends here.
    EndProcess(Simulate(options));
#endif
}

} // namespace quelsor::cli
