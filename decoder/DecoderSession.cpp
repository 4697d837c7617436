#include "DecoderSession.h"

#include "formula/FormulaEvaluator.h"

#include <utility>

namespace quelsor {

DecoderSession::DecoderSession(LineSink log, IOperatorMessages& messages, bool debug)
    : messages_(messages)
    , host_(std::move(log), record_.items, debug)
    , decoder_(host_, sequences_)
{
    formulaEvaluator().SetOperatorMessages(&messages_);
    decoder_.CreateZoneCells();
}

DecoderSession::~DecoderSession()
{
    decoder_.ReleaseZoneCells();
    formulaEvaluator().SetOperatorMessages(nullptr);
}

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

void DecoderSession::CloseAnswer(const std::string& received)
{
    host_.AddLogLine(received + " (" + std::to_string(received.size()) + ")");
    decoder_.DecodeResponse(received);
}

} // namespace quelsor
