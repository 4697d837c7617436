#include "AnswerOptions.h"

#include <climits>
#include <cstdio>

namespace quelsor::cli {

void AddAnswerOptions(CLI::App& app, AnswerOptions& options, const char* requestHelp)
{
    app.add_option("--config", options.config, "the configuration file")
        ->option_text("FILE.ini")
        ->required();
    if (requestHelp != nullptr) {
        app.add_option("--request", options.request, requestHelp)
            ->option_text("N")
            ->required()
            ->transform(Decimal(INT_MIN, INT_MAX, "request index", ""));
    }
}

void AddReportOptions(CLI::App& app, AnswerOptions& options, const std::string& formatMore)
{
    app.add_flag("--debug", options.debug,
        "as if \"Aff. Debug\" were checked: detailed report lines, and an answer of the wrong "
        "length is decoded all the same");
    app.add_option_function<std::string>(
           "--format",
           [&options](const std::string& name) { ParseRecordFormat(name, options.format); },
           "text (default: the log lines), json (one JSON object per line for each report line) "
           "or csv (a header, then one line for each report line)"
               + formatMore)
        ->option_text("F")
        ->check(Accepting("format", "text, json or csv", [](std::string& name) {
            RecordFormat format = RecordFormat::Text;
            return ParseRecordFormat(name, format);
        }));
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
