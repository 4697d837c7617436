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
// kFeedChunkSamples whose filters run on ParallelFilterBank's threads; the blocks are decided in
// order on the caller's thread, where the host hears of them. With more than one thread, the
// caller decides a chunk and gathers the next while the threads filter the two in between.
// Memory stays the same whatever the length of the recording.
class RecordingFeed {
public:
    static constexpr std::size_t kFeedChunkSamples = 128 * kCaptureRegionSamples; // 4.096 s

    RecordingFeed(DetectorState& state, FilterBank& bank, IDetectorHost& host, int threads = 1);

    void Feed(const std::int16_t* samples, std::size_t count);
    // At the end of the recording: analyses the whole blocks still gathered and drops the last
    // samples short of a block.
    void Finish();

    int Threads() const { return filters_.Threads(); }

private:
    struct Chunk {
        std::vector<std::int16_t> samples; // kFeedChunkSamples
        std::vector<std::int32_t> energies; // kToneCount rows of the chunk's blocks
        std::size_t blocks = 0; // being filtered or filtered, not yet decided
        std::uint64_t run = 0; // its run of the filters
    };
    // One chunk being gathered, up to ParallelFilterBank::kRunsInFlight being filtered.
    static constexpr int kChunks = ParallelFilterBank::kRunsInFlight + 1;

    // Hands the gathered chunk to the filters and decides the oldest one still filtering when
    // as many are.
    void Dispatch(std::size_t blocks);
    // Waits for the chunk's filters, then decides its blocks.
    void Decide(Chunk& chunk);

    DetectorState& state_;
    IDetectorHost& host_;
    ParallelFilterBank filters_;
    Chunk chunks_[kChunks];
    int gathering_ = 0; // chunk being gathered; the ones after it (in a ring) are filtering
    std::size_t gathered_ = 0; // samples of it in use
    std::int64_t blocksDecided_ = 0; // since this feed started: finds the region boundaries
    int threshold_ = 0;
};

} // namespace quelsor
