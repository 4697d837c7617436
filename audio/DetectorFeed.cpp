#include "DetectorFeed.h"

#include <algorithm>

namespace quelsor {

namespace {

    constexpr int kRegionBlocks = kCaptureRegionSamples / kBlockSamples; // 32

} // namespace

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

RecordingFeed::RecordingFeed(
    DetectorState& state, FilterBank& bank, IDetectorHost& host, int threads)
    : state_(state)
    , host_(host)
    , filters_(bank, threads)
{
    for (Chunk& chunk : chunks_) {
        chunk.samples.resize(kFeedChunkSamples);
        chunk.energies.resize(kToneCount * (kFeedChunkSamples / kBlockSamples));
    }
}

void RecordingFeed::Feed(const std::int16_t* samples, std::size_t count)
{
    if (samples == nullptr)
        return;
    while (count > 0) {
        Chunk& chunk = chunks_[gathering_];
        const std::size_t taken = std::min(count, kFeedChunkSamples - gathered_);
        std::copy(samples, samples + taken,
            chunk.samples.begin() + static_cast<std::ptrdiff_t>(gathered_));
        gathered_ += taken;
        samples += taken;
        count -= taken;
        if (gathered_ == kFeedChunkSamples)
            Dispatch(kFeedChunkSamples / kBlockSamples);
    }
}

void RecordingFeed::Finish()
{
    Dispatch(gathered_ / kBlockSamples);
    filters_.Wait();
    Decide(chunks_[1 - gathering_]);
}

void RecordingFeed::Dispatch(std::size_t blocks)
{
    // The chunk filtered last is done before its buffers are reused or its blocks decided.
    filters_.Wait();
    Chunk& gathered = chunks_[gathering_];
    Chunk& previous = chunks_[1 - gathering_];
    gathered.blocks = blocks;
    filters_.Start(gathered.samples.data(), blocks, gathered.energies.data());
    Decide(previous);
    gathering_ = 1 - gathering_;
    gathered_ = 0;
}

void RecordingFeed::Decide(Chunk& chunk)
{
    const std::size_t blocks = chunk.blocks;
    for (std::size_t b = 0; b < blocks; ++b) {
        // DetectDTMF reads the threshold once per region.
        if (blocksDecided_ % kRegionBlocks == 0)
            threshold_ = host_.Threshold();
        ToneEnergies energy;
        for (std::size_t t = 0; t < energy.size(); ++t)
            energy[t] = chunk.energies[t * blocks + b];
        DecideBlock(state_, host_, energy, threshold_);
        ++blocksDecided_;
    }
    chunk.blocks = 0;
}

} // namespace quelsor
