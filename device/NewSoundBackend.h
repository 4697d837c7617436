#pragma once

#include "sound/SoundBackend.h"

#include <memory>

namespace quelsor {

// Who waits in the capture loop, which decides what else must wake its wait.
enum class SoundWaits {
    // The window: its input and other messages wake the wait, so it stays responsive.
    Window,
    // A command-line program: the notification event, and a tick every 100 ms so that the
    // command sees its time-out or a stop request when no audio comes.
    CommandLine,
};

// The platform's sound backend: PulseAudio's client library where the build has it (Linux),
// WASAPI on Windows, Qt Multimedia elsewhere (macOS). Create it on the thread that will use it (the GUI
// thread), after the QCoreApplication where the backend waits on Qt's event loop (Pulse, Qt:
// QUELSOR_SOUND_QT_EVENTS is defined then).
std::unique_ptr<ISoundBackend> NewSoundBackend(SoundWaits waits = SoundWaits::Window);

} // namespace quelsor
