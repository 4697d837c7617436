#pragma once

#include "audio/DetectorHost.h"
#include "common/OperatorMessages.h"
#include "config/Configuration.h"
#include "config/ConfigurationDump.h"
#include "config/ParamSeq.h"
#include "decoder/ResponseDecoder.h"
#include "decoder/StandaloneDecoderHost.h"
#include "formula/FormulaCells.h"
#include "formula/FormulaEvaluator.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace quelsor {

// The answer side of the window without the window: a loaded configuration, its own cell table,
// formula evaluator and zone cells, and a response decoder whose log lines go to a function. The
// command line replays answers through it.
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

    // What the window does when the detector closes an answer: logs AnswerLogLine (the string
    // and its length), with "Aff. Debug" the answer's quality (AnswerQualityLogLine) when it was
    // measured, and hands the string to the decoder. The quality stays until the next answer.
    void CloseAnswer(
        const std::string& received, const std::optional<AnswerQuality>& quality = std::nullopt);
    // The quality of the answer closed last; none for an answer typed in.
    const std::optional<AnswerQuality>& LastQuality() const { return quality_; }

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
    CellTable cells_;
    FormulaEvaluator evaluator_; // reports a full parser stack to messages_
    StandaloneDecoderHost host_;
    ResponseDecoder decoder_;
    std::optional<AnswerQuality> quality_;
};

// The window's side of the detector without a window: the indicators and the received
// characters are not shown; each closed answer goes to the session (CloseAnswer).
class SessionDetectorHost : public IDetectorHost {
public:
    SessionDetectorHost(DecoderSession& session, int threshold)
        : session_(session)
        , threshold_(threshold)
    {
    }
    int Threshold() const override { return threshold_; }
    void OnToneMask(std::int64_t, std::uint8_t, const ToneIndicators&) override { }
    void OnCharacter(std::int64_t, char) override { }
    void OnAnswerQuality(const AnswerQuality& quality) override { quality_ = quality; }
    void OnAnswer(const std::string& text) override
    {
        session_.CloseAnswer(text, quality_);
        quality_.reset();
    }

private:
    DecoderSession& session_;
    int threshold_;
    std::optional<AnswerQuality> quality_; // of the answer being closed
};

} // namespace quelsor
