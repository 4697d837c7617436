#pragma once

#include "sound/SoundBackend.h"

#include <string>
#include <string_view>
#include <vector>

namespace quelsor {

// The log lines of the device choice, byte for byte; %s is the text the user gave.
namespace device_text {
    inline constexpr const char* kInputAbsent = "Entrée « %s » absente, entrée par défaut utilisée";
    inline constexpr const char* kOutputAbsent
        = "Sortie « %s » absente, sortie par défaut utilisée";
} // namespace device_text

// The device that `text` names among those of one direction (`input`) in `devices`: the first
// whose id or description equals it, else the first whose description contains it, both without
// regard to letter case (ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic letters). Null
// when none does, or when text is empty.
const SoundDevice* FindDevice(
    const std::vector<SoundDevice>& devices, bool input, std::string_view text);

// The input and output a user asked for by name (quelsor.ini's Entree and Sortie, or a command's
// --input and --output), applied to the backend afresh before each capture start and each
// playback, so that a device plugged in later or a default changed meanwhile is followed.
class DeviceChoice {
public:
    DeviceChoice() = default;
    DeviceChoice(std::string input, std::string output)
        : input_(std::move(input))
        , output_(std::move(output))
    {
    }

    const std::string& Input() const { return input_; }
    const std::string& Output() const { return output_; }

    // What a direction's text comes to among `devices`: the id of the device it names, or
    // empty (the system's default) when the text is empty or names no device present; then
    // `absentLine` is the log line for the absent device ("Entrée « USB » absente, ...").
    struct Resolution {
        std::string id;
        std::string absentLine;
    };
    Resolution Resolve(const std::vector<SoundDevice>& devices, bool input) const;

    // Before a capture start: lists the devices and points the backend's input at what the
    // input text comes to (Resolve). Returns the log line of an absent device, else empty. When
    // the devices cannot be listed the default is used without a line: the start then reports
    // the sound system's failure itself.
    std::string ApplyInput(ISoundBackend& backend) const;
    // The same for the output, before a playback.
    std::string ApplyOutput(ISoundBackend& backend) const;

private:
    std::string Apply(ISoundBackend& backend, bool input) const;

    std::string input_;
    std::string output_;
};

// The device list as `quelsor-cli devices` prints it, one line per device, inputs then outputs:
// "in" or "out", "*" for the current default (else a blank), the id, two spaces, the
// description.
std::string FormatDeviceList(const std::vector<SoundDevice>& devices);

} // namespace quelsor
