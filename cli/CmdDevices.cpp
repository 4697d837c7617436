// quelsor-cli devices: the sound inputs and outputs the program can use, with the ids that
// quelsor.ini's Entree and Sortie and the commands' --input and --output accept.

#include "CommandLine.h"
#include "Commands.h"

#ifdef QUELSOR_HAVE_SOUND
#include "SoundApplication.h"

#include "device/NewSoundBackend.h"
#include "sound/DeviceChoice.h"
#endif

#include <cstdio>
#include <string>
#include <vector>

namespace quelsor::cli {

namespace {

    const char kDevicesDescription[]
        = R"usage(Lists the sound devices, one line each, the inputs first, then the outputs:

  in * alsa_input.usb-radio  USB Audio Interface Analog Mono
  out   alsa_output.pci-analog  Built-in Audio Analog Stereo

"in" or "out", "*" for the system's current default (else a blank), the
device's id, two spaces, its description. Monitors of outputs are not
inputs and are left out.

quelsor.ini's [General] Entree and Sortie, and the --input and --output
options of request, poll and simulate, choose a device by its id or its
description (any letter case), or by a part of its description: the first
device whose description contains it.
)usage";

} // namespace

int RunDevices(const std::vector<std::string>& args)
{
    CommandLine line("devices", kDevicesDescription,
        "Exit status: 0 when devices were listed, 2 when no sound server answers or\n"
        "it has no device (the reason on stderr), or for a usage error.\n");
    if (const auto done = line.Parse(args))
        return *done;
#ifndef QUELSOR_HAVE_SOUND
    std::fprintf(stderr, "quelsor-cli devices: built without sound support\n");
    return 2;
#else
    const SoundApplication application;
    const auto backend = NewSoundBackend(SoundWaits::CommandLine);
    if (backend->Load() != 0) {
        std::fprintf(stderr, "quelsor-cli devices: the sound system cannot be used\n");
        return 2;
    }
    std::vector<SoundDevice> devices;
    std::string error;
    const bool listed = backend->ListDevices(devices, error);
    backend->Unload();
    if (!listed) {
        std::fprintf(stderr, "quelsor-cli devices: no sound server answers: %s\n", error.c_str());
        return 2;
    }
    if (devices.empty()) {
        std::fprintf(stderr, "quelsor-cli devices: the sound server has no input or output\n");
        return 2;
    }
    std::fputs(FormatDeviceList(devices).c_str(), stdout);
    return 0;
#endif
}

} // namespace quelsor::cli
