#include "AnswerOptions.h"

#include "CliWav.h"

#include <cstdio>

namespace quelsor::cli {

bool ParseAnswerArguments(const char* command, const std::vector<std::string>& args,
    bool forRecording, AnswerOptions& options)
{
    bool haveRequest = false;
    std::string& config = options.config;
    int& request = options.request;
    int& threshold = options.threshold;
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
            options.positional.push_back(arg);
            continue;
        }
        std::string error;
        if (forRecording
            && TakeRecordingOption(args, i, kChannelOption | kThreadsOption | kTimesOption,
                options.recording, error)) {
            if (!error.empty())
                return fail(error);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--debug") {
            options.debug = true;
        } else if (forRecording && arg == "--all") {
            options.all = true;
        } else if (arg == "--config" || arg == "--request" || arg == "--format"
            || (forRecording && arg == "--threshold")) {
            if (i + 1 >= args.size())
                return fail(arg + " needs a value");
            const std::string& value = args[++i];
            if (arg == "--config") {
                config = value;
            } else if (arg == "--format") {
                if (!ParseRecordFormat(value, options.format))
                    return fail("invalid format '" + value + "' (expected text, json or csv)");
            } else if (arg == "--request") {
                if (!ParseInteger(value, request))
                    return fail("invalid request index '" + value + "'");
                haveRequest = true;
            } else if (!ParseInteger(value, threshold) || threshold < 0) {
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

} // namespace quelsor::cli
