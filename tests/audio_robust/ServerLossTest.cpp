// The window listening when its sound server ends: the capture loop ends with the layer's
// notification error, the program neither hangs nor crashes, and "Fin Capture" then releases the
// capture. The server is a private PulseAudio started by this
// executable before Qt connects, so the shared virtual link is never touched.

#include "app/MainForm.h"
#include "common/ProcessExit.h"
#include "device/QtSoundBackend.h"
#include "sound/SoundLayer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace quelsor {
namespace {

    QProcess* privateServer = nullptr;
    std::string serverMissing;

    class RecordingMessages : public IOperatorMessages {
    public:
        std::vector<std::string> texts;
        void ShowMessage(const std::string& text) override { texts.push_back(text); }
    };

    TEST(ServerLossTest, ServerEndingDuringACaptureNeitherHangsNorCrashes)
    {
        if (!serverMissing.empty()) {
            if (qgetenv("CI") == "true")
                FAIL() << serverMissing;
            GTEST_SKIP() << serverMissing;
        }
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        QtSoundBackend backend;
        SoundLayer sound;
        sound.SetStopDelay(0);
        RecordingMessages messages;
        MainFormSetup setup;
        setup.messages = &messages;
        setup.backend = &backend;
        setup.sound = &sound;
        setup.iniPath = dir.filePath(QStringLiteral("quelsor.ini")).toStdString();
        auto window = std::make_unique<TfrmMain>(setup);
        window->show();
        QCoreApplication::processEvents();

        QElapsedTimer clock;
        bool killed = false;
        bool stopClicked = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!window->capturing())
                return;
            if (!clock.isValid())
                clock.start();
            if (!killed && clock.elapsed() >= 1000) {
                killed = true;
                privateServer->kill();
                privateServer->waitForFinished(3000);
            }
            if (!stopClicked && clock.elapsed() >= 4000) {
                stopClicked = true;
                poll.stop();
                QTimer::singleShot(0, window.get(), [&] { window->cmdStopCap->click(); });
            }
        });
        poll.start(10);
        window->cmdStartCap->click(); // returns when the capture loop has ended
        EXPECT_TRUE(killed);
        EXPECT_FALSE(stopClicked) << "the loop only ended at Fin Capture: the loss went unnoticed";
        EXPECT_EQ(messages.texts,
            std::vector<std::string> { "Error handling DirectSound notifications. " });
        // The loop has ended but the capture is still started, as after any notification error.
        if (window->capturing())
            window->cmdStopCap->click();
        EXPECT_FALSE(window->capturing());
        window->close();
        QCoreApplication::processEvents();
    }

} // namespace
} // namespace quelsor

// Starts the private server and points this process's sound clients at it, then runs the tests.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir runtime(QDir::tempPath() + QStringLiteral("/quelsor-pa-XXXXXX"));
    QProcess server;
    const QString pulseaudio = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
    if (pulseaudio.isEmpty() || !runtime.isValid()) {
        quelsor::serverMissing = "pulseaudio is not installed (apt-get install pulseaudio)";
    } else {
        const QString socket = runtime.filePath(QStringLiteral("native"));
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), runtime.path());
        env.insert(QStringLiteral("PULSE_STATE_PATH"), runtime.path());
        server.setProcessEnvironment(env);
        server.setStandardOutputFile(QProcess::nullDevice());
        server.setStandardErrorFile(runtime.filePath(QStringLiteral("log")));
        server.start(pulseaudio,
            { QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
                QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--use-pid-file=no"),
                QStringLiteral("--load=module-native-protocol-unix socket=") + socket,
                QStringLiteral("--load=module-null-sink sink_name=loss format=s16le rate=16000 "
                               "channels=1"),
                QStringLiteral("--load=module-remap-source master=loss.monitor "
                               "source_name=loss_in"),
                QStringLiteral("--load=module-default-device-restore"),
                QStringLiteral("--load=module-always-sink") });
        bool up = server.waitForStarted(3000);
        for (int i = 0; up && i < 50 && !QFile::exists(socket); ++i)
            QThread::msleep(100);
        up = up && QFile::exists(socket) && server.state() == QProcess::Running;
        if (!up) {
            quelsor::serverMissing = "the private PulseAudio server did not start";
        } else {
            qputenv("PULSE_SERVER", ("unix:" + socket).toUtf8());
            quelsor::privateServer = &server;
            // Defaults for clients that ask for none.
            QProcess::execute(QStringLiteral("pactl"),
                { QStringLiteral("--server=unix:") + socket, QStringLiteral("set-default-source"),
                    QStringLiteral("loss_in") });
        }
    }
    int result = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    if (server.state() != QProcess::NotRunning) {
        server.kill();
        server.waitForFinished(3000);
    }
    // Not a return: Qt Multimedia's teardown after main can abort a run whose tests all passed.
    quelsor::EndProcess(result);
}
