#pragma once

#include "CliRecording.h"

#include "decoder/DecoderSession.h"
#include "decoder/ResultRecord.h"

#include <string>
#include <vector>

namespace quelsor::cli {

// The options that answer, decode and request share.
struct AnswerOptions {
    std::string config; // --config FILE.ini
    int request = -1; // --request N
    bool debug = false; // --debug
    bool all = false; // --all (decode only): every answer decoded against the request
    int threshold = -1; // --threshold T (decode only); -1 when not given
    RecordingArguments recording; // --channel, --threads, --times (decode only)
    RecordFormat format = RecordFormat::Text; // --format text|json|csv
    std::vector<std::string> positional; // the other arguments, in order
};

// Parses args into options; the options of a recording (--threshold, --channel, --threads,
// --times, --all) are taken only forRecording. Prints the error and returns false on a usage
// error.
bool ParseAnswerArguments(const char* command, const std::vector<std::string>& args,
    bool forRecording, AnswerOptions& options);

// Loads the configuration into session and makes request pending; prints the error and returns
// false when the file cannot be read or the request is not one of its items.
bool OpenDecoderSession(
    const char* command, DecoderSession& session, const std::string& config, int request);

} // namespace quelsor::cli
