#pragma once

#include "audio/DetectorHost.h"
#include "audio/FilterBank.h"

#include <array>
#include <cstdint>
#include <string>

namespace quelsor {

// The DTMF detector. Samples (16-bit, mono, 16000 Hz) are cut into blocks of 16 samples (1 ms);
// every sample goes through the eight band-pass filters of the bank, and the mean absolute
// output of each filter over a block is that tone's energy. Per block:
//   - a tone is present when its energy is above the threshold, is one of the two largest, and
//     the second largest exceeds 1.5 × the third; its indicator is red under the stricter
//     2 × third;
//   - the block's tone mask (tone 0 in bit 7 .. tone 7 in bit 0) is kept only when it holds
//     exactly one low-group and one high-group tone;
//   - a pair yields its character when it ends (the first block whose mask differs), provided it
//     was held for more than 40 further blocks (at least 42 ms) and more than 10 empty blocks
//     have passed since the last accepted character; otherwise it is dropped;
//   - an answer is closed at the first change of mask after more than 450 empty blocks since the
//     last accepted character: the line "%s (%d)" goes to the log and the text to the decoder.
inline constexpr int kBlockSamples = 16; // 1 ms at 16000 Hz
inline constexpr int kHoldBlocks = 40; // stableCount > 40 to yield a character
inline constexpr int kGapBlocks = 10; // silenceCount > 10 since the last accepted character
inline constexpr int kEndOfAnswerBlocks = 450; // silenceCount > 450 closes the answer
inline constexpr std::uint32_t kIndicatorOn = 255; // red
inline constexpr std::uint32_t kIndicatorOff = 0; // black
inline constexpr const char* kAnswerLogFormat = "%s (%d)"; // received text, its length

// Everything the detector remembers from one block to the next and from one call to the next.
// Nothing resets it when capture starts or stops.
struct DetectorState {
    std::uint8_t prevToneMask = 0; // mask of the previous block
    std::int32_t stableCount = 0; // blocks since the mask last changed (0 at the change)
    std::int32_t silenceCount = 0; // empty blocks since the last accepted character
    bool clearPending = false; // an answer was closed: the next character clears the view first
    std::string receivedText; // characters accepted since the last closed answer
    std::int64_t blockIndex = 0; // blocks analysed since this state was created (trace hooks)
};

// Energies of one block, tone order.
using ToneEnergies = std::array<std::int32_t, kToneCount>;

// What one block's energies decide: the tone mask after the pair rule and the indicators.
struct BlockDecision {
    std::uint8_t toneMask = 0;
    std::array<bool, kToneCount> indicators {}; // true = red
};

// The character of a tone mask with exactly one low and one high tone, '?' for any other mask.
char ToneMaskToChar(unsigned mask);

// DetectDTMF runs, per block, the filters, then ClassifyBlock, then AdvanceDetector. The two
// halves are public so that tests can drive the rules with exact energies and exact masks.

// The per-block decision from the eight energies (steps that need no filter): ranking, presence,
// indicators and the pair rule.
BlockDecision ClassifyBlock(const ToneEnergies& energy, int threshold);

// The per-block state machine: hold, gap, acceptance, drop and end of answer for a block whose
// (pair-ruled) mask is toneMask. Calls the host's view, log, decoder and trace hooks.
void AdvanceDetector(DetectorState& state, IDetectorHost& host, std::uint8_t toneMask);

// Analyses the count / 16 whole blocks of samples (the remainder is ignored; count ≤ 0 or a
// null pointer analyses nothing) with the given state and bank. The threshold is read from the
// host once per call.
void DetectDTMF(DetectorState& state, FilterBank& bank, IDetectorHost& host,
    const std::int16_t* samples, int count);

// The form the sound layer calls: the unit's static state and filterBank().
void DetectDTMF(IDetectorHost& host, const std::int16_t* samples, int count);

// The unit's static detector state.
DetectorState& detectorState();

} // namespace quelsor
