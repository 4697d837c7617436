#include "app/CommandLine.h"

#include <cstdio>
#include <cstring>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace quelsor {

const char* const kWindowUsage
    = "Usage: quelsor [OPTIONS]\n"
      "\n"
      "Asks a remote device for its status over an audio link (radio or telephone line):\n"
      "sends the DTMF command of the request chosen in the window on the default sound\n"
      "output, listens on the default sound input, detects the DTMF answer with a bank of\n"
      "band-pass filters, decodes it with the layout given in the configuration file and\n"
      "shows one named, converted parameter per line in the log.\n"
      "\n"
      "Configuration: quelsor.ini beside the executable when that file exists (a portable\n"
      "copy); otherwise quelsor.ini in the user's configuration folder (~/.config/Quelsor\n"
      "on Linux, %LOCALAPPDATA%\\Quelsor on Windows), created from the sample configuration\n"
      "installed with the program the first time. The window then names it in its log.\n"
      "The threshold slider is saved there (key Seuil of section General) when the window\n"
      "closes. 'quelsor-cli config FILE.ini' checks a configuration file.\n"
      "\n"
      "Scratch files: tmp_dtmf.wav (the command played) and tmp.wav (the capture header)\n"
      "are written to the user's cache folder (~/.cache/Quelsor on Linux).\n"
      "\n"
      "Options:\n"
      "  -h, --help     show this help\n"
      "  --version      show the version\n"
      "The toolkit's own options are accepted too, for example -platform offscreen.\n";

namespace {

    // A Windows program of the GUI subsystem has no console: the text goes to the console of
    // the command prompt that started it, unless stdout has been redirected.
    void UseParentConsole()
    {
#ifdef _WIN32
        const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        if ((out == nullptr || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS))
            std::freopen("CONOUT$", "w", stdout);
#endif
    }

} // namespace

int HandleInformationOptions(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            UseParentConsole();
            std::fputs(kWindowUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            UseParentConsole();
            std::printf("quelsor %s\n", QUELSOR_VERSION);
            return 0;
        }
    }
    return -1;
}

} // namespace quelsor
