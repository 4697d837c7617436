#include "tests/support/PrivateSoundServer.h"

#include <QFile>
#include <QStandardPaths>
#include <QThread>

namespace quelsor::testing {

namespace {

    // A socket path must fit a sockaddr_un (108 bytes with its terminator).
    constexpr int kMaxSocketPath = 107;

} // namespace

PrivateSoundServer::PrivateSoundServer(int pairs)
    : pairs_(pairs)
    , scratch_("pa", ScratchName::LabelOnly)
    , folder_(scratch_.Path())
{
}

PrivateSoundServer::~PrivateSoundServer() { Kill(); }

QString PrivateSoundServer::Sink(int k) { return QStringLiteral("link_") + QChar('a' + k); }

QString PrivateSoundServer::Source(int k) { return Sink(k) + QStringLiteral("_in"); }

QString PrivateSoundServer::SinkDescription(int k)
{
    return QStringLiteral("Link ") + QChar('A' + k);
}

QString PrivateSoundServer::Address() const
{
    return QStringLiteral("unix:") + folder_.filePath(QStringLiteral("native"));
}

void PrivateSoundServer::UseInThisProcess() const { qputenv("PULSE_SERVER", Address().toUtf8()); }

QProcessEnvironment PrivateSoundServer::Environment() const
{
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PULSE_SERVER"), Address());
    env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), folder_.path());
    env.insert(QStringLiteral("PULSE_STATE_PATH"), folder_.path());
    return env;
}

bool PrivateSoundServer::Pactl(const QStringList& arguments) const
{
    QProcess pactl;
    pactl.setProcessEnvironment(Environment());
    pactl.setStandardOutputFile(QProcess::nullDevice());
    pactl.setStandardErrorFile(QProcess::nullDevice());
    pactl.start(QStringLiteral("pactl"), arguments);
    return pactl.waitForFinished(5000) && pactl.exitStatus() == QProcess::NormalExit
        && pactl.exitCode() == 0;
}

bool PrivateSoundServer::Running() const { return server_.state() == QProcess::Running; }

bool PrivateSoundServer::Start()
{
    missing_.clear();
    const QString pulseaudio = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
    if (pulseaudio.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("pactl")).isEmpty()) {
        missing_ = QStringLiteral("pulseaudio is not installed (apt-get install pulseaudio "
                                  "pulseaudio-utils)");
        return false;
    }
    const QString socket = folder_.filePath(QStringLiteral("native"));
    if (socket.toUtf8().size() > kMaxSocketPath) {
        missing_ = QStringLiteral("the private sound server's socket %1 would be longer than %2 "
                                  "bytes: build in a shorter folder")
                       .arg(socket)
                       .arg(kMaxSocketPath);
        return false;
    }
    // The links and the defaults come before the socket: a client that was waiting for the
    // server (a program retrying after a restart) must not connect in between and find other
    // defaults than the test's.
    QString script;
    for (int k = 0; k < pairs_; ++k) {
        script
            += QStringLiteral("load-module module-null-sink sink_name=%1 format=s16le "
                              "rate=16000 channels=1 sink_properties='device.description=\"%2\"'\n")
                   .arg(Sink(k), SinkDescription(k));
        script += QStringLiteral("load-module module-remap-source master=%1.monitor source_name=%2 "
                                 "source_properties='device.description=\"%3 input\"'\n")
                      .arg(Sink(k), Source(k), SinkDescription(k));
    }
    script += QStringLiteral("set-default-sink %1\nset-default-source %2\n")
                  .arg(Sink(pairs_ - 1), Source(pairs_ - 1));
    script += QStringLiteral("load-module module-native-protocol-unix socket=%1\n").arg(socket);
    const QString scriptPath = folder_.filePath(QStringLiteral("startup.pa"));
    QFile scriptFile(scriptPath);
    const QByteArray scriptBytes = script.toUtf8();
    if (!scriptFile.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || scriptFile.write(scriptBytes) != scriptBytes.size()) {
        missing_ = QStringLiteral("cannot write ") + scriptPath;
        return false;
    }
    scriptFile.close();
    const QStringList arguments { QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
        QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--use-pid-file=no"),
        QStringLiteral("--file=") + scriptPath };
    server_.setProcessEnvironment(Environment());
    server_.setStandardOutputFile(QProcess::nullDevice());
    server_.setStandardErrorFile(
        folder_.filePath(QStringLiteral("pulseaudio.log")), QIODevice::Append);
    server_.start(pulseaudio, arguments);
    if (!server_.waitForStarted(3000)) {
        missing_ = QStringLiteral("the private sound server did not start");
        return false;
    }
    bool answers = false;
    for (int i = 0; i < 100 && !answers && Running(); ++i) {
        answers = QFile::exists(socket) && Pactl({ QStringLiteral("info") });
        if (!answers)
            QThread::msleep(50);
    }
    if (!answers) {
        missing_ = QStringLiteral("the private sound server does not answer; see ")
            + folder_.filePath(QStringLiteral("pulseaudio.log"));
        Kill();
        return false;
    }
    StopListeners();
    if (!QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty()) {
        for (int k = 0; k < pairs_; ++k) {
            auto listener = std::make_unique<QProcess>();
            listener->setProcessEnvironment(Environment());
            listener->setStandardOutputFile(QProcess::nullDevice());
            listener->setStandardErrorFile(QProcess::nullDevice());
            listener->start(QStringLiteral("parec"),
                { QStringLiteral("--device=") + Sink(k) + QStringLiteral(".monitor"),
                    QStringLiteral("--latency-msec=100"), QStringLiteral("--rate=16000"),
                    QStringLiteral("--channels=1"), QStringLiteral("--format=s16le") });
            listeners_.push_back(std::move(listener));
        }
    }
    return true;
}

void PrivateSoundServer::StopListeners()
{
    for (const auto& listener : listeners_) {
        if (listener->state() != QProcess::NotRunning) {
            listener->kill();
            listener->waitForFinished(3000);
        }
    }
    listeners_.clear();
}

void PrivateSoundServer::Kill()
{
    StopListeners();
    if (server_.state() == QProcess::NotRunning)
        return;
    server_.kill();
    server_.waitForFinished(5000);
}

void PrivateSoundServer::Stop()
{
    StopListeners();
    if (server_.state() == QProcess::NotRunning)
        return;
    server_.terminate();
    if (!server_.waitForFinished(5000))
        Kill();
}

} // namespace quelsor::testing
