#pragma once

#include "CommandLine.h"

#include "decoder/DecoderSession.h"
#include "decoder/ResultRecord.h"

#include <string>

namespace quelsor::cli {

// The options that answer, decode, request and poll share.
struct AnswerOptions {
    std::string config; // --config FILE.ini
    int request = -1; // --request N
    bool debug = false; // --debug
    RecordFormat format = RecordFormat::Text; // --format text|json|csv
};

// Declares --config FILE.ini and, with requestHelp, --request N (both required; poll takes a
// list of requests of its own).
void AddAnswerOptions(CLI::App& app, AnswerOptions& options, const char* requestHelp);
// Declares --debug and --format F (formatMore: the end of its help, what the formats give).
void AddReportOptions(CLI::App& app, AnswerOptions& options, const std::string& formatMore);

// Loads the configuration into session and makes request pending; prints the error and returns
// false when the file cannot be read or the request is not one of its items.
bool OpenDecoderSession(
    const char* command, DecoderSession& session, const std::string& config, int request);

} // namespace quelsor::cli
