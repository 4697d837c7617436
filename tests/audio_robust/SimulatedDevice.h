#pragma once

#include "tests/support/PrivateSoundServer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>

namespace quelsor::testing {

// The remote device of these tests: quelsor-cli simulate in the background on a private server,
// answering the worked example (1234=78D1CA1C#), and what it has said on stderr so far.
class SimulatedDevice {
public:
    ~SimulatedDevice() { Stop(); }

    // Starts it in folder on the server with the extra options; fails the test when it does not
    // start (call through ASSERT_NO_FATAL_FAILURE, or check Process().state()).
    void Start(
        const PrivateSoundServer& server, const QString& folder, const QStringList& options = {})
    {
        process_.setProcessEnvironment(server.Environment());
        process_.setWorkingDirectory(folder);
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.setReadChannel(QProcess::StandardError); // what Read waits for
        process_.start(QStringLiteral(QUELSOR_CLI),
            QStringList { QStringLiteral("simulate"), QStringLiteral("--answer"),
                QStringLiteral("1234=78D1CA1C#") }
                + options);
        ASSERT_TRUE(process_.waitForStarted(5000));
    }
    // Waits until it says `text` after what it had said at the last Mark() (it says "simulate:
    // listening" once audio flows); `meanwhile`, when given, runs between two reads (a window's
    // events, for instance).
    bool Says(
        const QByteArray& text, int limitMs = 20000, const std::function<void()>& meanwhile = {})
    {
        QElapsedTimer clock;
        clock.start();
        while (said_.indexOf(text, mark_) < 0 && clock.elapsed() < limitMs) {
            if (meanwhile)
                meanwhile();
            Read(50);
        }
        return said_.indexOf(text, mark_) >= 0;
    }
    // From now on, Says looks only at what it says next.
    void Mark()
    {
        Read();
        mark_ = said_.size();
    }
    // Takes in what it has said, after waiting up to waitMs for something new.
    void Read(int waitMs = 0)
    {
        if (waitMs > 0)
            process_.waitForReadyRead(waitMs);
        said_ += process_.readAllStandardError();
    }
    // Ends it (SIGTERM, then SIGKILL after 5 s) when it runs.
    void Stop()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
    }

    const QByteArray& Said() const { return said_; }
    QProcess& Process() { return process_; }

private:
    QProcess process_;
    QByteArray said_;
    qsizetype mark_ = 0;
};

} // namespace quelsor::testing
