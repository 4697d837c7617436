// quelsor-cli-sound: the commands of quelsor-cli that use the sound devices (and so Qt and the
// sound server's library). quelsor-cli runs it in its own place for those commands; run by hand,
// it takes the same command line after the program's name.

#include "Commands.h"

#include "common/WideText.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    using namespace quelsor::cli;
    static const Command kSoundCommands[] = {
        { "devices", "", RunDevices },
        { "simulate", "", RunSimulate },
        { "request", "", RunRequest },
        { "poll", "", RunPoll },
    };
    quelsor::UseUtf8Console();
    const std::vector<std::string> arguments = quelsor::ProgramArguments(argc, argv);
    if (arguments.size() >= 2) {
        const std::vector<std::string> args(arguments.begin() + 2, arguments.end());
        for (const Command& command : kSoundCommands) {
            if (arguments[1] == command.name)
                return command.run(args);
        }
    }
    const bool help = arguments.size() >= 2 && (arguments[1] == "-h" || arguments[1] == "--help");
    std::fprintf(help ? stdout : stderr,
        "Usage: quelsor-cli-sound devices|simulate|request|poll [OPTIONS]\n"
        "The sound commands of quelsor-cli, which runs this program for them: see "
        "'quelsor-cli --help'.\n");
    return help ? 0 : 2;
}
