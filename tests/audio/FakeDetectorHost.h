#pragma once

#include "audio/DetectorHost.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quelsor::testing {

// Records every event of the detector, and composes the received-characters line as the window
// does: each character appended, the first one after a closed answer replacing the line.
class FakeDetectorHost : public IDetectorHost {
public:
    int threshold = 0;
    mutable int thresholdReads = 0;
    ToneIndicators indicators {}; // of the last block
    int toneMaskEvents = 0;
    std::string view;
    bool clearPending = false; // an answer was closed: the next character replaces the view
    std::vector<std::string> decoded; // the closed answers
    std::vector<std::pair<std::int64_t, char>> accepted;
    std::vector<std::pair<std::int64_t, char>> dropped;

    int Threshold() const override
    {
        ++thresholdReads;
        return threshold;
    }
    void OnToneMask(std::int64_t, std::uint8_t, const ToneIndicators& lit) override
    {
        indicators = lit;
        ++toneMaskEvents;
    }
    void OnCharacter(std::int64_t block, char character) override
    {
        view = (clearPending ? std::string() : view) + character;
        clearPending = false;
        accepted.emplace_back(block, character);
    }
    void OnAnswer(const std::string& text) override
    {
        clearPending = true;
        decoded.push_back(text);
    }
    void OnCharacterDropped(std::int64_t block, char character) override
    {
        dropped.emplace_back(block, character);
    }
};

} // namespace quelsor::testing
