// quelsor-cli over a private PulseAudio server of the test's own (two links, the defaults on the
// second): the device list, the devices chosen by --input and --output, and simulate, request and
// poll when the server is killed and started again on the same socket.

#include "SimulatedDevice.h"

#include "tests/support/PrivateSoundServer.h"
#include "tests/support/ScratchFolder.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using quelsor::testing::PrivateSoundServer;
using quelsor::testing::SimulatedDevice;

const QString kCli = QStringLiteral(QUELSOR_CLI);
const QString kSampleIni = QStringLiteral(QUELSOR_SAMPLE_INI);

struct CliRun {
    int exit = -1;
    bool crashed = false;
    QByteArray out;
    QByteArray err;
};

class CliRecoveryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!server.Start()) {
            if (qgetenv("CI") == "true")
                FAIL() << server.Missing().toStdString();
            GTEST_SKIP() << server.Missing().toStdString();
        }
    }
    void TearDown() override
    {
        device.Stop();
        if (poll.state() != QProcess::NotRunning) {
            poll.terminate();
            if (!poll.waitForFinished(5000))
                poll.kill();
        }
        if (HasFailure())
            std::printf("simulate said:\n%s\n", device.Said().constData());
    }

    // quelsor-cli with arguments on the private server, waited for at most limitMs.
    CliRun Cli(const QStringList& arguments, int limitMs = 30000)
    {
        QProcess process;
        process.setProcessEnvironment(server.Environment());
        process.setWorkingDirectory(folder.path());
        process.start(kCli, arguments);
        CliRun run;
        if (!process.waitForFinished(limitMs)) {
            process.kill();
            process.waitForFinished(3000);
            ADD_FAILURE() << "quelsor-cli " << arguments.join(' ').toStdString() << " hangs";
        }
        run.crashed = process.exitStatus() != QProcess::NormalExit;
        run.exit = process.exitCode();
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError();
        return run;
    }
    // The link drops a fraction of a second of audio now and then on a busy machine: a command
    // it cut reaches simulate as an unknown one and nothing answers. It is asked once more then,
    // as poll's retries would.
    CliRun Request(const QStringList& extra = {}, int timeoutSeconds = 15)
    {
        const QStringList arguments = QStringList { QStringLiteral("request"),
            QStringLiteral("--config"), kSampleIni, QStringLiteral("--request"),
            QStringLiteral("0"), QStringLiteral("--timeout"), QString::number(timeoutSeconds) }
            + extra;
        device.Read();
        const qsizetype cut = device.Said().count("unknown command");
        CliRun run = Cli(arguments);
        device.Read();
        if (run.exit == 1 && device.Said().count("unknown command") > cut) {
            std::printf("note: the link cut the command, asked again; simulate said:\n%s\n",
                device.Said().constData());
            run = Cli(arguments);
        }
        return run;
    }

    // The remote device in the background on the server.
    void StartDevice(const QStringList& options = {})
    {
        ASSERT_NO_FATAL_FAILURE(device.Start(server, folder.path(), options));
    }

    PrivateSoundServer server { 2 };
    quelsor::testing::ScratchFolder scratch;
    QDir folder { scratch.Path() };
    SimulatedDevice device;
    QProcess poll;
};

TEST_F(CliRecoveryTest, DevicesListsInputsThenOutputsWithTheDefaults)
{
    const CliRun run = Cli({ QStringLiteral("devices") });
    EXPECT_EQ(run.exit, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.toStdString(),
        "in   link_a_in  Link A input\n"
        "in * link_b_in  Link B input\n"
        "out   link_a  Link A\n"
        "out * link_b  Link B\n");

    server.Kill();
    const CliRun down = Cli({ QStringLiteral("devices") });
    EXPECT_EQ(down.exit, 2);
    EXPECT_FALSE(down.crashed);
    EXPECT_EQ(down.out, "");
    EXPECT_TRUE(down.err.startsWith("quelsor-cli devices: no sound server answers"))
        << down.err.toStdString();
}

// --input and --output choose the first link while the defaults are the second; simulate
// listens and answers there only.
TEST_F(CliRecoveryTest, RequestAndSimulateUseTheChosenPairWhileTheDefaultsAreElsewhere)
{
    StartDevice({ QStringLiteral("--input"), QStringLiteral("link a input"),
        QStringLiteral("--output"), QStringLiteral("link_a"), QStringLiteral("--once") });
    ASSERT_TRUE(device.Says("simulate: listening"));
    const CliRun run = Request({ QStringLiteral("--input"), QStringLiteral("LINK_A_IN"),
        QStringLiteral("--output"), QStringLiteral("A") });
    EXPECT_EQ(run.exit, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("Moteur 1=Marche")) << run.out.toStdString();
    EXPECT_TRUE(device.Process().waitForFinished(5000));
    EXPECT_EQ(device.Process().exitCode(), 0);

    // A name that matches no device: the list of devices, and nothing is sent.
    for (const QString& option : { QStringLiteral("--input"), QStringLiteral("--output") }) {
        SCOPED_TRACE(option.toStdString());
        QFile::remove(folder.filePath(QStringLiteral("tmp_dtmf.wav")));
        const CliRun wrong = Request({ option, QStringLiteral("Bluetooth") });
        EXPECT_EQ(wrong.exit, 2);
        EXPECT_TRUE(wrong.err.contains("matches 'Bluetooth'")) << wrong.err.toStdString();
        EXPECT_TRUE(wrong.err.contains("in   link_a_in  Link A input\n"))
            << wrong.err.toStdString();
        EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("tmp_dtmf.wav"))));
    }
}

// One simulate process and three requests: before the server is killed, while it is down, and
// after it has started again on the same socket.
TEST_F(CliRecoveryTest, SimulateAndRequestGoOnAfterTheServerRestarts)
{
    StartDevice();
    ASSERT_TRUE(device.Says("simulate: listening"));
    const CliRun before = Request();
    EXPECT_EQ(before.exit, 0) << before.err.toStdString();
    EXPECT_TRUE(before.out.contains("Moteur 1=Marche"));

    device.Mark();
    server.Kill();
    EXPECT_TRUE(device.Says("simulate: input lost, retrying", 5000));
    QElapsedTimer clock;
    clock.start();
    const CliRun down = Request();
    EXPECT_EQ(down.exit, 2);
    EXPECT_FALSE(down.crashed);
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_TRUE(down.err.contains("the sound server cannot be reached")) << down.err.toStdString();
    EXPECT_EQ(device.Process().state(), QProcess::Running) << "simulate gave up";

    device.Mark();
    ASSERT_TRUE(server.Start()) << server.Missing().toStdString();
    ASSERT_TRUE(device.Says("simulate: listening")) << "simulate did not come back";
    EXPECT_EQ(device.Said().count("simulate: input lost, retrying"), 1) << "said at every retry";
    const CliRun after = Request();
    EXPECT_EQ(after.exit, 0) << after.err.toStdString();
    EXPECT_TRUE(after.out.contains("Moteur 1=Marche"));
}

// A request listening when its server dies ends at once with the layer's message.
TEST_F(CliRecoveryTest, RequestWhoseServerDiesWhileListeningEndsWithTheLayersMessage)
{
    QProcess request;
    request.setProcessEnvironment(server.Environment());
    request.setWorkingDirectory(folder.path());
    request.start(kCli,
        { QStringLiteral("request"), QStringLiteral("--config"), kSampleIni,
            QStringLiteral("--request"), QStringLiteral("0"), QStringLiteral("--timeout"),
            QStringLiteral("30"), QStringLiteral("--format"), QStringLiteral("json") });
    ASSERT_TRUE(request.waitForStarted(5000));
    // Listening once the command has been played (about 1.5 s with the null sink's start).
    QThread::msleep(4000);
    server.Kill();
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(request.waitForFinished(10000)) << "request hangs";
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(request.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(request.exitCode(), 2);
    const QByteArray err = request.readAllStandardError();
    EXPECT_TRUE(err.contains("Error handling DirectSound notifications. \n")) << err.toStdString();
    EXPECT_TRUE(err.contains("quelsor-cli request: the sound input was lost")) << err.toStdString();
    const QByteArray out = request.readAllStandardOutput();
    EXPECT_TRUE(out.contains("\"text\":\"the sound input was lost")) << out.toStdString();
    EXPECT_TRUE(out.contains("\"status\":\"error\"")) << out.toStdString();
}

// poll goes on through a server restart: rounds give ok, error, ok records in one process.
TEST_F(CliRecoveryTest, PollGivesOkThenErrorThenOkAcrossAServerRestart)
{
    StartDevice();
    ASSERT_TRUE(device.Says("simulate: listening"));
    const QString jsonl = folder.filePath(QStringLiteral("records.jsonl"));
    poll.setProcessEnvironment(server.Environment());
    poll.setWorkingDirectory(folder.path());
    poll.setStandardOutputFile(QProcess::nullDevice());
    poll.start(kCli,
        { QStringLiteral("poll"), QStringLiteral("--config"), kSampleIni,
            QStringLiteral("--request"), QStringLiteral("0"), QStringLiteral("--every"),
            QStringLiteral("10s"), QStringLiteral("--count"), QStringLiteral("3"),
            QStringLiteral("--retries"), QStringLiteral("1"), QStringLiteral("--timeout"),
            QStringLiteral("8"), QStringLiteral("--jsonl"), jsonl });
    ASSERT_TRUE(poll.waitForStarted(5000));
    const auto records = [&] {
        QFile file(jsonl);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const auto waitFor = [&](const QByteArray& status, int count, int limitMs) {
        QElapsedTimer clock;
        clock.start();
        while (
            records().count("\"status\":\"" + status + "\"") < count && clock.elapsed() < limitMs) {
            device.Read(100);
        }
        return records().count("\"status\":\"" + status + "\"") >= count;
    };
    ASSERT_TRUE(waitFor("ok", 2, 20000)) << records().toStdString(); // both zones of round 1
    server.Kill();
    ASSERT_TRUE(waitFor("error", 1, 20000)) << records().toStdString();
    ASSERT_TRUE(server.Start()) << server.Missing().toStdString();
    ASSERT_TRUE(waitFor("ok", 4, 30000)) << records().toStdString();
    ASSERT_TRUE(poll.waitForFinished(10000));
    EXPECT_EQ(poll.exitCode(), 0);
    const QByteArray err = poll.readAllStandardError();
    EXPECT_TRUE(err.contains("quelsor-cli poll: 2 requests sent")
        || err.contains("quelsor-cli poll: 3 requests sent")
        || err.contains("quelsor-cli poll: 4 requests sent"))
        << err.toStdString();
    EXPECT_TRUE(err.contains(", 1 failed")) << err.toStdString();
    // In order: the first round's zones, its error record, the third round's zones.
    const QList<QByteArray> lines = records().trimmed().split('\n');
    QByteArrayList statuses;
    for (const QByteArray& line : lines) {
        const qsizetype at = line.indexOf("\"status\":\"");
        statuses << line.mid(at + 10, line.indexOf('"', at + 10) - at - 10);
    }
    EXPECT_EQ(statuses, (QByteArrayList { "ok", "ok", "error", "ok", "ok" }))
        << records().toStdString();
    // The error record says what failed.
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(lines[2].contains("\"text\":\"the sound ")) << lines[2].toStdString();
}

} // namespace
