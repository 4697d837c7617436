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

    const char kAnswerDescription[]
        = R"usage(Loads the configuration FILE.ini, makes request N (0 for the first request
item, -1 for none) the request whose answer is awaited, then for each STRING
does what the detector does when it closes an answer: logs "STRING (length)"
and hands STRING to the response decoder. Prints every log line in order,
exactly as the log window shows it.
)usage";

    const char kAnswerFooter[]
        = R"usage(FORMATS: each json or csv record has the fields time, request, label, zone,
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
    CommandLine line("answer", kAnswerDescription, kAnswerFooter);
    AnswerOptions options;
    std::vector<std::string> received;
    AddAnswerOptions(line.App(), options, "index of the pending request, -1 for none");
    AddReportOptions(line.App(), options, "; see FORMATS below");
    line.App().add_option("STRING", received)->required();
    if (const auto done = line.Parse(args))
        return *done;

    StderrMessages messages;
    DecoderSession session([](const std::string&) {}, messages, options.debug);
    ResultPrinter printer(options.format);
    printer.Attach(session);
    if (!OpenDecoderSession("answer", session, options.config, options.request))
        return 2;
    for (const std::string& text : received)
        session.CloseAnswer(text);
    return 0;
}

} // namespace quelsor::cli
