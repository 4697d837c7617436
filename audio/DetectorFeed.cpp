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
    , chunk_(kFeedChunkSamples)
    , energies_(kToneCount * (kFeedChunkSamples / kBlockSamples))
{
}

void RecordingFeed::Feed(const std::int16_t* samples, std::size_t count)
{
    if (samples == nullptr)
        return;
    while (count > 0) {
        const std::size_t taken = std::min(count, kFeedChunkSamples - gathered_);
        std::copy(
            samples, samples + taken, chunk_.begin() + static_cast<std::ptrdiff_t>(gathered_));
        gathered_ += taken;
        samples += taken;
        count -= taken;
        if (gathered_ == kFeedChunkSamples) {
            Analyse(kFeedChunkSamples / kBlockSamples);
            gathered_ = 0;
        }
    }
}

void RecordingFeed::Finish()
{
    Analyse(gathered_ / kBlockSamples);
    gathered_ = 0;
}

void RecordingFeed::Analyse(std::size_t blocks)
{
    filters_.Run(chunk_.data(), blocks, energies_.data());
    for (std::size_t b = 0; b < blocks; ++b) {
        // DetectDTMF reads the threshold once per region.
        if (blocksAnalysed_ % kRegionBlocks == 0)
            threshold_ = host_.Threshold();
        ToneEnergies energy;
        for (std::size_t t = 0; t < energy.size(); ++t)
            energy[t] = energies_[t * blocks + b];
        DecideBlock(state_, host_, energy, threshold_);
        ++blocksAnalysed_;
    }
}

} // namespace quelsor
