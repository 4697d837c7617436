// The window with the platform's sound backend on a real sound server. The remote device is pacat
// playing the reply a device gives (echo, answer, each closed by silence and a short tone pair)
// into the default sink as soon as the window listens, or quelsor-cli simulate; over the virtual
// link the window's capture hears it through the sink's monitor. The Windows build (WASAPI, under
// Wine on the same kind of server) has the simulate tests only.

#include "app/MainForm.h"
#include "audio/DtmfDetector.h"
#include "device/NewSoundBackend.h"
#include "sound/SoundLayer.h"
#include "tests/support/SimulatedLink.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace quelsor {
namespace {

    class RecordingMessages : public IOperatorMessages {
    public:
        std::vector<std::string> texts;
        void ShowMessage(const std::string& text) override { texts.push_back(text); }
    };

    // Why the real link cannot be used here, or empty when it can.
    std::string LinkMissing()
    {
#ifndef _WIN32
        if (QStandardPaths::findExecutable(QStringLiteral("pacat")).isEmpty())
            return "pacat is not installed (apt-get install pulseaudio-utils)";
        QProcess pactl;
        pactl.setStandardOutputFile(QProcess::nullDevice());
        pactl.setStandardErrorFile(QProcess::nullDevice());
        pactl.start(QStringLiteral("pactl"), { QStringLiteral("info") });
        if (!pactl.waitForFinished(5000) || pactl.exitStatus() != QProcess::NormalExit
            || pactl.exitCode() != 0)
            return "no sound server answers (start one with scripts/virtual-link.sh start)";
#endif
        const auto backend = NewSoundBackend();
        std::vector<SoundDevice> devices;
        std::string error;
        if (backend->Load() != 0 || !backend->ListDevices(devices, error))
            return "the sound devices cannot be listed: " + error;
        const auto hasDefault = [&](bool input) {
            return std::any_of(devices.begin(), devices.end(),
                [input](const SoundDevice& d) { return d.input == input && d.isDefault; });
        };
        if (!hasDefault(true) || !hasDefault(false))
            return "the sound server has no default input or output";
        return {};
    }

#define REQUIRE_SOUND_LINK()                                                                       \
    do {                                                                                           \
        const std::string missing = LinkMissing();                                                 \
        if (!missing.empty()) {                                                                    \
            if (qgetenv("CI") == "true")                                                           \
                FAIL() << missing;                                                                 \
            GTEST_SKIP() << missing;                                                               \
        }                                                                                          \
    } while (false)

// The tests whose device is pacat run on Linux only (under Wine it would be the Linux pacat on
// the same server: nothing the simulate tests do not check already).
#ifdef _WIN32
#define REQUIRE_PACAT() GTEST_SKIP() << "the device is played by pacat on Linux only"
#else
#define REQUIRE_PACAT() REQUIRE_SOUND_LINK()
#endif

    // CPU time (user + system) of this process so far, in seconds.
    double ProcessCpuSeconds()
    {
#ifdef _WIN32
        FILETIME created, exited, kernel, user;
        if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
            return -1.0;
        const auto ticks = [](const FILETIME& t) {
            return static_cast<double>(
                (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
        };
        return (ticks(kernel) + ticks(user)) / 1e7; // 100 ns ticks
#else
        std::ifstream stat("/proc/self/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const auto close = text.rfind(')');
        if (close == std::string::npos)
            return -1.0;
        std::istringstream fields(text.substr(close + 2));
        std::string field;
        unsigned long long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14)
                utime = std::stoull(field);
            if (i == 15)
                stime = std::stoull(field);
        }
        return static_cast<double>(utime + stime) / 100.0; // USER_HZ on Linux
#endif
    }

    class RealLinkWindowTest : public ::testing::Test {
    protected:
        void SetUp() override
        {
            ASSERT_TRUE(dir.isValid());
            sound.SetStopDelay(0);
        }
        void TearDown() override
        {
            if (device.state() != QProcess::NotRunning) {
                device.kill();
                device.waitForFinished(2000);
            }
            window.reset();
        }

        std::string IniPath() const
        {
            return dir.filePath(QStringLiteral("quelsor.ini")).toStdString();
        }
        void CopySampleIni()
        {
            ASSERT_TRUE(
                QFile::copy(QStringLiteral(QUELSOR_SAMPLE_INI), QString::fromStdString(IniPath())));
        }
        void Open()
        {
            MainFormSetup setup;
            setup.messages = &messages;
            setup.backend = backend.get();
            setup.sound = &sound;
            setup.iniPath = IniPath();
            window = std::make_unique<TfrmMain>(setup);
            window->show();
            QCoreApplication::processEvents();
        }
        std::vector<std::string> Log() const
        {
            std::vector<std::string> lines;
            for (const QString& line : window->logLines())
                lines.push_back(line.toStdString());
            return lines;
        }
        int LogCount(const std::string& line) const
        {
            const auto log = Log();
            return static_cast<int>(std::count(log.begin(), log.end(), line));
        }

        // The reply of a device answering command with answer, gain applied, as raw 16-bit
        // 16 kHz mono samples for pacat. Without echo the device answers at once.
        QByteArray Reply(
            const std::string& command, const std::string& answer, double gain, bool echo = true)
        {
            testing::SimulatedLink link;
            link.config().echo = echo;
            link.config().answers[command] = answer;
            link.config().answerDelayMs = 200;
            auto samples = link.ReplyFor(command);
            QByteArray raw;
            raw.reserve(static_cast<qsizetype>(samples.size() * 2));
            for (auto s : samples) {
                const auto v = static_cast<std::int16_t>(std::lround(s * gain));
                raw.append(static_cast<char>(v & 0xff));
                raw.append(static_cast<char>((v >> 8) & 0xff));
            }
            return raw;
        }
        // Seconds of audio after the last tone of the answer: its closing silence and pair and
        // the trailing silence of the reply.
        static double AfterLastTone()
        {
            const testing::SimulatedLinkConfig c;
            return (c.closingSilenceMs + c.closingPairMs + 50) / 1000.0;
        }
        void StartDevice(const QByteArray& reply)
        {
            // pacat reads the reply from a file, so it never waits for this process to feed it,
            // and keeps a second of it in the server: on a busy machine a shorter buffer (40 ms,
            // even 200 ms) runs dry now and then, and the silence the server plays instead
            // splits a tone in two (a recording of the sink's monitor shows the same split).
            const QString file = dir.filePath(QStringLiteral("reply.raw"));
            QFile raw(file);
            ASSERT_TRUE(raw.open(QIODevice::WriteOnly | QIODevice::Truncate));
            ASSERT_EQ(raw.write(reply), reply.size());
            raw.close();
            device.setProgram(QStringLiteral("pacat"));
            device.setArguments({ QStringLiteral("--playback"), QStringLiteral("--raw"),
                QStringLiteral("--rate=16000"), QStringLiteral("--channels=1"),
                QStringLiteral("--format=s16le"), QStringLiteral("--latency-msec=1000"), file });
            device.setStandardInputFile(QProcess::nullDevice());
            device.start();
            ASSERT_TRUE(device.waitForStarted(3000));
        }

        // Clicks "Gén. DTMF" for the selected request; once the window listens the device
        // answers; when the last report line is logged, "Fin Capture". Returns the seconds
        // from the end of the answer's last tone (pacat has drained) to that line, or nothing
        // when the line is not logged within 20 s. (On a machine so busy that pacat ends late,
        // the figure can come out below the closing silence, even negative.)
        std::optional<double> Request(
            const QByteArray& reply, const std::string& lastLine, int times = 1)
        {
            return Request(&reply, lastLine, times);
        }
        // The same with the device answering by itself (reply null): 0 once the line is logged.
        std::optional<double> Request(
            const QByteArray* reply, const std::string& lastLine, int times = 1)
        {
            QElapsedTimer clock;
            clock.start();
            bool started = false;
            qint64 deviceDone = -1;
            qint64 logged = -1;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                if (!window->capturing())
                    return;
                if (!started) {
                    started = true;
                    if (reply != nullptr)
                        StartDevice(*reply);
                    else
                        deviceDone = 0;
                }
                if (deviceDone < 0 && device.state() == QProcess::NotRunning)
                    deviceDone = clock.elapsed();
                if (logged < 0 && LogCount(lastLine) >= times)
                    logged = clock.elapsed();
                if ((logged >= 0 && deviceDone >= 0) || clock.elapsed() > 20000) {
                    poll.stop();
                    QTimer::singleShot(0, window.get(), [this] { window->cmdStopCap->click(); });
                }
            });
            poll.start(2);
            window->cmdPlay->click();
            poll.stop();
            if (logged < 0 || deviceDone < 0) {
                std::printf("the log:\n%s\n", window->logLines().join('\n').toUtf8().constData());
                return std::nullopt;
            }
            if (reply == nullptr)
                return 0.0;
            return (static_cast<double>(logged - deviceDone)) / 1000.0 + AfterLastTone();
        }

        QTemporaryDir dir;
        std::unique_ptr<ISoundBackend> backend = NewSoundBackend();
        SoundLayer sound;
        RecordingMessages messages;
        std::unique_ptr<TfrmMain> window;
        QProcess device;
    };

    const std::vector<std::string> kWorkedExampleReport { "78D1CA1C# (9)", "", "78D1CA1C#",
        "Attendus:9  Reçus:9 ", "78 01 fd 1f ??", "Tension 12.000 ", "Moteur 1=Marche" };

    // The report lines appear in the log in this order (other lines may come between).
    void ExpectReportInLog(const std::vector<std::string>& log)
    {
        auto at = log.begin();
        for (const auto& line : kWorkedExampleReport) {
            at = std::find(at, log.end(), line);
            ASSERT_NE(at, log.end()) << "missing or out of order: \"" << line << "\"";
            ++at;
        }
        const bool paramLine = std::any_of(log.begin(), log.end(),
            [](const std::string& l) { return l.rfind("Param 0 reçus", 0) == 0; });
        EXPECT_TRUE(paramLine);
    }

    TEST_F(RealLinkWindowTest, WorkedExampleAnsweredOverTheLink)
    {
        REQUIRE_PACAT();
        CopySampleIni();
        Open();
        ASSERT_EQ(window->selectedSequenceItem(), 0);
        const auto latency = Request(Reply("1234", "78D1CA1C#", 1.0), "Moteur 1=Marche");
        EXPECT_TRUE(latency) << "no report within 20 s";
        ExpectReportInLog(Log());
        EXPECT_FALSE(window->capturing());
        EXPECT_TRUE(messages.texts.empty());
        std::printf("[ measure  ] end of last tone to report line: %.3f s\n", latency.value_or(-1));
    }

#ifdef QUELSOR_CLI
    // The device is quelsor-cli simulate, answering the request it hears: started here, or one
    // already listening when QUELSOR_DEVICE_LISTENING is set (a Linux simulate beside the Windows
    // build under Wine, which can start a Linux program but neither follow nor end it).
    TEST_F(RealLinkWindowTest, WorkedExampleAnsweredBySimulate)
    {
        REQUIRE_SOUND_LINK();
        CopySampleIni();
        Open();
        const bool listening = qEnvironmentVariableIsSet("QUELSOR_DEVICE_LISTENING");
        QByteArray said;
        if (!listening) {
            device.setProgram(QStringLiteral(QUELSOR_CLI));
            device.setArguments({ QStringLiteral("simulate"), QStringLiteral("--answer"),
                QStringLiteral("1234=78D1CA1C#"), QStringLiteral("--once") });
            device.setStandardOutputFile(QProcess::nullDevice());
            device.setReadChannel(QProcess::StandardError);
            device.start();
            ASSERT_TRUE(device.waitForStarted(3000));
            // It says so once its capture delivers audio; a command sent before would be cut.
            while (!said.contains("simulate: listening")) {
                ASSERT_TRUE(device.waitForReadyRead(10000))
                    << "simulate does not listen: " << said.toStdString();
                said += device.readAllStandardError();
            }
        }
        EXPECT_TRUE(Request(nullptr, "Moteur 1=Marche"))
            << "no report within 20 s; simulate said: "
            << (said + device.readAllStandardError()).toStdString();
        ExpectReportInLog(Log());
        EXPECT_TRUE(messages.texts.empty());
        if (listening)
            return;
        // --once: it ends by itself after its answer.
        // (It may have ended already, while the window was listening.)
        EXPECT_TRUE(device.state() == QProcess::NotRunning || device.waitForFinished(5000));
        EXPECT_EQ(device.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(device.exitCode(), 0);
    }

    // quelsor-cli request with nobody answering ends by its time-out, exit status 1, and says so.
    TEST_F(RealLinkWindowTest, RequestNobodyAnswersTimesOut)
    {
        REQUIRE_SOUND_LINK();
        CopySampleIni();
        QProcess request;
        request.setWorkingDirectory(dir.path());
        request.start(QStringLiteral(QUELSOR_CLI),
            { QStringLiteral("request"), QStringLiteral("--config"),
                QString::fromStdString(IniPath()), QStringLiteral("--request"), QStringLiteral("0"),
                QStringLiteral("--timeout"), QStringLiteral("2") });
        ASSERT_TRUE(request.waitForFinished(20000)) << "request did not end";
        EXPECT_EQ(request.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(request.exitCode(), 1);
        EXPECT_FALSE(request.readAllStandardError().trimmed().isEmpty()) << "no message";
    }
#endif

    TEST_F(RealLinkWindowTest, AnswerTwentyDecibelsLowerDecodedAtTheSampleThreshold)
    {
        REQUIRE_PACAT();
        CopySampleIni();
        Open();
        ASSERT_EQ(window->selectedSequenceItem(), 0);
        EXPECT_TRUE(Request(Reply("1234", "78D1CA1C#", 0.1), "Moteur 1=Marche"))
            << "no report within 20 s";
        ExpectReportInLog(Log());
    }

    // Requests one after the other in one window, each decoded: 8 by default (about 40 s);
    // QUELSOR_LINK_REQUESTS=20 gives the delay figures over more of them.
    TEST_F(RealLinkWindowTest, RequestsInARowAllDecoded)
    {
        REQUIRE_PACAT();
        CopySampleIni();
        Open();
        const int requests = qEnvironmentVariableIsSet("QUELSOR_LINK_REQUESTS")
            ? std::max(2, qEnvironmentVariableIntValue("QUELSOR_LINK_REQUESTS"))
            : 8;
        // Without the echo, to keep the run short: the answer alone is what is decoded.
        const QByteArray reply = Reply("1234", "78D1CA1C#", 1.0, false);
        std::vector<double> latencies;
        for (int i = 1; i <= requests; ++i) {
            const auto latency = Request(reply, "Moteur 1=Marche", i);
            ASSERT_TRUE(latency) << "request " << i << " not decoded";
            latencies.push_back(*latency);
        }
        EXPECT_EQ(LogCount("Attendus:9  Reçus:9 "), requests);
        std::sort(latencies.begin(), latencies.end());
        std::printf("[ measure  ] %d requests, end of last tone to report line: min %.3f s, "
                    "median %.3f s, max %.3f s\n",
            requests, latencies.front(), latencies[latencies.size() / 2], latencies.back());
    }

    // The figure is printed for the record (about 2 % of a core on an idle machine); the bound
    // only catches a loop that polls instead of waiting, which would take a whole core. A tight
    // bound would fail whenever other tests load the machine.
    TEST_F(RealLinkWindowTest, ListeningCostsLittleProcessor)
    {
        REQUIRE_SOUND_LINK();
        CopySampleIni();
        Open();
        QElapsedTimer clock;
        double cpuStart = 0;
        double cpu = 0;
        double wall = 0;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!window->capturing())
                return;
            if (!clock.isValid()) {
                clock.start();
                cpuStart = ProcessCpuSeconds();
            } else if (clock.elapsed() >= 10000) {
                cpu = ProcessCpuSeconds() - cpuStart;
                wall = static_cast<double>(clock.elapsed()) / 1000.0;
                poll.stop();
                QTimer::singleShot(0, window.get(), [this] { window->cmdStopCap->click(); });
            }
        });
        poll.start(100);
        window->cmdStartCap->click();
        ASSERT_GT(wall, 0.0);
        const double percent = 100.0 * cpu / wall;
        std::printf("[ measure  ] listening: %.2f s of CPU over %.2f s = %.1f %% of one core\n",
            cpu, wall, percent);
        EXPECT_LT(percent, 25.0);
    }

    TEST_F(RealLinkWindowTest, NoDeviceAnsweringLeavesTheWindowListeningUntilStopped)
    {
        REQUIRE_SOUND_LINK();
        CopySampleIni();
        Open();
        QElapsedTimer clock;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!window->capturing())
                return;
            if (!clock.isValid())
                clock.start();
            else if (clock.elapsed() >= 3000) {
                poll.stop();
                QTimer::singleShot(0, window.get(), [this] { window->cmdStopCap->click(); });
            }
        });
        poll.start(10);
        window->cmdPlay->click();
        EXPECT_FALSE(window->capturing());
        EXPECT_EQ(LogCount("Attendus:9  Reçus:9 "), 0);
        EXPECT_TRUE(messages.texts.empty());
    }

} // namespace
} // namespace quelsor
