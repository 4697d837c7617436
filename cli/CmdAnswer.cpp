// quelsor-cli answer: decodes answer strings against a configured request and prints the log
// lines the window would show.

#include "AnswerOptions.h"
#include "Commands.h"
#include "ResultPrinter.h"
#include "StderrMessages.h"

#include <cstdio>
#include <string>
#include <vector>

namespace quelsor::cli {

namespace {

    const char kAnswerUsage[]
        = R"usage(Usage: quelsor-cli answer --config FILE.ini --request N [--debug] [--format F] STRING...

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
  --format F         text (default: the log lines), json (one JSON object per
                     line for each report line) or csv (a header, then one
                     line for each report line); see FORMATS below
  -h, --help         show this help

FORMATS: each json or csv record has the fields time, request, label, zone,
name, raw, value, text and status (ok, or mismatch for an answer of the wrong
length decoded because of --debug); an answer of the wrong length without
--debug gives one record with status mismatch and no zone. answer records
have no time.

Messages the window would show in a box (configuration errors, "Parser stack
overflow.") are printed on stderr. Exit status: 0 on success, 2 for a usage
error, an unreadable configuration file or a request outside the items.
)usage";

} // namespace

int RunAnswer(const std::vector<std::string>& args)
{
    if (WantsHelp(args)) {
        std::fputs(kAnswerUsage, stdout);
        return 0;
    }
    AnswerOptions options;
    if (!ParseAnswerArguments("answer", args, false, options))
        return 2;
    if (options.positional.empty()) {
        std::fprintf(stderr,
            "quelsor-cli answer: missing STRING\nRun 'quelsor-cli answer --help' for usage.\n");
        return 2;
    }

    StderrMessages messages;
    DecoderSession session([](const std::string&) {}, messages, options.debug);
    ResultPrinter printer(options.format);
    printer.Attach(session);
    if (!OpenDecoderSession("answer", session, options.config, options.request))
        return 2;
    for (const std::string& received : options.positional)
        session.CloseAnswer(received);
    return 0;
}

} // namespace quelsor::cli
