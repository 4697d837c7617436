#include "LinkQuality.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace quelsor {

double AnswerQuality::Floor() const { return noiseBlocks > 0 ? std::max(noise, 1.0) : 1.0; }

double AnswerQuality::LevelDb() const { return 20.0 * std::log10(level / std::max(threshold, 1)); }

double AnswerQuality::SnrDb() const { return 20.0 * std::log10(level / Floor()); }

std::string OneDecimal(double value)
{
    const long long tenths = std::llround(value * 10.0);
    const long long whole = (tenths < 0 ? -tenths : tenths);
    char text[48];
    std::snprintf(text, sizeof text, "%s%lld.%lld", tenths < 0 ? "-" : "", whole / 10, whole % 10);
    return text;
}

void LinkQualityMeter::AddBlock(
    const std::array<std::int32_t, kToneCount>& energy, std::uint8_t toneMask, int threshold)
{
    threshold_ = threshold;
    if (toneMask != 0) {
        if (toneMask != runMask_) {
            runMask_ = toneMask;
            runSum_ = 0;
            runBlocks_ = 0;
        }
        for (int t = 0; t < kToneCount; ++t) {
            if ((toneMask & (0x80u >> t)) != 0)
                runSum_ += energy[static_cast<std::size_t>(t)];
        }
        ++runBlocks_;
        recentCount_ = 0; // the tone's rise
        quietBlocks_ = 0;
        return;
    }
    runMask_ = 0;
    if (quietBlocks_ < kGuardBlocks) {
        ++quietBlocks_; // the ringing after a tone
        return;
    }
    std::int64_t sum = 0;
    for (const std::int32_t e : energy)
        sum += e;
    if (recentCount_ == kGuardBlocks) {
        gapSum_ += recent_[static_cast<std::size_t>(recentNext_)];
        ++gapBlocks_;
    } else {
        ++recentCount_;
    }
    recent_[static_cast<std::size_t>(recentNext_)] = static_cast<std::int32_t>(
        std::min<std::int64_t>(sum, std::numeric_limits<std::int32_t>::max()));
    recentNext_ = (recentNext_ + 1) % kGuardBlocks;
}

void LinkQualityMeter::CharacterAccepted()
{
    toneSum_ += runSum_;
    toneBlocks_ += runBlocks_;
    if (characters_ > 0) {
        noiseSum_ += gapSum_;
        noiseBlocks_ += gapBlocks_;
    }
    ++characters_;
    gapSum_ = 0;
    gapBlocks_ = 0;
    recentCount_ = 0;
}

std::optional<AnswerQuality> LinkQualityMeter::CloseAnswer()
{
    std::optional<AnswerQuality> quality;
    if (toneBlocks_ > 0) {
        quality.emplace();
        quality->level = static_cast<double>(toneSum_) / (2.0 * static_cast<double>(toneBlocks_));
        quality->toneBlocks = toneBlocks_;
        quality->noiseBlocks = noiseBlocks_;
        if (noiseBlocks_ > 0)
            quality->noise = static_cast<double>(noiseSum_)
                / (static_cast<double>(kToneCount) * static_cast<double>(noiseBlocks_));
        quality->threshold = threshold_;
    }
    toneSum_ = 0;
    toneBlocks_ = 0;
    noiseSum_ = 0;
    noiseBlocks_ = 0;
    characters_ = 0;
    gapSum_ = 0;
    gapBlocks_ = 0;
    return quality;
}

} // namespace quelsor
