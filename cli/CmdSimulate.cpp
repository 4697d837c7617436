// quelsor-cli simulate: a remote device on the sound devices. It listens for commands
// with the DTMF detector and answers each known one with its echo and its answer, as a real
// device does, so that the whole request cycle can be tried without hardware.

#include "Commands.h"
#include "DeviceOptions.h"
#include "StopRequests.h"

#ifdef QUELSOR_HAVE_SOUND
#include "SoundApplication.h"

#include "common/SampleFormat.h"
#include "device/NewSoundBackend.h"
#include "sim/DeviceListener.h"
#include "sim/ReplySignal.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#endif

#include <climits>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quelsor::cli {

namespace {

    const char kSimulateDescription[]
        = R"usage(Plays a remote device on the sound input and output. It listens with
the DTMF detector; once a command it knows has been heard and the line has
been quiet for 300 ms, it stops listening and sends, as one transmission:
the echo of the command, 500 ms of silence and a closing tone pair of 8 ms,
then the answer, 500 ms of silence and the closing pair. Then it listens
again (what it heard while sending is dropped). An unknown command is logged
and ignored. What it hears and sends is logged on stderr.
)usage";

    const char kSimulateFooter[]
        = R"usage("simulate: listening" is said each time audio flows from the input. When the
input or the sound server goes away, it says "simulate: input lost,
retrying", tries again about every second, and says "simulate: listening"
again once audio flows. An answer that cannot be played is said and dropped.

Runs until interrupted (Ctrl-C, SIGTERM), then releases the devices and
exits with 0. Exit status 2 for a usage error, or for sound devices that
cannot be used at start.
)usage";

    struct SimulateOptions {
        std::map<std::string, std::string> answers;
        bool echo = true;
        bool once = false;
        double levelDb = 0.0;
        int threshold = 20; // of the device's detector
        DeviceOptions devices;
    };

    // A level in dB from -120 to 0.
    bool IsLevel(const std::string& text)
    {
        try {
            std::size_t used = 0;
            const double level = std::stod(text, &used);
            return used == text.size() && level <= 0.0 && level >= -120.0;
        } catch (const std::exception&) {
            return false;
        }
    }

    // Declares the options in line and parses args: the exit status when the command is done
    // (help, usage error).
    std::optional<int> ParseSimulateArguments(
        CommandLine& line, const std::vector<std::string>& args, SimulateOptions& options)
    {
        CLI::App& app = line.App();
        std::vector<std::string> answers;
        app.add_option("--answer", answers,
               "answer ANSWER (DTMF characters) to COMMAND; repeat for several commands")
            ->option_text("COMMAND=ANSWER")
            ->required()
            ->allow_extra_args(false) // one COMMAND=ANSWER each time
            ->check(Accepting("answer", "COMMAND=ANSWER", [](std::string& text) {
                const auto equals = text.find('=');
                return equals != std::string::npos && equals != 0;
            }));
        app.add_flag_callback(
            "--no-echo", [&options] { options.echo = false; },
            "send only the answer, without the echo");
        app.add_flag("--once", options.once, "exit after the first answer sent");
        app.add_option("--level", options.levelDb,
               "transmission level relative to the generator's normal level, in dB (0 = as "
               "generated, -20 = 20 dB lower; at most 0)")
            ->option_text("DBFS")
            ->check(Accepting("level", "dB from -120 to 0", IsLevel));
        app.add_option(
               "--threshold", options.threshold, "threshold of the device's detector (default 20)")
            ->option_text("T")
            ->transform(Decimal(0, INT_MAX, "threshold", "0 or more"));
        AddDeviceOptions(app, options.devices,
            " to listen on (default: the system's default input)", " to answer on");
        if (const auto done = line.Parse(args))
            return done;
        for (const std::string& answer : answers) {
            const auto equals = answer.find('=');
            options.answers[answer.substr(0, equals)] = answer.substr(equals + 1);
        }
        return std::nullopt;
    }

#ifdef QUELSOR_HAVE_SOUND

    // Quiet time after the last accepted character before a command is taken as complete.
    constexpr int kQuietBlocks = 300; // 1 ms blocks
    // Captured audio dropped after each start, so that the tail of our own transmission that the
    // link may still deliver is never taken for a command.
    constexpr int kSettleMs = 250;
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
    CommandLine line("simulate", kSimulateDescription, kSimulateFooter);
    SimulateOptions options;
    if (const auto done = ParseSimulateArguments(line, args, options))
        return *done;
#ifndef QUELSOR_HAVE_SOUND
    std::fprintf(stderr, "quelsor-cli simulate: built without sound support\n");
    return 2;
#else
    return Simulate(options);
#endif
}

} // namespace quelsor::cli
