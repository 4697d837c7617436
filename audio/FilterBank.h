#pragma once

#include "common/DtmfTones.h"
#include "filters/BandPassFilter.h"

#include <array>
#include <memory>

namespace quelsor {

// One band-pass filter per DTMF tone, element t tuned to kToneFrequencies[t] ± 20 Hz at
// 16000 Hz. About 330 KB: keep it on the heap (NewDesignedFilterBank, or the sound layer's own).
using FilterBank = std::array<BandPassFilter, kToneCount>;

inline constexpr double kFilterHalfBandwidth = 20.0; // Hz each side of the tone

// Sets the sample rate of every element to 16000 Hz, then designs elements 0..7 in order with
// the band tone − 20 Hz .. tone + 20 Hz. The histories are left as they are.
void DesignFilterBank(FilterBank& bank);

// A designed bank on the heap, from rest: for the command line, tests and simulated devices.
std::unique_ptr<FilterBank> NewDesignedFilterBank();

} // namespace quelsor
