#pragma once

#include <cstdint>
#include <string>

namespace quelsor {

// Everything the DTMF detector touches outside itself: the threshold slider, the eight tone
// indicators, the received-characters field, the log and the response decoder. The window
// implements it; the command line and the tests provide their own.
class IDetectorHost {
public:
    virtual ~IDetectorHost() = default;

    // Detection threshold in mean absolute filter output units: slider maximum - position (0..180).
    virtual int Threshold() const = 0;
    // Indicator of tone 0..7: colour 255 (red) when shown present, 0 (black) otherwise.
    virtual void SetIndicatorColour(int tone, std::uint32_t colour) = 0;
    // The received-characters field (txtView).
    virtual std::string ViewText() const = 0;
    virtual void SetViewText(const std::string& text) = 0;
    // Adds one line at the end of the log (memoLog).
    virtual void AddLogLine(const std::string& line) = 0;
    // An answer has been closed: hands the received string to the response decoder.
    virtual void DecodeResponse(const std::string& received) = 0;

    // Trace hooks for diagnostics; block is the index of the 1 ms block since the detector state
    // was created. The window ignores them.
    virtual void CharacterAccepted(std::int64_t block, char character)
    {
        (void)block;
        (void)character;
    }
    virtual void CharacterDropped(std::int64_t block, char character)
    {
        (void)block;
        (void)character;
    }
};

} // namespace quelsor
