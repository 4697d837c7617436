#include "DecoderSession.h"

#include "decoder/RequestLog.h"

#include <utility>

namespace quelsor {

DecoderSession::DecoderSession(LineSink log, IOperatorMessages& messages, bool debug)
    : messages_(messages)
    , evaluator_(cells_, &messages_)
    , host_(std::move(log), record_.items, debug)
    , decoder_(host_, sequences_, evaluator_)
{
    decoder_.CreateZoneCells();
}

DecoderSession::~DecoderSession() { decoder_.ReleaseZoneCells(); }

ConfigurationLoadResult DecoderSession::Load(const std::string& fileName)
{
    return LoadConfiguration(fileName, record_, sequences_, messages_);
}

bool DecoderSession::SetPendingRequest(int index)
{
    if (index != -1 && (index < 0 || index >= static_cast<int>(record_.items.size())))
        return false;
    decoder_.pendingSeq = index;
    return true;
}

void DecoderSession::CloseAnswer(
    const std::string& received, const std::optional<AnswerQuality>& quality)
{
    quality_ = quality;
    host_.AddLogLine(AnswerLogLine(received));
    if (quality && host_.DebugChecked())
        host_.AddLogLine(AnswerQualityLogLine(*quality));
    decoder_.DecodeResponse(received);
}

} // namespace quelsor
