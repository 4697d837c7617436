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
    // The chunks still filtering, oldest first, follow the one to gather next.
    for (int k = 1; k < kChunks; ++k)
        Decide(chunks_[(gathering_ + k) % kChunks]);
}

void RecordingFeed::Dispatch(std::size_t blocks)
{
    Chunk& gathered = chunks_[gathering_];
    gathered.blocks = blocks;
    if (blocks > 0)
        gathered.run = filters_.Start(gathered.samples.data(), blocks, gathered.energies.data());
    // The next chunk to gather is the oldest one handed out: decided before it is reused.
    gathering_ = (gathering_ + 1) % kChunks;
    gathered_ = 0;
    Decide(chunks_[gathering_]);
}

void RecordingFeed::Decide(Chunk& chunk)
{
    const std::size_t blocks = chunk.blocks;
    if (blocks == 0)
        return;
    filters_.WaitFor(chunk.run);
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
