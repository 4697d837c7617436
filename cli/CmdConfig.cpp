// quelsor-cli config: loads a configuration file as the window does at start and prints what
// the window would hold (threshold, request items, sequences, zones and labels).

#include "CommandLine.h"
#include "Commands.h"

#include "config/Configuration.h"
#include "config/ConfigurationDump.h"
#include "config/Utf8Path.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace quelsor::cli {

namespace {

    const char kConfigDescription[]
        = "Loads FILE.ini as the window does at start and prints:\n"
          "  Seuil=<slider position, 20..200>\n"
          "  Entree=<input>, Sortie=<output>   the sound devices, when named\n"
          "  [<k>] <request item>          per request, k from 0\n"
          "    LGSEQ=<expected answer length>\n"
          "    <zone key> Num=.. Name=.. Mode=.. StartBit=.. BitLength=.. "
          "Formula=..\n"
          "      <value>=<label>           per label of the zone\n"
          "A load that stops at a faulty entry prints 'error: <message>' last\n"
          "and exits with 1 (what was loaded before it is printed). A missing\n"
          "file loads as the window loads it (no request, Seuil=200) with a\n"
          "note on stderr, and exits with 0.\n";

    // Collects the messages the window would show in a message box.
    class CollectedMessages : public IOperatorMessages {
    public:
        void ShowMessage(const std::string& text) override { shown.push_back(text); }
        StringList shown;
    };

} // namespace

int RunConfig(const std::vector<std::string>& args)
{
    CommandLine line("config", kConfigDescription);
    std::string fileName;
    line.App().add_option("FILE.ini", fileName)->required();
    if (const auto done = line.Parse(args))
        return *done;

    ConfigurationRecord record;
    SeqList sequences;
    CollectedMessages messages;
    const ConfigurationLoadResult result = LoadConfiguration(fileName, record, sequences, messages);
    if (!result.fileRead) {
        std::error_code error;
        const bool exists = std::filesystem::exists(PathFromUtf8(fileName), error);
        std::fprintf(stderr, "quelsor-cli config: %s: %s; loaded as the window would, without it\n",
            fileName.c_str(), exists ? "cannot be read" : "file not found");
    }

    std::fputs(DescribeConfiguration(record, sequences).c_str(), stdout);
    for (const std::string& message : messages.shown)
        std::printf("error: %s\n", message.c_str());
    return messages.shown.empty() ? 0 : 1;
}

} // namespace quelsor::cli
