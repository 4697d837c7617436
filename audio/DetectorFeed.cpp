#include "DetectorFeed.h"

#include <algorithm>

namespace quelsor {

void FeedRecording(DetectorState& state, FilterBank& bank, IDetectorHost& host,
    const std::int16_t* samples, std::size_t count)
{
    if (samples == nullptr)
        return;
    for (std::size_t at = 0; at < count; at += kCaptureRegionSamples) {
        const std::size_t region = std::min<std::size_t>(kCaptureRegionSamples, count - at);
        DetectDTMF(state, bank, host, samples + at, static_cast<int>(region));
    }
}

} // namespace quelsor
