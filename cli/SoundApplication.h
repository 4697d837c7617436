#pragma once

#ifdef QUELSOR_SOUND_QT_EVENTS
#include <QCoreApplication>
#include <QObject>
#include <QTimer>
#endif

namespace quelsor::cli {

#ifdef QUELSOR_SOUND_QT_EVENTS

// What a command on the sound devices needs around it where the sound backend waits on Qt's
// event loop: the application object, and a timer that wakes the command's wait every 100 ms,
// so that a time-out or a stop request is seen even when no audio arrives.
class SoundApplication {
public:
    SoundApplication()
    {
        QObject::connect(&tick_, &QTimer::timeout, [] {});
        tick_.start(100);
    }
    // Handles the events that have come in, then returns.
    static void ProcessEvents() { QCoreApplication::processEvents(); }

private:
    int argc_ = 1;
    char name_[12] = "quelsor-cli";
    char* argv_[2] = { name_, nullptr };
    QCoreApplication app_ { argc_, argv_ };
    QTimer tick_;
};

#else

// Where the backend waits by itself (WASAPI: its command-line wait has its own 100 ms tick),
// there is no event loop to run.
class SoundApplication {
public:
    SoundApplication() { } // NOLINT: kept where a command holds one, as with Qt
    static void ProcessEvents() { }
};

#endif

} // namespace quelsor::cli
