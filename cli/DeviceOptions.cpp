#include "DeviceOptions.h"

#include "sound/DeviceChoice.h"

#include <cstdio>

namespace quelsor::cli {

bool TakeDeviceOptions(const char* command, std::vector<std::string>& args, DeviceOptions& options)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--")
            break;
        if (args[i] != "--input" && args[i] != "--output")
            continue;
        if (i + 1 >= args.size() || args[i + 1].empty()) {
            std::fprintf(stderr,
                "quelsor-cli %s: %s needs a device name\nRun 'quelsor-cli %s --help' for usage.\n",
                command, args[i].c_str(), command);
            return false;
        }
        (args[i] == "--input" ? options.input : options.output) = args[i + 1];
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
            args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
        --i;
    }
    return true;
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
