#include "DeviceOptions.h"

#include "sound/DeviceChoice.h"

#include <cstdio>

namespace quelsor::cli {

void AddDeviceOptions(CLI::App& app, DeviceOptions& options, const std::string& inputUse,
    const std::string& outputUse)
{
    app.add_option("--input", options.input,
           "the sound input" + inputUse
               + ": a device's id or description, or a part of its description (see quelsor-cli "
                 "devices)")
        ->option_text("DEVICE")
        ->check(NotEmpty("--input needs a device name"));
    app.add_option("--output", options.output, "the sound output" + outputUse)
        ->option_text("DEVICE")
        ->check(NotEmpty("--output needs a device name"));
}

bool ResolveDeviceOptions(const char* command, ISoundBackend& backend, const DeviceOptions& options,
    std::string& inputId, std::string& outputId)
{
    inputId.clear();
    outputId.clear();
    if (options.input.empty() && options.output.empty())
        return true;
    std::vector<SoundDevice> devices;
    std::string error;
    if (!backend.ListDevices(devices, error)) {
        std::fprintf(stderr, "quelsor-cli %s: the sound devices cannot be listed: %s\n", command,
            error.c_str());
        return false;
    }
    bool found = true;
    for (const bool input : { true, false }) {
        const std::string& text = input ? options.input : options.output;
        if (text.empty())
            continue;
        if (const SoundDevice* device = FindDevice(devices, input, text)) {
            (input ? inputId : outputId) = device->id;
        } else {
            std::fprintf(stderr, "quelsor-cli %s: no sound %s matches '%s'\n", command,
                input ? "input" : "output", text.c_str());
            found = false;
        }
    }
    if (!found)
        std::fprintf(stderr, "The sound devices are:\n%s", FormatDeviceList(devices).c_str());
    return found;
}

} // namespace quelsor::cli
