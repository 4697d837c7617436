#pragma once

#include "app/ResponseDecoder.h"
#include "app/StandaloneDecoderHost.h"
#include "common/OperatorMessages.h"
#include "config/Configuration.h"
#include "config/ConfigurationDump.h"
#include "config/ParamSeq.h"

#include <functional>
#include <string>

namespace quelsor {

// The answer side of the window without the window: a loaded configuration, the zone cells and
// a response decoder whose log lines go to a function. The command line replays answers
// through it; the program's shared formula evaluator converts the zones.
class DecoderSession {
public:
    using LineSink = std::function<void(const std::string&)>;

    // log receives every log line; messages what the window would show in a message box;
    // debug stands for "Aff. Debug" checked.
    DecoderSession(LineSink log, IOperatorMessages& messages, bool debug);
    ~DecoderSession();
    DecoderSession(const DecoderSession&) = delete;
    DecoderSession& operator=(const DecoderSession&) = delete;

    // Loads the configuration file as the window does when first shown.
    ConfigurationLoadResult Load(const std::string& fileName);

    // Makes request index (in the items) pending; -1 for none. False for any other index.
    bool SetPendingRequest(int index);

    // What the detector does when it closes an answer: logs "%s (%d)" (the string and its
    // length) and hands the string to the decoder.
    void CloseAnswer(const std::string& received);

    void AddLogLine(const std::string& line) { host_.AddLogLine(line); }
    ResponseDecoder& Decoder() { return decoder_; }
    const ConfigurationRecord& Configuration() const { return record_; }
    const SeqList& Sequences() const { return sequences_; }

private:
    IOperatorMessages& messages_;
    ConfigurationRecord record_;
    SeqList sequences_;
    StandaloneDecoderHost host_;
    ResponseDecoder decoder_;
};

} // namespace quelsor
