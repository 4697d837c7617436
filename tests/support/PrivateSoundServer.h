#pragma once

#include "tests/support/ScratchFolder.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace quelsor::testing {

// A PulseAudio server of a test's own, so neither the shared virtual link nor a desktop's server
// is touched: its socket, state and log lie in a scratch folder of the test ("pa-..." right below
// ScratchRoot(), so that the socket's path fits a sockaddr_un). It has `pairs` links of a null
// sink at 16 kHz mono ("link_a", described "Link A", "link_b", ...) with a source remapped from
// its monitor ("link_a_in", "Link A input"); the defaults are the last pair's. A quiet listener on
// each sink's monitor keeps the null sinks from rendering two seconds ahead when idle, so sound
// starts at once as on a card (see scripts/virtual-link.sh). The server can be killed and started
// again on the same socket path, as a sound server restarted under a running program.
class PrivateSoundServer {
public:
    explicit PrivateSoundServer(int pairs = 1);
    ~PrivateSoundServer();
    PrivateSoundServer(const PrivateSoundServer&) = delete;
    PrivateSoundServer& operator=(const PrivateSoundServer&) = delete;

    // Starts the server (again) and waits until it answers; false with Missing() saying why.
    bool Start();
    // Ends it by SIGKILL (as a crash), or by SIGTERM (as a restart by the system).
    void Kill();
    void Stop();
    bool Running() const;
    // Why the server cannot be used; empty when it runs.
    QString Missing() const { return missing_; }

    // The server address for PULSE_SERVER ("unix:/.../native").
    QString Address() const;
    // Points this process's sound clients at the server (PULSE_SERVER): call it before the
    // first connection of the backend under test.
    void UseInThisProcess() const;
    // The environment for a child process that must use the server.
    QProcessEnvironment Environment() const;
    // Runs pactl against the server; true when it exits with 0.
    bool Pactl(const QStringList& arguments) const;

    // Names of pair k (0 = "a").
    static QString Sink(int k);
    static QString Source(int k);
    static QString SinkDescription(int k);

private:
    void StopListeners();

    int pairs_;
    ScratchFolder scratch_; // the socket, the server's state and its log
    QDir folder_; // the same folder, as Qt names it
    QProcess server_;
    std::vector<std::unique_ptr<QProcess>> listeners_; // parec on each monitor
    QString missing_;
};

} // namespace quelsor::testing
