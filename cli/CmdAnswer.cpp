// quelsor-cli answer: decodes answer strings against a configured request and prints the log
// lines the window would show.

#include "Commands.h"
#include "StderrMessages.h"

#include "decoder/DecoderSession.h"

#include <charconv>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

namespace quelsor::cli {

namespace {

    const char kAnswerUsage[]
        = R"usage(Usage: quelsor-cli answer --config FILE.ini --request N [--debug] STRING...

Loads the configuration FILE.ini, makes request N (0 for the first request
item, -1 for none) the request whose answer is awaited, then for each STRING
does what the detector does when it closes an answer: logs "STRING (length)"
and hands STRING to the response decoder. Prints every log line in order,
exactly as the log window shows it.

Options:
  --config FILE.ini  the configuration file (required)
  --request N        index of the pending request, -1 for none (required)
  --debug            as if "Aff. Debug" were checked: detailed report lines,
                     and an answer of the wrong length is decoded all the same
  -h, --help         show this help

Messages the window would show in a box (configuration errors, "Parser stack
overflow.") are printed on stderr. Exit status: 0 on success, 2 for a usage
error, an unreadable configuration file or a request outside the items.
)usage";

    bool ParseInt(const std::string& text, int& value)
    {
        const char* last = text.data() + text.size();
        const auto [end, error] = std::from_chars(text.data(), last, value);
        return !text.empty() && error == std::errc() && end == last;
    }

} // namespace

// The options answer and decode share. threshold is -1 unless withThreshold and given.
// Prints the error and returns false on a usage error.
bool ParseAnswerArguments(const char* command, const std::vector<std::string>& args,
    bool withThreshold, std::string& config, int& request, bool& debug, int& threshold,
    std::vector<std::string>& positional)
{
    bool haveRequest = false;
    threshold = -1;
    auto fail = [&](const std::string& message) {
        std::fprintf(stderr, "quelsor-cli %s: %s\nRun 'quelsor-cli %s --help' for usage.\n",
            command, message.c_str(), command);
        return false;
    };
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-';
        if (!isOption) {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--debug") {
            debug = true;
        } else if (arg == "--config" || arg == "--request"
            || (withThreshold && arg == "--threshold")) {
            if (i + 1 >= args.size())
                return fail(arg + " needs a value");
            const std::string& value = args[++i];
            if (arg == "--config") {
                config = value;
            } else if (arg == "--request") {
                if (!ParseInt(value, request))
                    return fail("invalid request index '" + value + "'");
                haveRequest = true;
            } else if (!ParseInt(value, threshold) || threshold < 0) {
                return fail("invalid threshold '" + value + "' (expected 0 or more)");
            }
        } else {
            return fail("unknown option '" + arg + "'");
        }
    }
    if (config.empty())
        return fail("missing --config FILE.ini");
    if (!haveRequest)
        return fail("missing --request N");
    return true;
}

// Loads the configuration into session and makes request pending; prints the error and returns
// false when the file cannot be read or the request is not one of its items.
bool OpenDecoderSession(
    const char* command, DecoderSession& session, const std::string& config, int request)
{
    const ConfigurationLoadResult loaded = session.Load(config);
    if (!loaded.fileRead) {
        std::fprintf(stderr, "quelsor-cli %s: cannot read the configuration file '%s'\n", command,
            config.c_str());
        return false;
    }
    if (!session.SetPendingRequest(request)) {
        std::fprintf(stderr,
            "quelsor-cli %s: request %d is not one of the %d request items of '%s' (-1 for "
            "none)\n",
            command, request, static_cast<int>(session.Configuration().items.size()),
            config.c_str());
        return false;
    }
    return true;
}

int RunAnswer(const std::vector<std::string>& args)
{
    if (WantsHelp(args)) {
        std::fputs(kAnswerUsage, stdout);
        return 0;
    }
    std::string config;
    int request = -1;
    bool debug = false;
    int threshold = -1;
    std::vector<std::string> strings;
    if (!ParseAnswerArguments("answer", args, false, config, request, debug, threshold, strings))
        return 2;
    if (strings.empty()) {
        std::fprintf(stderr,
            "quelsor-cli answer: missing STRING\nRun 'quelsor-cli answer --help' for usage.\n");
        return 2;
    }

    StderrMessages messages;
    DecoderSession session(
        [](const std::string& line) { std::printf("%s\n", line.c_str()); }, messages, debug);
    if (!OpenDecoderSession("answer", session, config, request))
        return 2;
    for (const std::string& received : strings)
        session.CloseAnswer(received);
    std::fflush(stdout);
    return 0;
}

} // namespace quelsor::cli
