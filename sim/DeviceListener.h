#pragma once

#include "audio/DetectorHost.h"
#include "audio/DtmfDetector.h"
#include "audio/FilterBank.h"
#include "sound/CaptureBuffer.h"
#include "sound/CaptureSliceReader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quelsor {

// A remote device's ears: a DTMF detector of its own (fresh state, its own filter bank) over what
// it hears, collecting the characters it accepts into the command being received. There is no
// window, so indicators and closed answers are ignored; a command is complete once the line has
// been quiet for a while after its last character (TakeCommand). `quelsor-cli simulate` feeds it
// from its capture buffer, the tests' simulated link with the samples the program plays.
class DeviceListener : private IDetectorHost {
public:
    // threshold: of the device's detector. settleSamples: samples dropped before anything is
    // analysed (the tail of the device's own transmission that a link may still deliver).
    explicit DeviceListener(int threshold, int settleSamples = 0);

    // Analyses samples as heard next.
    void Hear(const std::int16_t* samples, std::size_t count);

    // Reading of a capture buffer: from the slice at offset, then, at each HearCaptured, every
    // whole slice captured since the previous one, through the sound layer's slice reader.
    void StartReading(std::uint32_t offset) { reader_.Restart(offset); }
    CaptureSliceReader::Result HearCaptured(CaptureBuffer& buffer);

    // Whether the settling samples have all been dropped.
    bool Settled() const { return settleSamples_ == 0; }
    // Characters accepted since the last command taken.
    const std::string& Heard() const { return heard_; }
    // The command heard, once more than quietBlocks 1 ms blocks have been analysed since its last
    // character: true and the command moved into `command`; false while nothing (or not yet
    // enough quiet) has been heard.
    bool TakeCommand(std::int64_t quietBlocks, std::string& command);

private:
    int Threshold() const override { return threshold_; }
    void OnToneMask(std::int64_t, std::uint8_t, const ToneIndicators&) override { }
    void OnCharacter(std::int64_t block, char character) override;
    void OnAnswer(const std::string&) override { }

    int threshold_;
    int settleSamples_;
    std::unique_ptr<FilterBank> bank_;
    DetectorState state_;
    CaptureSliceReader reader_;
    std::string heard_;
    std::int64_t lastBlock_ = 0; // block of the last accepted character
};

} // namespace quelsor
