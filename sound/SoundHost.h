#pragma once

#include "audio/DetectorHost.h"
#include "common/OperatorMessages.h"

#include <cstdint>

namespace quelsor {

// What the sound device layer needs of the window while it captures: its message box, the
// toolkit's "process pending events" call (the capture loop and the region analysis pump the
// window's events on the GUI thread), the spectrum drawing after each FFT frame and the host
// of the detector's events.
class ISoundHost : public IOperatorMessages {
public:
    // Lets the window process every pending event, then returns.
    virtual void ProcessPendingEvents() = 0;
    // Draws the spectrum of the frame just transformed: count (256) magnitudes, bin k = k * 31.25
    // Hz.
    virtual void DrawSpectrum(const std::int32_t* magnitudes, int count) = 0;
    // Where the layer's DTMF detector reports its events (indicators, characters, answers).
    virtual IDetectorHost& DetectorHost() = 0;
};

} // namespace quelsor
