#include "DtmfDetector.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <utility>

namespace quelsor {

namespace {

    constexpr int kLowGroupTones = 4; // tones 0..3; 4..7 are the high group

    // The filter output truncated toward zero and made absolute. Outputs beyond the 32-bit range
    // (an undesigned or damaged filter) saturate and a NaN counts as 0, so the conversion is
    // always defined.
    inline std::int32_t AbsTruncated(double y)
    {
        constexpr double kLimit = 2147483647.0;
        y = std::fabs(y); // no branch on the sign: it alternates with every half wave
        if (y < kLimit)
            return static_cast<std::int32_t>(y);
        return y >= kLimit ? std::numeric_limits<std::int32_t>::max() : 0;
    }

    // Counters run for the life of the program; they stop at the top instead of overflowing.
    inline void Increment(std::int32_t& counter)
    {
        if (counter < std::numeric_limits<std::int32_t>::max())
            ++counter;
    }

    void AcceptCharacter(DetectorState& state, IDetectorHost& host, char character)
    {
        state.silenceCount = 0;
        state.receivedText += character;
        state.quality.CharacterAccepted();
        host.OnCharacter(state.blockIndex, character);
    }

    void CloseAnswer(DetectorState& state, IDetectorHost& host)
    {
        // The state is done with the text before the host hears of it: the host gets a text of
        // its own, whatever it does meanwhile.
        const std::string received = std::move(state.receivedText);
        state.receivedText.clear();
        if (const auto quality = state.quality.CloseAnswer())
            host.OnAnswerQuality(*quality);
        host.OnAnswer(received);
    }

} // namespace

char ToneMaskToChar(unsigned mask)
{
    int low = -1;
    int high = -1;
    for (int t = 0; t < kToneCount; ++t) {
        if ((mask & (0x80u >> t)) == 0)
            continue;
        int& group = t < kLowGroupTones ? low : high;
        if (group >= 0)
            return '?';
        group = t;
    }
    if (mask > 0xFFu || low < 0 || high < 0)
        return '?';
    return kKeypad[low][high - kLowGroupTones];
}

BlockDecision ClassifyBlock(const ToneEnergies& energy, int threshold)
{
    // The three largest energies, a value held by two tones counting twice. Written without
    // branches, as is the rest: on noise the energies come in any order, and a recording's
    // reader classifies 3.6 million blocks per hour of sound.
    std::int32_t first = 0;
    std::int32_t second = 0;
    std::int32_t third = 0;
    for (const std::int32_t e : energy) {
        const std::int32_t belowFirst = std::min(first, e);
        first = std::max(first, e);
        third = std::max(third, std::min(second, belowFirst));
        second = std::max(second, belowFirst);
    }
    // 64-bit so that 1.5 × third and 2 × third cannot overflow.
    const bool pairStandsOut = std::int64_t { third } + third / 2 < second;
    const bool indicatorStandsOut = 2 * std::int64_t { third } < second;

    BlockDecision decision;
    unsigned mask = 0; // bit 7 − t for tone t: the low group in the upper four bits
    for (int t = 0; t < kToneCount; ++t) {
        const std::int32_t e = energy[static_cast<std::size_t>(t)];
        const bool strong = (e > threshold) & (e >= second);
        mask |= static_cast<unsigned>(strong & pairStandsOut) << (kToneCount - 1 - t);
        decision.indicators[static_cast<std::size_t>(t)] = strong & indicatorStandsOut;
    }
    // One tone of each group, or none.
    constexpr int kHighGroupTones = kToneCount - kLowGroupTones;
    if (std::popcount(mask >> kHighGroupTones) != 1
        || std::popcount(mask & ((1u << kHighGroupTones) - 1)) != 1)
        mask = 0;
    decision.toneMask = static_cast<std::uint8_t>(mask);
    return decision;
}

void AdvanceDetector(DetectorState& state, IDetectorHost& host, std::uint8_t toneMask)
{
    if (toneMask == 0)
        Increment(state.silenceCount);
    if (toneMask == state.prevToneMask) {
        Increment(state.stableCount);
    } else {
        bool characterEnded = false;
        if (state.prevToneMask != 0 && state.stableCount > kHoldBlocks) {
            const char character = ToneMaskToChar(state.prevToneMask);
            if (character != '?') {
                characterEnded = true;
                if (state.silenceCount > kGapBlocks)
                    AcceptCharacter(state, host, character);
                else
                    host.OnCharacterDropped(state.blockIndex, character);
            }
        }
        if (!characterEnded && state.silenceCount > kEndOfAnswerBlocks
            && !state.receivedText.empty())
            CloseAnswer(state, host);
        state.stableCount = 0;
    }
    state.prevToneMask = toneMask;
    ++state.blockIndex;
}

namespace {

    // Count filters side by side, sample by sample: each gets the same stream in the same order
    // while their independent recursions overlap. The count is a template argument so that the
    // inner loop is unrolled. For each block, a filter's delay lines lie in a straight line (its
    // seven latest values, then the block's), so the per-sample step indexes no ring and every
    // division by the gain is done ahead of the recursion; the filters' own delay lines are read
    // before the first block and set after the last.
    template <int Count>
    void RunFilters(BandPassFilter* filters, const std::int16_t* samples, std::size_t blocks,
        std::int32_t* energies, std::size_t stride)
    {
        constexpr int kHistory = BandPassFilter::kDelayLength;
        constexpr int kLine = kHistory + kBlockSamples;
        static_assert(kHistory <= kBlockSamples);
        if (blocks == 0)
            return;
        double xLine[Count][kLine];
        double yLine[Count][kLine];
        for (int k = 0; k < Count; ++k) {
            for (int j = 0; j < kHistory; ++j) {
                xLine[k][j] = filters[k].XHistory(j);
                yLine[k][j] = filters[k].YHistory(j);
            }
        }
        for (std::size_t b = 0; b < blocks; ++b) {
            const std::int16_t* block = samples + b * kBlockSamples;
            for (int k = 0; k < Count; ++k) {
                const double gain = filters[k].gain;
                for (int i = 0; i < kBlockSamples; ++i)
                    xLine[k][kHistory + i] = static_cast<double>(block[i]) / gain;
            }
            for (int i = 0; i < kBlockSamples; ++i) {
                for (int k = 0; k < Count; ++k)
                    yLine[k][kHistory + i]
                        = filters[k].NextOutput(&xLine[k][i + 1], &yLine[k][i + 1]);
            }
            for (int k = 0; k < Count; ++k) {
                std::int64_t sum = 0;
                for (int i = 0; i < kBlockSamples; ++i)
                    sum += AbsTruncated(yLine[k][kHistory + i]);
                energies[static_cast<std::size_t>(k) * stride + b]
                    = static_cast<std::int32_t>(sum / kBlockSamples);
                for (int j = 0; j < kHistory; ++j) { // kHistory <= kBlockSamples: no overlap
                    xLine[k][j] = xLine[k][kBlockSamples + j];
                    yLine[k][j] = yLine[k][kBlockSamples + j];
                }
            }
        }
        for (int k = 0; k < Count; ++k)
            filters[k].AdvanceHistory(xLine[k], yLine[k], blocks * kBlockSamples);
    }

} // namespace

void FilterEnergies(BandPassFilter* filters, int count, const std::int16_t* samples,
    std::size_t blocks, std::int32_t* energies, std::size_t stride)
{
    if (count > kToneCount)
        return;
    if (count > 4) {
        // Beyond four filters side by side the recursions overlap no better and the loop gets
        // slower (6 % for eight here): two halves, one after the other.
        const int half = count / 2;
        FilterEnergies(filters, half, samples, blocks, energies, stride);
        FilterEnergies(filters + half, count - half, samples, blocks,
            energies + static_cast<std::size_t>(half) * stride, stride);
        return;
    }
    switch (count) {
    case 1:
        return RunFilters<1>(filters, samples, blocks, energies, stride);
    case 2:
        return RunFilters<2>(filters, samples, blocks, energies, stride);
    case 3:
        return RunFilters<3>(filters, samples, blocks, energies, stride);
    case 4:
        return RunFilters<4>(filters, samples, blocks, energies, stride);
    default:
        return;
    }
}

ToneEnergies BlockEnergies(FilterBank& bank, const std::int16_t* block)
{
    ToneEnergies energy;
    FilterEnergies(bank.data(), kToneCount, block, 1, energy.data(), 1);
    return energy;
}

void DecideBlock(
    DetectorState& state, IDetectorHost& host, const ToneEnergies& energy, int threshold)
{
    const BlockDecision decision = ClassifyBlock(energy, threshold);
    host.OnToneMask(state.blockIndex, decision.toneMask, decision.indicators);
    AdvanceDetector(state, host, decision.toneMask);
    state.quality.AddBlock(energy, decision.toneMask, threshold);
}

void DetectDTMF(DetectorState& state, FilterBank& bank, IDetectorHost& host,
    const std::int16_t* samples, int count)
{
    const int threshold = host.Threshold();
    if (samples == nullptr || count < kBlockSamples)
        return;
    const int blocks = count / kBlockSamples;
    for (int b = 0; b < blocks; ++b) {
        const std::int16_t* block = samples + static_cast<std::ptrdiff_t>(b) * kBlockSamples;
        DecideBlock(state, host, BlockEnergies(bank, block), threshold);
    }
}

} // namespace quelsor
