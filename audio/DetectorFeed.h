#pragma once

#include "audio/DetectorHost.h"
#include "audio/DtmfDetector.h"
#include "audio/FilterBank.h"

#include <cstddef>
#include <cstdint>

namespace quelsor {

// The capture layer hands the detector one notification slice at a time: 512 samples (32 ms).
inline constexpr int kCaptureRegionSamples = 512;

// Runs a recording through the detector the way capture does: consecutive regions of 512
// samples, the last partial region as it is (its trailing samples beyond a whole 1 ms block are
// not analysed, as in capture).
void FeedRecording(DetectorState& state, FilterBank& bank, IDetectorHost& host,
    const std::int16_t* samples, std::size_t count);

} // namespace quelsor
