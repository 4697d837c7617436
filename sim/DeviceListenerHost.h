#pragma once

#include "audio/DetectorHost.h"

#include <cstdint>
#include <string>

namespace quelsor {

// A remote device's side of its DTMF detector: there is no window, so the indicators, the log
// and the decoder are ignored; the accepted characters are collected with the block of the last
// one, so that the device can tell when a command is complete.
class DeviceListenerHost : public IDetectorHost {
public:
    explicit DeviceListenerHost(int threshold)
        : threshold_(threshold)
    {
    }
    int Threshold() const override { return threshold_; }
    void SetIndicatorColour(int, std::uint32_t) override { }
    std::string ViewText() const override { return view_; }
    void SetViewText(const std::string& text) override { view_ = text; }
    void AddLogLine(const std::string&) override { }
    void DecodeResponse(const std::string&) override { }
    void CharacterAccepted(std::int64_t block, char character) override
    {
        heard += character;
        lastBlock = block;
    }

    std::string heard; // accepted since the last clear
    std::int64_t lastBlock = 0;

private:
    int threshold_;
    std::string view_;
};

} // namespace quelsor
