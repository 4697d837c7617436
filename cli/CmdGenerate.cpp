#include "CommandLine.h"
#include "Commands.h"

#include "audio/CommandFile.h"

#include <cstdio>

namespace quelsor::cli {

namespace {

    const char kGenerateDescription[]
        = "Writes the DTMF command file of a request text, as the generator button does:\n"
          "the text up to its first space, upper-cased, becomes per character a 150 ms\n"
          "tone pair (0-9, *, #, A-D) and 150 ms of silence, in a 16000 Hz, 16-bit mono\n"
          "WAV file. Several TEXT arguments are joined with spaces; a TEXT starting with\n"
          "- goes after --.\n";

} // namespace

int RunGenerate(const std::vector<std::string>& args)
{
    CommandLine line("generate", kGenerateDescription,
        "Exit status: 0 written, 1 the file cannot be written, 2 usage error.\n");
    std::string output = kCommandFileName;
    std::vector<std::string> words;
    line.App()
        .add_option(
            "-o,--output", output, "file to write (default tmp_dtmf.wav in the current directory)")
        ->option_text("FILE");
    line.App().add_option("TEXT", words)->required();
    if (const auto done = line.Parse(args))
        return *done;
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
