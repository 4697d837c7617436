#include "device/NewSoundBackend.h"

#ifdef QUELSOR_SOUND_PULSE
#include "device/PulseSoundBackend.h"
#else
#include "device/QtSoundBackend.h"
#endif

namespace quelsor {

std::unique_ptr<ISoundBackend> NewSoundBackend()
{
#ifdef QUELSOR_SOUND_PULSE
    return std::make_unique<PulseSoundBackend>();
#else
    return std::make_unique<QtSoundBackend>();
#endif
}

} // namespace quelsor
