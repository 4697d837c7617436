#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QTimer>

namespace quelsor::cli {

// What a command on the sound devices needs around it: the application object whose event loop
// the sound backend's waits run, and a timer that wakes the command's wait every 100 ms, so that
// a time-out or a stop request is seen even when no audio arrives.
class SoundApplication {
public:
    SoundApplication()
    {
        QObject::connect(&tick_, &QTimer::timeout, [] {});
        tick_.start(100);
    }

private:
    int argc_ = 1;
    char name_[12] = "quelsor-cli";
    char* argv_[2] = { name_, nullptr };
    QCoreApplication app_ { argc_, argv_ };
    QTimer tick_;
};

} // namespace quelsor::cli
