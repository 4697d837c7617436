// quelsor-cli poll against quelsor-cli simulate over the machine's sound server, with Debian's
// mosquitto broker on a free loopback port: the rounds, the result files, MQTT through a broker
// restart, requests asked for over MQTT with a login, a device that does not answer and a stop
// by signal.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/types.h>

#include <string>
#include <vector>

namespace {

const QString kCli = QStringLiteral(QUELSOR_CLI);
const QString kSampleIni = QStringLiteral(QUELSOR_SAMPLE_INI);
const QString kBroker = QStringLiteral("/usr/sbin/mosquitto");

QStringList FileLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.pop_back();
    return lines;
}

bool SoundServerAnswers()
{
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), { QStringLiteral("info") });
    return pactl.waitForFinished(5000) && pactl.exitStatus() == QProcess::NormalExit
        && pactl.exitCode() == 0;
}

// Waits until condition holds, at most timeoutMs.
template <typename Condition> bool WaitFor(Condition condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    return true;
}

class PollLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!SoundServerAnswers() || !QFile::exists(kBroker)) {
            if (qgetenv("CI") == "true")
                FAIL() << "no sound server or no MQTT broker (scripts/test.sh sets both up)";
            GTEST_SKIP() << "needs a sound server (scripts/virtual-link.sh start) and mosquitto";
        }
        ASSERT_TRUE(folder_.isValid());
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        port_ = probe.serverPort();
        probe.close();
        QFile config(folder_.filePath(QStringLiteral("broker.conf")));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(
            QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\n").arg(port_).toUtf8());
    }

    void TearDown() override
    {
        for (QProcess* process : { &device_, &broker_, &subscriber_ }) {
            if (process->state() != QProcess::NotRunning) {
                process->terminate();
                if (!process->waitForFinished(5000))
                    process->kill();
            }
        }
        if (HasFailure())
            std::printf("simulate said:\n%s\n", device_.readAllStandardError().constData());
    }

    void StartDevice()
    {
        device_.setWorkingDirectory(folder_.path());
        device_.setReadChannel(QProcess::StandardError);
        device_.start(kCli,
            { QStringLiteral("simulate"), QStringLiteral("--answer"),
                QStringLiteral("1234=78D1CA1C#") });
        ASSERT_TRUE(device_.waitForStarted(5000));
        QByteArray log;
        while (!log.contains("listening")) {
            ASSERT_TRUE(device_.waitForReadyRead(10000)) << log.toStdString();
            log += device_.readAllStandardError();
        }
    }

    void StartBroker()
    {
        broker_.start(
            kBroker, { QStringLiteral("-c"), folder_.filePath(QStringLiteral("broker.conf")) });
        ASSERT_TRUE(broker_.waitForStarted(5000));
        ASSERT_TRUE(WaitFor(
            [this] {
                QTcpSocket socket;
                socket.connectToHost(QHostAddress::LocalHost, port_);
                return socket.waitForConnected(200);
            },
            5000));
    }
    void StopBroker()
    {
        broker_.terminate();
        ASSERT_TRUE(broker_.waitForFinished(5000));
    }
    // mosquitto_sub on every topic of the poll, in the background.
    void Subscribe()
    {
        subscriber_.start(QStringLiteral("mosquitto_sub"),
            { QStringLiteral("-p"), QString::number(port_), QStringLiteral("-v"),
                QStringLiteral("-t"), QStringLiteral("quelsor/#") });
        ASSERT_TRUE(subscriber_.waitForStarted(5000));
        QThread::msleep(300); // subscribed
    }

    QString File(const char* name) const { return folder_.filePath(QString::fromLatin1(name)); }

    QStringList PollArgs(const QStringList& extra) const
    {
        return QStringList { QStringLiteral("poll"), QStringLiteral("--config"), kSampleIni,
            QStringLiteral("--request"), QStringLiteral("0") }
        + extra;
    }

    QTemporaryDir folder_;
    quint16 port_ = 0;
    QProcess device_;
    QProcess broker_;
    QProcess subscriber_;
};

TEST_F(PollLinkTest, RoundsGoToCsvJsonLinesAndMqttThroughABrokerRestart)
{
    StartDevice();
    StartBroker();
    QProcess poll;
    poll.setWorkingDirectory(folder_.path());
    poll.start(kCli,
        PollArgs({ QStringLiteral("--every"), QStringLiteral("2s"), QStringLiteral("--count"),
            QStringLiteral("3"), QStringLiteral("--timeout"), QStringLiteral("8"),
            QStringLiteral("--csv"), File("results.csv"), QStringLiteral("--jsonl"),
            File("results.jsonl"), QStringLiteral("--mqtt"),
            QStringLiteral("127.0.0.1:%1").arg(port_), QStringLiteral("--format"),
            QStringLiteral("json") }));
    ASSERT_TRUE(poll.waitForStarted(5000));

    // The broker goes away once round 1 is written and comes back once round 2 is: round 2's
    // messages wait in the poller and go out when it reconnects.
    const auto rows = [this] { return FileLines(File("results.csv")).size(); };
    ASSERT_TRUE(WaitFor([&] { return rows() >= 3; }, 30000)) << "round 1";
    StopBroker();
    ASSERT_TRUE(WaitFor([&] { return rows() >= 5; }, 30000)) << "round 2";
    StartBroker();
    Subscribe();
    ASSERT_TRUE(poll.waitForFinished(60000));
    EXPECT_EQ(poll.exitCode(), 0) << poll.readAllStandardError().toStdString();
    const QByteArray summary = poll.readAllStandardError();
    EXPECT_TRUE(summary.contains("3 requests sent, 3 answered, 0 timed out, 0 failed"))
        << summary.toStdString();

    const QStringList csv = FileLines(File("results.csv"));
    ASSERT_EQ(csv.size(), 7) << csv.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(csv[0],
        QStringLiteral(
            "time,request,label,zone,name,raw,value,text,status,level,level_db,noise,snr\r"));
    for (int i = 1; i < 7; i += 2) {
        EXPECT_TRUE(
            csv[i].contains(QStringLiteral(",1234,Etat general,1,Tension,120,12.000,12.000,ok,")))
            << csv[i].toStdString();
        EXPECT_TRUE(
            csv[i + 1].contains(QStringLiteral(",1234,Etat general,2,Moteur,1,,Marche,ok,")))
            << csv[i + 1].toStdString();
        // Both records of an answer carry its time and its quality.
        EXPECT_EQ(
            csv[i].section(QLatin1Char(','), 0, 0), csv[i + 1].section(QLatin1Char(','), 0, 0));
        EXPECT_EQ(csv[i].section(QLatin1Char(','), 9), csv[i + 1].section(QLatin1Char(','), 9));
    }
    const QStringList jsonl = FileLines(File("results.jsonl"));
    ASSERT_EQ(jsonl.size(), 6);
    EXPECT_TRUE(
        jsonl[0].contains(QStringLiteral("\"name\":\"Tension\",\"raw\":120,\"value\":12.000")));
    EXPECT_TRUE(jsonl[0].contains(QStringLiteral("\"level_db\":"))) << jsonl[0].toStdString();
    const QStringList printed = QString::fromUtf8(poll.readAllStandardOutput())
                                    .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(printed, jsonl);

    // After the restart: round 2's records (queued while the broker was away), round 3's,
    // "online" and, at the end, "offline".
    subscriber_.terminate();
    subscriber_.waitForFinished(5000);
    const QString heard = QString::fromUtf8(subscriber_.readAllStandardOutput());
    const QString round2Time = jsonl[2].section(QLatin1Char('"'), 3, 3);
    EXPECT_TRUE(
        heard.contains(QStringLiteral("quelsor/1234/json {\"time\":\"%1\"").arg(round2Time)))
        << heard.toStdString();
    EXPECT_TRUE(heard.contains(QStringLiteral("quelsor/1234/Tension 12.000")));
    EXPECT_TRUE(heard.contains(QStringLiteral("quelsor/1234/Moteur Marche")));
    EXPECT_TRUE(heard.contains(QStringLiteral("quelsor/1234/level ")));
    EXPECT_TRUE(heard.contains(QStringLiteral("quelsor/1234/snr ")));
    EXPECT_TRUE(heard.contains(QStringLiteral("quelsor/status online")));
    EXPECT_TRUE(heard.trimmed().endsWith(QStringLiteral("quelsor/status offline")));
}

// Without --request, poll sends what is asked on quelsor/command, logged in with a password
// from its environment, which its command line never shows.
TEST_F(PollLinkTest, RequestsAskedForOverMqttWithALogin)
{
    const QString password = QStringLiteral("p4ss-%1").arg(port_);
    QProcess make;
    make.start(QStringLiteral("sh"),
        { QStringLiteral("-c"),
            // The broker reads it as its own user.
            QStringLiteral("touch '%1' && mosquitto_passwd -b '%1' poller '%2' && chmod 644 '%1'"
                           " && chmod 755 '%3'")
                .arg(File("passwords"), password, folder_.path()) });
    ASSERT_TRUE(make.waitForFinished(10000) && make.exitCode() == 0);
    QFile config(folder_.filePath(QStringLiteral("broker.conf")));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous false\npassword_file %2\n")
                     .arg(port_)
                     .arg(File("passwords"))
                     .toUtf8());
    config.close();
    StartDevice();
    StartBroker();

    QProcess poll;
    poll.setWorkingDirectory(folder_.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUELSOR_MQTT_PASSWORD"), password);
    poll.setProcessEnvironment(environment);
    poll.start(kCli,
        { QStringLiteral("poll"), QStringLiteral("--config"), kSampleIni, QStringLiteral("--mqtt"),
            QStringLiteral("127.0.0.1:%1").arg(port_), QStringLiteral("--mqtt-user"),
            QStringLiteral("poller"), QStringLiteral("--jsonl"), File("results.jsonl") });
    ASSERT_TRUE(poll.waitForStarted(5000));
    QThread::msleep(1000); // connected and subscribed
    ASSERT_EQ(poll.state(), QProcess::Running) << poll.readAllStandardError().toStdString();
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(poll.processId()));
    ASSERT_TRUE(cmdline.open(QIODevice::ReadOnly));
    const QByteArray arguments = cmdline.readAll();
    EXPECT_TRUE(arguments.contains("poller"));
    EXPECT_FALSE(arguments.contains(password.toUtf8()));

    const auto ask = [this](const char* payload) {
        QProcess pub;
        pub.start(QStringLiteral("mosquitto_pub"),
            { QStringLiteral("-p"), QString::number(port_), QStringLiteral("-u"),
                QStringLiteral("poller"), QStringLiteral("-P"),
                QStringLiteral("p4ss-%1").arg(port_), QStringLiteral("-t"),
                QStringLiteral("quelsor/command"), QStringLiteral("-m"),
                QString::fromLatin1(payload) });
        return pub.waitForFinished(5000) && pub.exitCode() == 0;
    };
    ASSERT_TRUE(ask("9"));
    ASSERT_TRUE(ask("1234"));
    const auto records = [this] { return FileLines(File("results.jsonl")); };
    ASSERT_TRUE(WaitFor([&] { return records().size() >= 3; }, 30000))
        << records().join(QLatin1Char('\n')).toStdString();
    poll.terminate();
    ASSERT_TRUE(poll.waitForFinished(10000));
    EXPECT_EQ(poll.exitCode(), 0);
    const QStringList lines = records();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(
        lines[0].endsWith(QStringLiteral("\"request\":\"\",\"label\":\"\",\"text\":\"unknown "
                                         "request item '9'\",\"status\":\"error\"}")))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral("\"request\":\"1234\"")));
    EXPECT_TRUE(lines[2].contains(QStringLiteral("\"text\":\"Marche\",\"status\":\"ok\"")));
    const QByteArray summary = poll.readAllStandardError();
    EXPECT_TRUE(summary.contains("quelsor/command asks for no request item: '9'"));
    EXPECT_TRUE(summary.contains("1 requests sent, 1 answered")) << summary.toStdString();
}

TEST_F(PollLinkTest, ADeviceThatDoesNotAnswerGivesTimeoutRecords)
{
    QProcess poll;
    poll.setWorkingDirectory(folder_.path());
    poll.start(kCli,
        PollArgs({ QStringLiteral("--timeout"), QStringLiteral("2"), QStringLiteral("--retries"),
            QStringLiteral("1"), QStringLiteral("--jsonl"), File("results.jsonl"),
            QStringLiteral("--format"), QStringLiteral("csv") }));
    ASSERT_TRUE(poll.waitForFinished(30000));
    EXPECT_EQ(poll.exitCode(), 0);
    EXPECT_TRUE(poll.readAllStandardError().contains("2 requests sent, 0 answered, 1 timed out"));
    const QStringList records = FileLines(File("results.jsonl"));
    ASSERT_EQ(records.size(), 1);
    EXPECT_TRUE(records[0].endsWith(
        QStringLiteral("\"request\":\"1234\",\"label\":\"Etat general\",\"status\":\"timeout\"}")))
        << records[0].toStdString();
    const QStringList printed = QString::fromUtf8(poll.readAllStandardOutput())
                                    .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(printed.size(), 2);
    EXPECT_TRUE(printed[1].endsWith(QStringLiteral(",1234,Etat general,,,,,,timeout,,,,")));
}

TEST_F(PollLinkTest, ASignalEndsThePollAfterTheRequestInProgress)
{
    StartDevice();
    QProcess poll;
    poll.setWorkingDirectory(folder_.path());
    poll.start(kCli,
        PollArgs({ QStringLiteral("--every"), QStringLiteral("1h"), QStringLiteral("--csv"),
            File("results.csv") }));
    ASSERT_TRUE(poll.waitForStarted(5000));
    ASSERT_TRUE(WaitFor([&] { return FileLines(File("results.csv")).size() >= 3; }, 30000));
    poll.terminate(); // SIGTERM, during the wait for the next round
    ASSERT_TRUE(poll.waitForFinished(5000)) << "the wait between rounds must see the signal";
    EXPECT_EQ(poll.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(poll.exitCode(), 0);
    EXPECT_TRUE(poll.readAllStandardError().contains("1 requests sent, 1 answered"));
}

// Log rotation under a running poll: the files are renamed and SIGHUP sent again and again,
// during the requests and between them. Every record is in one of the files, whole, and every
// CSV file begins with its header.
TEST_F(PollLinkTest, RenamedFilesAndSighupLoseNoRecord)
{
    StartDevice();
    QProcess poll;
    poll.setWorkingDirectory(folder_.path());
    poll.start(kCli,
        PollArgs({ QStringLiteral("--every"), QStringLiteral("1s"), QStringLiteral("--count"),
            QStringLiteral("3"), QStringLiteral("--csv"), File("r.csv"), QStringLiteral("--jsonl"),
            File("r.jsonl") }));
    ASSERT_TRUE(poll.waitForStarted(5000));
    QThread::msleep(500); // SIGHUP is caught
    QStringList rotated;
    for (int n = 1; !poll.waitForFinished(200); ++n) {
        for (const char* name : { "r.csv", "r.jsonl" }) {
            const QString to = File(name) + QLatin1Char('.') + QString::number(n);
            if (QFile::rename(File(name), to))
                rotated << to;
        }
        ::kill(static_cast<pid_t>(poll.processId()), SIGHUP);
        ASSERT_LT(n, 300) << "the poll did not end";
    }
    EXPECT_EQ(poll.exitCode(), 0);
    EXPECT_TRUE(poll.readAllStandardError().contains("3 requests sent, 3 answered"));
    int csvRecords = 0;
    int jsonRecords = 0;
    for (const QString& path : rotated + QStringList { File("r.csv"), File("r.jsonl") }) {
        const QStringList lines = FileLines(path);
        const bool csv = path.contains(QStringLiteral(".csv"));
        for (int i = 0; i < lines.size(); ++i) {
            if (csv && i == 0) {
                EXPECT_TRUE(lines[0].startsWith(QStringLiteral("time,request,")))
                    << path.toStdString();
                continue;
            }
            const bool whole = csv
                ? lines[i].endsWith(QLatin1Char('\r')) && lines[i].count(QLatin1Char(',')) == 12
                : lines[i].startsWith(QLatin1Char('{')) && lines[i].endsWith(QLatin1Char('}'));
            EXPECT_TRUE(whole) << path.toStdString() << ": " << lines[i].toStdString();
            ++(csv ? csvRecords : jsonRecords);
        }
    }
    EXPECT_EQ(csvRecords, 6);
    EXPECT_EQ(jsonRecords, 6);
    EXPECT_GT(rotated.size(), 2);
}

} // namespace
