#include "device/NewSoundBackend.h"

#if defined(QUELSOR_SOUND_WASAPI)
#include "device/WasapiSoundBackend.h"
#elif defined(QUELSOR_SOUND_PULSE)
#include "device/PulseSoundBackend.h"
#else
#include "device/QtSoundBackend.h"
#endif

namespace quelsor {

std::unique_ptr<ISoundBackend> NewSoundBackend([[maybe_unused]] SoundWaits waits)
{
#if defined(QUELSOR_SOUND_WASAPI)
    return std::make_unique<WasapiSoundBackend>(waits);
#elif defined(QUELSOR_SOUND_PULSE)
    // Qt's event loop serves both: a command-line program runs a timer of its own in it.
    return std::make_unique<PulseSoundBackend>();
#else
    return std::make_unique<QtSoundBackend>();
#endif
}

} // namespace quelsor
