#include "Commands.h"

#include "audio/CommandFile.h"

#include <cstdio>

namespace quelsor::cli {

namespace {

    const char* const kGenerateUsage
        = "Usage: quelsor-cli generate [-o FILE] TEXT\n"
          "\n"
          "Writes the DTMF command file of a request text, as the generator button does: the\n"
          "text up to its first space, upper-cased, becomes per character a 150 ms tone pair\n"
          "(0-9, *, #, A-D) and 150 ms of silence, in a 16000 Hz, 16-bit mono WAV file.\n"
          "Several TEXT arguments are joined with spaces; a TEXT starting with - goes after --.\n"
          "\n"
          "Options:\n"
          "  -o, --output FILE   file to write (default tmp_dtmf.wav in the current directory)\n"
          "  -h, --help          show this help\n"
          "\n"
          "Exit status: 0 written, 1 the file cannot be written, 2 usage error.\n";

} // namespace

int RunGenerate(const std::vector<std::string>& args)
{
    if (WantsHelp(args)) {
        std::fputs(kGenerateUsage, stdout);
        return 0;
    }
    std::string output = kCommandFileName;
    std::vector<std::string> words;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded) {
            words.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-o" || arg == "--output") {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "quelsor-cli generate: %s needs a file name\n\n%s",
                    arg.c_str(), kGenerateUsage);
                return 2;
            }
            output = args[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "quelsor-cli generate: unknown option '%s'\n\n%s", arg.c_str(),
                kGenerateUsage);
            return 2;
        } else {
            words.push_back(arg);
        }
    }
    if (words.empty()) {
        std::fprintf(stderr, "quelsor-cli generate: missing TEXT\n\n%s", kGenerateUsage);
        return 2;
    }
    std::string text = words.front();
    for (std::size_t i = 1; i < words.size(); ++i)
        text += " " + words[i];
    if (!WriteCommandFile(output, text)) {
        std::fputs(CommandFileOpenMessage(output).c_str(), stderr);
        return 1;
    }
    return 0;
}

} // namespace quelsor::cli
