#pragma once

#include "audio/DetectorHost.h"
#include "audio/FilterBank.h"
#include "audio/LinkQuality.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace quelsor {

// The DTMF detector. Samples (16-bit, mono, 16000 Hz) are cut into blocks of 16 samples (1 ms);
// every sample goes through the eight band-pass filters of the bank, and the mean absolute
// output of each filter over a block is that tone's energy. Per block:
//   - a tone is present when its energy is above the threshold, is one of the two largest, and
//     the second largest exceeds 1.5 × the third; its indicator is lit under the stricter
//     2 × third;
//   - the block's tone mask (tone 0 in bit 7 .. tone 7 in bit 0) is kept only when it holds
//     exactly one low-group and one high-group tone;
//   - a pair yields its character when it ends (the first block whose mask differs), provided it
//     was held for more than 40 further blocks (at least 42 ms) and more than 10 empty blocks
//     have passed since the last accepted character; otherwise it is dropped;
//   - an answer is closed at the first change of mask after more than 450 empty blocks since the
//     last accepted character.
// The host hears of each block's mask and indicators, each accepted character and each closed
// answer (IDetectorHost); it never tells the detector what it shows.
inline constexpr int kBlockSamples = 16; // 1 ms at 16000 Hz
inline constexpr int kHoldBlocks = 40; // stableCount > 40 to yield a character
inline constexpr int kGapBlocks = 10; // silenceCount > 10 since the last accepted character
inline constexpr int kEndOfAnswerBlocks = 450; // silenceCount > 450 closes the answer

// Everything the detector remembers from one block to the next and from one call to the next.
// Nothing resets it when capture starts or stops. Whoever runs the detector owns one (the sound
// layer keeps its own for the life of the program).
struct DetectorState {
    std::uint8_t prevToneMask = 0; // mask of the previous block
    std::int32_t stableCount = 0; // blocks since the mask last changed (0 at the change)
    std::int32_t silenceCount = 0; // empty blocks since the last accepted character
    std::string receivedText; // characters accepted since the last closed answer
    std::int64_t blockIndex = 0; // blocks analysed since this state was created
    LinkQualityMeter quality; // fed by DecideBlock; the decisions never read it
};

// Energies of one block, tone order.
using ToneEnergies = std::array<std::int32_t, kToneCount>;

// What one block's energies decide: the tone mask after the pair rule and the indicators.
struct BlockDecision {
    std::uint8_t toneMask = 0;
    ToneIndicators indicators {}; // true = lit
};

// The character of a tone mask with exactly one low and one high tone, '?' for any other mask.
char ToneMaskToChar(unsigned mask);

// DetectDTMF runs, per block, three steps that can be taken apart: BlockEnergies (the filters,
// the only per-sample work), ClassifyBlock (the energies' decision) and AdvanceDetector (the state
// machine). Tests drive the last two with exact energies and exact masks; an offline reader may
// compute the energies of many blocks at once and then decide them in order with DecideBlock.

// The eight energies of one block of kBlockSamples samples run through the bank.
ToneEnergies BlockEnergies(FilterBank& bank, const std::int16_t* block);

// The same work for count (1..8) consecutive filters of a bank, or copies of them, over blocks
// consecutive blocks: energies[k * stride + b] is the energy of filter k in block b. Each filter
// computes exactly what BlockEnergies computes for it, whatever the other filters do, so the
// filters of one bank may run on different threads. count outside 1..8 does nothing.
void FilterEnergies(BandPassFilter* filters, int count, const std::int16_t* samples,
    std::size_t blocks, std::int32_t* energies, std::size_t stride);

// The per-block decision from the eight energies (steps that need no filter): ranking, presence,
// indicators and the pair rule.
BlockDecision ClassifyBlock(const ToneEnergies& energy, int threshold);

// The per-block state machine: hold, gap, acceptance, drop and end of answer for a block whose
// (pair-ruled) mask is toneMask. Reports characters, drops and closed answers to the host, then
// counts the block.
void AdvanceDetector(DetectorState& state, IDetectorHost& host, std::uint8_t toneMask);

// One block's energies through ClassifyBlock, the host's OnToneMask, then AdvanceDetector; the
// energies are then added to the state's link quality meter.
void DecideBlock(
    DetectorState& state, IDetectorHost& host, const ToneEnergies& energy, int threshold);

// Analyses the count / 16 whole blocks of samples (the remainder is ignored; count <= 0 or a
// null pointer analyses nothing) with the given state and bank. The threshold is read from the
// host once per call.
void DetectDTMF(DetectorState& state, FilterBank& bank, IDetectorHost& host,
    const std::int16_t* samples, int count);

} // namespace quelsor
