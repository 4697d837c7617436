// quelsor-cli simulate: a remote device on the sound devices. It listens for commands
// with the DTMF detector and answers each known one with its echo and its answer, as a real
// device does, so that the whole request cycle can be tried without hardware.

#include "Commands.h"
#include "DeviceOptions.h"
#include "StopRequests.h"

#include "CliWav.h"

#ifdef QUELSOR_HAVE_SOUND
#include "SoundApplication.h"

#include "common/SampleFormat.h"
#include "device/NewSoundBackend.h"
#include "sim/DeviceListener.h"
#include "sim/ReplySignal.h"

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <thread>
#endif

#include <cstdio>
#include <string>
#include <vector>

namespace quelsor::cli {

namespace {

    const char kSimulateUsage[]
        = R"usage(Usage: quelsor-cli simulate --answer COMMAND=ANSWER... [--no-echo] [--once]
                          [--level DBFS] [--threshold T] [--input DEVICE]
                          [--output DEVICE]

Plays a remote device on the sound input and output. It listens with
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
  --input DEVICE           the sound input to listen on (default: the
                           system's default input): a device's id or
                           description, or a part of its description (see
                           quelsor-cli devices)
  --output DEVICE          the sound output to answer on
  -h, --help               show this help

"simulate: listening" is said each time audio flows from the input. When the
input or the sound server goes away, it says "simulate: input lost,
retrying", tries again about every second, and says "simulate: listening"
again once audio flows. An answer that cannot be played is said and dropped.

Runs until interrupted (Ctrl-C, SIGTERM), then releases the devices and
exits with 0. Exit status 2 for a usage error, or for sound devices that
cannot be used at start.
)usage";

#ifdef QUELSOR_HAVE_SOUND

    // Quiet time after the last accepted character before a command is taken as complete.
    constexpr int kQuietBlocks = 300; // 1 ms blocks
    // Captured audio dropped after each start, so that the tail of our own transmission that the
    // link may still deliver is never taken for a command.
    constexpr int kSettleMs = 250;
    constexpr int kDefaultThreshold = 20;
    constexpr int kReplyDelayMs = 300;
    // Pause before the input is tried again after it was lost.
    constexpr auto kRetryPause = std::chrono::seconds(1);

    std::atomic<bool> gStop { false };

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
        DeviceOptions devices;
    };

    bool UsageError(const std::string& message)
    {
        std::fprintf(stderr,
            "quelsor-cli simulate: %s\nRun 'quelsor-cli simulate --help' for usage.\n",
            message.c_str());
        return false;
    }

    bool ParseSimulateArguments(std::vector<std::string> args, SimulateOptions& options)
    {
        if (!TakeDeviceOptions("simulate", args, options.devices))
            return false;
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
            } else if (arg.size() > 1 && arg[0] == '-') {
                return UsageError("unknown option '" + arg + "'");
            } else {
                return UsageError("unexpected argument '" + arg + "'");
            }
        }
        if (options.answers.empty())
            return UsageError("missing --answer COMMAND=ANSWER");
        return true;
    }

    // How a listening period ended.
    enum class Heard {
        Command, // a complete command
        Stopped, // a stop request
        Lost, // the input or the sound server went away
    };

    // One listening period on the input: from the device's opening to a complete command, a
    // stop request or the loss of the input.
    class Listener {
    public:
        Listener(ISoundBackend& backend, int threshold)
            : backend_(backend)
            , ears_(threshold, kSettleMs * kSampleRate / 1000)
        {
        }
        ~Listener() { backend_.ReleaseCaptureDevice(); }

        // Opens the capture; false on a device error, said on stderr unless quiet.
        bool Open(bool quiet)
        {
            if (!backend_.OpenCaptureDevice()) {
                if (!quiet)
                    std::fprintf(
                        stderr, "quelsor-cli simulate: no sound input device can be opened\n");
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
                if (!quiet)
                    std::fprintf(stderr,
                        "quelsor-cli simulate: the sound input cannot capture 16000 Hz mono "
                        "16-bit audio\n");
                return false;
            }
            std::uint32_t capture = 0;
            std::uint32_t read = 0;
            buffer_->GetCurrentPosition(&capture, &read);
            ears_.StartReading(read);
            return true;
        }

        // Waits for a complete command, a stop request or the loss of the input.
        Heard Listen(std::string& command)
        {
            while (!gStop) {
                backend_.WaitForNotification(*event_);
                const CaptureSliceReader::Result read = ears_.HearCaptured(*buffer_);
                if (read == CaptureSliceReader::Result::Failed)
                    return Heard::Lost;
                if (read != CaptureSliceReader::Result::Read)
                    continue;
                if (!announced_ && ears_.Settled()) {
                    // Said only once audio flows, so that whoever waits for it can send at once.
                    Log("%s", "listening");
                    announced_ = true;
                }
                if (ears_.TakeCommand(kQuietBlocks, command))
                    return Heard::Command;
            }
            return Heard::Stopped;
        }

        // Whether audio has flowed ("listening" was said).
        bool Announced() const { return announced_; }

    private:
        ISoundBackend& backend_;
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

    // Sleeps `duration`, or less when a stop is requested.
    void PauseUnlessStopped(std::chrono::milliseconds duration)
    {
        const auto end = std::chrono::steady_clock::now() + duration;
        while (!gStop && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }

    // The device's life on the sound devices, until a stop request (or its one answer with
    // --once): the exit status. A lost input is tried again until it comes back.
    int Simulate(const SimulateOptions& options)
    {
        const SoundApplication application;
        CatchStopRequests(gStop);

        const auto backend = NewSoundBackend(SoundWaits::CommandLine);
        if (backend->Load() != 0) {
            std::fprintf(stderr, "quelsor-cli simulate: the sound system cannot be used\n");
            return 2;
        }
        std::string inputId;
        std::string outputId;
        if (!ResolveDeviceOptions("simulate", *backend, options.devices, inputId, outputId)) {
            backend->Unload();
            return 2;
        }
        backend->SetInputDevice(inputId);
        backend->SetOutputDevice(outputId);
        int status = 0;
        for (const auto& [command, answer] : options.answers)
            Log("answers %s", command + " with " + answer);
        bool started = false; // the input has been opened once
        bool retrying = false; // the loss has been said; retry quietly until audio flows again
        while (!gStop) {
            if (retrying) {
                PauseUnlessStopped(kRetryPause);
                if (gStop)
                    break;
            }
            std::string command;
            {
                Listener listener(*backend, options.threshold);
                if (!listener.Open(started)) {
                    if (!started) {
                        status = 2;
                        break;
                    }
                    if (!retrying)
                        Log("%s", "input lost, retrying");
                    retrying = true;
                    continue;
                }
                started = true;
                const Heard heard = listener.Listen(command);
                if (listener.Announced())
                    retrying = false;
                if (heard == Heard::Stopped)
                    break;
                if (heard == Heard::Lost) {
                    if (!retrying)
                        Log("%s", "input lost, retrying");
                    retrying = true;
                    continue; // the input is released before the pause
                }
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
            if (!backend->PlaySamples(reply, kSampleRate)) {
                Log("output lost, answer to %s not sent", command);
                continue;
            }
            Log("sent %s", Describe(command, known->second, options.echo));
            if (options.once)
                break;
        }
        backend->Unload();
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

    return Simulate(options);
#endif
}

} // namespace quelsor::cli
