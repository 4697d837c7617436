#pragma once

#include "audio/DetectorHost.h"
#include "audio/DtmfDetector.h"
#include "audio/FilterBank.h"
#include "audio/ParallelFilterBank.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quelsor {

// The capture layer hands the detector one notification slice at a time: 512 samples (32 ms).
inline constexpr int kCaptureRegionSamples = 512;

// Runs a recording through the detector the way capture does: consecutive regions of 512
// samples, the last partial region as it is (its trailing samples beyond a whole 1 ms block are
// not analysed, as in capture).
void FeedRecording(DetectorState& state, FilterBank& bank, IDetectorHost& host,
    const std::int16_t* samples, std::size_t count);

// FeedRecording for a recording read piece by piece, of any length: the pieces may have any size,
// and what the host hears is exactly what FeedRecording gives for the whole recording at once
// (the same blocks, the threshold read at the start of every 512-sample region, the trailing
// samples beyond the last whole block left out). The samples are gathered into chunks of
// kFeedChunkSamples; the filters of a chunk run on `threads` threads (ParallelFilterBank), then
// its blocks are decided in order on the caller's thread. Memory stays the same whatever the
// length of the recording.
class RecordingFeed {
public:
    static constexpr std::size_t kFeedChunkSamples = 64 * kCaptureRegionSamples; // 2.048 s

    RecordingFeed(DetectorState& state, FilterBank& bank, IDetectorHost& host, int threads = 1);

    void Feed(const std::int16_t* samples, std::size_t count);
    // At the end of the recording: analyses the whole blocks still gathered and drops the last
    // samples short of a block.
    void Finish();

    int Threads() const { return filters_.Threads(); }

private:
    void Analyse(std::size_t blocks);

    DetectorState& state_;
    IDetectorHost& host_;
    ParallelFilterBank filters_;
    std::vector<std::int16_t> chunk_; // kFeedChunkSamples
    std::size_t gathered_ = 0; // samples of chunk_ in use
    std::vector<std::int32_t> energies_; // kToneCount rows of a chunk's blocks
    std::int64_t blocksAnalysed_ = 0; // since this feed started: finds the region boundaries
    int threshold_ = 0;
};

} // namespace quelsor
