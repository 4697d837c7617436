#pragma once

#include "audio/DetectorHost.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quelsor::testing {

// Records everything the detector does to the window.
class FakeDetectorHost : public IDetectorHost {
public:
    int threshold = 0;
    mutable int thresholdReads = 0;
    std::array<std::uint32_t, 8> colours {};
    int colourCalls = 0;
    std::string view;
    std::vector<std::string> log;
    std::vector<std::string> decoded;
    std::vector<std::pair<std::int64_t, char>> accepted;
    std::vector<std::pair<std::int64_t, char>> dropped;

    int Threshold() const override
    {
        ++thresholdReads;
        return threshold;
    }
    void SetIndicatorColour(int tone, std::uint32_t colour) override
    {
        colours.at(static_cast<std::size_t>(tone)) = colour;
        ++colourCalls;
    }
    std::string ViewText() const override { return view; }
    void SetViewText(const std::string& text) override { view = text; }
    void AddLogLine(const std::string& line) override { log.push_back(line); }
    void DecodeResponse(const std::string& received) override { decoded.push_back(received); }
    void CharacterAccepted(std::int64_t block, char character) override
    {
        accepted.emplace_back(block, character);
    }
    void CharacterDropped(std::int64_t block, char character) override
    {
        dropped.emplace_back(block, character);
    }
};

} // namespace quelsor::testing
