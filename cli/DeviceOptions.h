#pragma once

#include "CommandLine.h"

#include "sound/SoundBackend.h"

#include <string>
#include <vector>

namespace quelsor::cli {

// --input TEXT and --output TEXT of the sound commands: the devices to use, named as in
// quelsor.ini's Entree and Sortie (an id or a description, or a part of a description, in any
// letter case). They win over the configuration file.
struct DeviceOptions {
    std::string input; // empty when not given
    std::string output;
};

// Declares --input DEVICE and --output DEVICE (an empty name is refused); their help says what
// each is for (" to listen on") and what it replaces.
void AddDeviceOptions(CLI::App& app, DeviceOptions& options, const std::string& inputUse,
    const std::string& outputUse);

// The ids of the devices the options name, among those the backend lists now; empty for an
// option not given. False, after the message on stderr, when the devices cannot be listed or an
// option names none of them (then the devices are listed on stderr too).
bool ResolveDeviceOptions(const char* command, ISoundBackend& backend, const DeviceOptions& options,
    std::string& inputId, std::string& outputId);

} // namespace quelsor::cli
