#pragma once

#include "common/DtmfTones.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace quelsor {

// How well one closed answer came through the link, in the detector's own units: a block's
// energy is the mean absolute output of a filter over its 16 samples, in 16-bit sample units,
// the unit of the threshold.
//   - level: the mean energy of the two tones of each accepted character, over every block its
//     pair was held for (the decaying tail the mask still shows included);
//   - noise: the mean energy of the eight filters over the empty blocks between the answer's
//     characters, leaving out the 20 blocks after and before any tone pair (the filters ring for
//     some 50 ms after a tone and rise for some 10 ms before it is seen);
//   - the floor: noise, at least 1 (energies are whole units, so a quieter floor cannot be told
//     apart); 1 when the answer has no such block (a single character, or gaps of 40 ms or less);
//   - LevelDb: 20·log10(level / threshold), the threshold taken as at least 1: how far the
//     answer could weaken before its tones stop counting;
//   - SnrDb: 20·log10(level / floor).
struct AnswerQuality {
    double level = 0;
    double noise = 0;
    std::int64_t toneBlocks = 0; // blocks the level is the mean of (> 0)
    std::int64_t noiseBlocks = 0; // blocks the noise is the mean of; 0: none
    int threshold = 0; // the threshold in force when the answer closed

    double Floor() const;
    double LevelDb() const;
    double SnrDb() const;
};

// value rounded to one decimal, with a full stop whatever the locale ("-3.5", "48.0").
std::string OneDecimal(double value);

// Measures AnswerQuality alongside the detector, from the energies it already computes; it takes
// no part in the detector's decisions. The detector state owns one: blocks are added after the
// state machine has seen them, so a character accepted or an answer closed at a block is told
// before that block is added.
class LinkQualityMeter {
public:
    // Minimum distance, in blocks, of a counted noise block from any block with a tone pair.
    static constexpr int kGuardBlocks = 20;

    // One block's energies and its tone mask after the pair rule.
    void AddBlock(
        const std::array<std::int32_t, kToneCount>& energy, std::uint8_t toneMask, int threshold);
    // The pair whose blocks were the last ones added has yielded a character of the answer.
    void CharacterAccepted();
    // The answer has been closed: its quality when its characters' blocks were measured (not
    // when the state machine was driven without energies). The next character starts afresh.
    std::optional<AnswerQuality> CloseAnswer();

private:
    // The run of the current non-empty mask.
    std::uint8_t runMask_ = 0;
    std::int64_t runSum_ = 0; // both tones' energies added
    std::int64_t runBlocks_ = 0;
    // Empty blocks since the last accepted character, far enough from a tone after them: the
    // last kGuardBlocks wait in recent_ until the next block tells whether a tone follows.
    std::int64_t gapSum_ = 0;
    std::int64_t gapBlocks_ = 0;
    std::array<std::int32_t, kGuardBlocks> recent_ {};
    int recentCount_ = 0;
    int recentNext_ = 0;
    int quietBlocks_ = 0; // empty blocks since the last one with a pair (stops at the guard)
    // The answer being received.
    std::int64_t toneSum_ = 0;
    std::int64_t toneBlocks_ = 0;
    std::int64_t noiseSum_ = 0; // eight energies added per block
    std::int64_t noiseBlocks_ = 0;
    int characters_ = 0;
    int threshold_ = 0;
};

} // namespace quelsor
