#pragma once

#include "audio/LinkQuality.h"
#include "common/DtmfTones.h"

#include <array>
#include <cstdint>
#include <string>

namespace quelsor {

// The eight tone indicators of one block, tone order: true = shown present (red).
using ToneIndicators = std::array<bool, kToneCount>;

// What the DTMF detector reports, and the one value it asks for. The detector only reports
// events; what they become on screen (indicator colours, the received-characters line, the log
// line of a closed answer, the decoding) is the host's business. The window implements it; the
// command line, the simulated devices and the tests provide their own.
//
// `block` is the index of the 1 ms block since the detector state was created. Events come in
// the order of the blocks; within a block OnToneMask comes first, then the character or answer
// that block ends, if any. Each is called once per block at most, never per sample.
class IDetectorHost {
public:
    virtual ~IDetectorHost() = default;

    // Detection threshold in mean absolute filter output units: slider maximum - position
    // (0..180). Read once per DetectDTMF call.
    virtual int Threshold() const = 0;

    // Every block: its tone mask after the pair rule (tone 0 in bit 7 .. tone 7 in bit 0; 0 when
    // the block holds no valid pair) and its indicators.
    virtual void OnToneMask(
        std::int64_t block, std::uint8_t toneMask, const ToneIndicators& indicators)
        = 0;

    // A character has been accepted into the answer being received.
    virtual void OnCharacter(std::int64_t block, char character) = 0;

    // An answer has been closed by the silence after it: its characters, in order (never empty).
    // The next OnCharacter starts a new answer.
    virtual void OnAnswer(const std::string& text) = 0;

    // How well the answer about to be closed came through (AnswerQuality), right before its
    // OnAnswer; not called when the detector was driven without energies.
    virtual void OnAnswerQuality(const AnswerQuality& quality) { (void)quality; }

    // Trace hook: a pair held long enough ended too soon after the previous character and was
    // dropped. Only diagnostics use it.
    virtual void OnCharacterDropped(std::int64_t block, char character)
    {
        (void)block;
        (void)character;
    }
};

} // namespace quelsor
