// quelsor-cli: the headless side of Quelsor. Generates command files, decodes recordings,
// checks configuration files and formulas, using the same core as the window.

#include "Commands.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace quelsor::cli {

namespace {

    const Command kCommands[] = {
        { "generate", "write the DTMF command file of a request text", RunGenerate },
        { "detect", "run the DTMF detector over a recording", RunDetect },
        { "fft", "print the spectrum magnitudes of each 512-sample frame of a recording", RunFft },
        { "filters", "print the designed band-pass filter bank", RunFilters },
        { "config", "load a configuration file and print what the window would hold", RunConfig },
        { "formula", "evaluate a conversion formula", RunFormula },
        { "answer", "decode answer strings against a configured request", RunAnswer },
        { "decode", "detect and decode the answer in a recording", RunDecode },
        { "simulate", "play a remote device on the default sound devices", RunSimulate },
        { "request", "send one status request over the sound devices and decode the answer",
            RunRequest },
        { "poll", "send status requests again and again; results to files and MQTT", RunPoll },
    };

    void PrintUsage(std::FILE* out)
    {
        std::fprintf(out, "Usage: quelsor-cli COMMAND [OPTIONS] [ARGUMENTS]\n\nCommands:\n");
        for (const Command& command : kCommands)
            std::fprintf(out, "  %-10s %s\n", command.name, command.summary);
        std::fprintf(out, "\nRun 'quelsor-cli COMMAND --help' for the options of a command.\n");
    }

} // namespace

bool WantsHelp(const std::vector<std::string>& args)
{
    for (const std::string& arg : args) {
        if (arg == "-h" || arg == "--help")
            return true;
    }
    return false;
}

} // namespace quelsor::cli

int main(int argc, char** argv)
{
    using namespace quelsor::cli;
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "-h" || name == "--help" || name == "help") {
        PrintUsage(stdout);
        return 0;
    }
    const std::vector<std::string> args(argv + 2, argv + argc);
    for (const Command& command : kCommands) {
        if (name == command.name)
            return command.run(args);
    }
    std::fprintf(stderr, "quelsor-cli: unknown command '%s'\n\n", name.c_str());
    PrintUsage(stderr);
    return 2;
}
