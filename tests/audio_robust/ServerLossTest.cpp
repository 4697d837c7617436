// The window over a private PulseAudio server of the test's own (two links, the defaults on the
// second), answered by quelsor-cli simulate: the server killed in the middle of a capture and
// started again on the same socket, in one window process; and the devices chosen by
// quelsor.ini's Entree and Sortie while the defaults are elsewhere. The shared virtual link is
// never touched.

#include "app/MainForm.h"
#include "audio/DtmfDetector.h"
#include "device/NewSoundBackend.h"
#include "sound/SoundLayer.h"
#include "tests/support/PrivateSoundServer.h"
#include "tests/support/ScratchFolder.h"

#include "SimulatedDevice.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quelsor {
namespace {

    using testing::PrivateSoundServer;
    using testing::SimulatedDevice;

    class RecordingMessages : public IOperatorMessages {
    public:
        std::vector<std::string> texts;
        void ShowMessage(const std::string& text) override { texts.push_back(text); }
    };

    class ServerLossTest : public ::testing::Test {
    protected:
        void SetUp() override
        {
            if (!server.Start()) {
                if (qgetenv("CI") == "true")
                    FAIL() << server.Missing().toStdString();
                GTEST_SKIP() << server.Missing().toStdString();
            }
            // Before the backend's first connection.
            server.UseInThisProcess();
            sound.SetStopDelay(0);
        }
        void TearDown() override
        {
            if (window)
                window->close();
            device.Stop();
            if (HasFailure()) {
                std::printf("simulate said:\n%s\n", device.Said().constData());
                if (window)
                    std::printf(
                        "the log:\n%s\n", window->logLines().join('\n').toUtf8().constData());
            }
            window.reset();
        }

        // The sample configuration, with `general` added to its [General] section.
        void WriteIni(const std::string& general = {})
        {
            QFile sample(QStringLiteral(QUELSOR_SAMPLE_INI));
            ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
            QByteArray text = sample.readAll();
            const qsizetype at = text.indexOf("\n[General]");
            ASSERT_GE(at, 0);
            text.insert(at + 10, QByteArray("\n") + general.c_str());
            QFile ini(dir.filePath(QStringLiteral("quelsor.ini")));
            ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
            ini.write(text);
        }
        void Open()
        {
            MainFormSetup setup;
            setup.messages = &messages;
            setup.backend = backend.get();
            setup.sound = &sound;
            setup.iniPath = dir.filePath(QStringLiteral("quelsor.ini")).toStdString();
            window = std::make_unique<TfrmMain>(setup);
            window->show();
            QCoreApplication::processEvents();
        }
        int LogCount(const std::string& line) const
        {
            int n = 0;
            for (const QString& l : window->logLines())
                n += l.toStdString() == line ? 1 : 0;
            return n;
        }

        // The remote device on the private server.
        void StartDevice(const QStringList& options = {})
        {
            ASSERT_NO_FATAL_FAILURE(device.Start(server, dir.path(), options));
        }
        // Waits until simulate says `text` after the last Mark(), the window's events processed
        // meanwhile.
        bool DeviceSays(const QByteArray& text, int limitMs = 20000)
        {
            return device.Says(
                text, limitMs, [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 50); });
        }

        // Clicks `button`; while the capture it starts runs, `step` is called every 10 ms with
        // the time since listening began, and "Fin Capture" is clicked once it returns true (or
        // after 25 s). Returns once the click has returned.
        void WhileListening(QPushButton* button, const std::function<bool(qint64)>& step)
        {
            QElapsedTimer clock;
            bool stopped = false;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                device.Read();
                if (!window->capturing() || stopped)
                    return;
                if (!clock.isValid())
                    clock.start();
                if (step(clock.elapsed()) || clock.elapsed() > 25000) {
                    stopped = true;
                    QTimer::singleShot(0, window.get(), [this] { window->cmdStopCap->click(); });
                }
            });
            poll.start(10);
            button->click();
        }
        // "Gén. DTMF" for the selected request until the report's last line has been logged
        // `times` times in all; true when it has.
        bool Request(int times)
        {
            WhileListening(
                window->cmdPlay, [&](qint64) { return LogCount("Moteur 1=Marche") >= times; });
            return LogCount("Moteur 1=Marche") >= times;
        }

        PrivateSoundServer server { 2 };
        // The window writes its command and capture files in the current folder.
        testing::InScratchFolder scratch;
        QDir dir { scratch.Folder().Path() };
        std::unique_ptr<ISoundBackend> backend = NewSoundBackend();
        SoundLayer sound;
        RecordingMessages messages;
        std::unique_ptr<TfrmMain> window;
        SimulatedDevice device;
    };

    TEST_F(ServerLossTest, RequestsDecodeBeforeTheServerIsKilledAndAfterItIsBack)
    {
        WriteIni();
        Open();
        StartDevice();
        ASSERT_TRUE(DeviceSays("simulate: listening"));
        ASSERT_TRUE(Request(1)) << "no answer before the loss";
        EXPECT_TRUE(messages.texts.empty());

        // Listening when the server dies: the loop ends by itself with the layer's message.
        device.Mark();
        QElapsedTimer sinceKill;
        bool killed = false;
        WhileListening(window->cmdStartCap, [&](qint64 listening) {
            if (!killed && listening >= 1000) {
                killed = true;
                server.Kill();
                sinceKill.start();
            }
            return false;
        });
        ASSERT_TRUE(killed);
        EXPECT_LT(sinceKill.elapsed(), 5000) << "the loss went unnoticed";
        EXPECT_EQ(messages.texts,
            std::vector<std::string> { "Error handling DirectSound notifications. " });
        EXPECT_TRUE(DeviceSays("simulate: input lost, retrying"));

        // While the server is down a start fails at once, as it always has.
        messages.texts.clear();
        window->cmdStartCap->click();
        EXPECT_EQ(messages.texts, std::vector<std::string> { "Abandon ..." });

        // Back on the same socket: simulate listens again, "Début Capture" and "Gén. DTMF" work
        // without a restart of either program.
        device.Mark();
        ASSERT_TRUE(server.Start()) << server.Missing().toStdString();
        ASSERT_TRUE(DeviceSays("simulate: listening")) << "simulate did not come back";
        messages.texts.clear();
        std::uint64_t captured = 0;
        WhileListening(window->cmdStartCap, [&](qint64) {
            captured = sound.Buffer() ? sound.Buffer()->TotalWritten() : 0;
            return captured >= 8 * 1024;
        });
        EXPECT_GE(captured, 8u * 1024) << "\"Début Capture\" hears nothing after the restart";
        EXPECT_TRUE(messages.texts.empty());
        ASSERT_TRUE(Request(2)) << "no answer after the restart";
        EXPECT_TRUE(messages.texts.empty());
        EXPECT_EQ(device.Process().state(), QProcess::Running);
    }

    // Entree and Sortie choose the first link while the defaults are the second: simulate
    // listens and answers on the first only, so the request is heard and answered only if the
    // window plays and listens there.
    TEST_F(ServerLossTest, ConfiguredDevicesAreUsedWhileTheDefaultsAreElsewhere)
    {
        WriteIni("Entree=link a INPUT\nSortie=link_a\n");
        Open();
        StartDevice({ QStringLiteral("--input"), QStringLiteral("link_a_in"),
            QStringLiteral("--output"), QStringLiteral("Link A"), QStringLiteral("--once") });
        ASSERT_TRUE(DeviceSays("simulate: listening"));
        ASSERT_TRUE(Request(1)) << "no answer over the chosen link";
        EXPECT_TRUE(messages.texts.empty());
        EXPECT_EQ(LogCount("Entrée « link a INPUT » absente, entrée par défaut utilisée"), 0);
        EXPECT_TRUE(device.Process().state() == QProcess::NotRunning
            || device.Process().waitForFinished(5000));
        EXPECT_EQ(device.Process().exitCode(), 0);

        // The chosen input unplugged: the next capture says so and listens on the default.
        ASSERT_TRUE(server.Pactl(
            { QStringLiteral("unload-module"), QStringLiteral("module-remap-source") }));
        ASSERT_TRUE(server.Pactl({ QStringLiteral("load-module"),
            QStringLiteral("module-remap-source"), QStringLiteral("master=link_b.monitor"),
            QStringLiteral("source_name=link_b_in") }));
        ASSERT_TRUE(
            server.Pactl({ QStringLiteral("set-default-source"), QStringLiteral("link_b_in") }));
        WhileListening(window->cmdStartCap,
            [&](qint64) { return sound.Buffer() && sound.Buffer()->TotalWritten() >= 4 * 1024; });
        EXPECT_EQ(LogCount("Entrée « link a INPUT » absente, entrée par défaut utilisée"), 1);
        EXPECT_TRUE(messages.texts.empty());
    }

} // namespace
} // namespace quelsor

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
