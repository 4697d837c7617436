#pragma once

#include "audio/DetectorHost.h"
#include "common/OperatorMessages.h"
#include "config/Configuration.h"
#include "config/ConfigurationDump.h"
#include "config/ParamSeq.h"
#include "decoder/ResponseDecoder.h"
#include "decoder/StandaloneDecoderHost.h"

#include <functional>
#include <string>
#include <utility>

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

    // Sends the log lines to log from now on.
    void SetLogSink(LineSink log) { host_.SetLogSink(std::move(log)); }
    // Hands each report line, as values, to zones, and each answer of the wrong length that is
    // not decoded to rejected.
    void SetReportSinks(
        StandaloneDecoderHost::ZoneSink zones, StandaloneDecoderHost::RejectSink rejected)
    {
        host_.SetReportSinks(std::move(zones), std::move(rejected));
    }

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

// The window's side of the detector without a window: indicators are ignored, the
// received-characters field is a string, the log and the decoder are the session's.
class SessionDetectorHost : public IDetectorHost {
public:
    SessionDetectorHost(DecoderSession& session, int threshold)
        : session_(session)
        , threshold_(threshold)
    {
    }
    int Threshold() const override { return threshold_; }
    void SetIndicatorColour(int, std::uint32_t) override { }
    std::string ViewText() const override { return view_; }
    void SetViewText(const std::string& text) override { view_ = text; }
    void AddLogLine(const std::string& line) override { session_.AddLogLine(line); }
    void DecodeResponse(const std::string& received) override
    {
        session_.Decoder().DecodeResponse(received);
    }

private:
    DecoderSession& session_;
    int threshold_;
    std::string view_;
};

} // namespace quelsor
