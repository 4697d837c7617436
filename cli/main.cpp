// quelsor-cli: the headless side of Quelsor. Generates command files, decodes recordings,
// checks configuration files and formulas, using the same core as the window.

#include "Commands.h"

#include "common/WideText.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace quelsor::cli {

namespace {

    const Command kCommands[] = {
        { "generate", "write the DTMF command file of a request text", RunGenerate },
        { "detect", "run the DTMF detector over a recording", RunDetect },
        { "fft", "print the spectrum of each 512-sample frame of a recording", RunFft },
        { "filters", "print the designed band-pass filter bank", RunFilters },
        { "config", "load a configuration file and print what the window would hold", RunConfig },
        { "formula", "evaluate a conversion formula", RunFormula },
        { "answer", "decode answer strings against a configured request", RunAnswer },
        { "decode", "detect and decode the answer in a recording", RunDecode },
        { "devices", "list the sound inputs and outputs", RunDevices },
        { "simulate", "play a remote device on the sound devices", RunSimulate },
        { "request", "send one status request over the sound devices, decode its answer",
            RunRequest },
        { "poll", "send status requests again and again; results to files and MQTT", RunPoll },
    };

    void PrintUsage(std::FILE* out)
    {
        std::fprintf(out, "Usage: quelsor-cli COMMAND [OPTIONS] [ARGUMENTS]\n\nCommands:\n");
        for (const Command& command : kCommands)
            std::fprintf(out, "  %-10s %s\n", command.name, command.summary);
        std::fprintf(out,
            "\nRun 'quelsor-cli COMMAND --help' for the options of a command, and\n"
            "'quelsor-cli --version' for the version.\n");
    }

} // namespace

} // namespace quelsor::cli

int main(int argc, char** argv)
{
    using namespace quelsor::cli;
    quelsor::UseUtf8Console();
    // In UTF-8 on every platform, as the commands expect file names and texts.
    const std::vector<std::string> arguments = quelsor::ProgramArguments(argc, argv);
    if (arguments.size() < 2) {
        PrintUsage(stderr);
        return 2;
    }
    const std::string name = arguments[1];
    if (name == "-h" || name == "--help" || name == "help") {
        PrintUsage(stdout);
        return 0;
    }
    if (name == "--version") {
        std::printf("quelsor-cli %s\n", QUELSOR_VERSION);
        return 0;
    }
    const std::vector<std::string> args(arguments.begin() + 2, arguments.end());
    for (const Command& command : kCommands) {
        if (name == command.name)
            return command.run(args);
    }
    std::fprintf(stderr, "quelsor-cli: unknown command '%s'\n\n", name.c_str());
    PrintUsage(stderr);
    return 2;
}
