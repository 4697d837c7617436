#pragma once

#include "sound/SoundBackend.h"

#include <memory>

namespace quelsor {

// The platform's sound backend: PulseAudio's client library where the build has it (Linux),
// Qt Multimedia elsewhere. Create it on the GUI thread, after the QCoreApplication.
std::unique_ptr<ISoundBackend> NewSoundBackend();

} // namespace quelsor
