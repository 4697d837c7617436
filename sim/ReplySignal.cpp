#include "sim/ReplySignal.h"

#include "audio/ToneGenerator.h"
#include "common/DtmfTones.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace quelsor {

void AppendClosingPair(std::vector<std::int16_t>& samples, const ReplyTiming& timing)
{
    const auto pair = TonesOfKey(timing.closingPairKey);
    if (!pair)
        return;
    AppendTone(samples, timing.closingPairMs, false,
        kToneFrequencies[static_cast<std::size_t>(pair->high)],
        kToneFrequencies[static_cast<std::size_t>(pair->low)]);
}

void AppendClosedText(
    std::vector<std::int16_t>& samples, const std::string& text, const ReplyTiming& timing)
{
    AppendDtmfSequence(samples, text);
    AppendSilence(samples, timing.closingSilenceMs);
    AppendClosingPair(samples, timing);
    AppendSilence(samples, timing.trailingSilenceMs);
}

std::vector<std::int16_t> BuildReply(
    const std::string& command, const std::string& answer, bool echo, const ReplyTiming& timing)
{
    std::vector<std::int16_t> reply;
    AppendSilence(reply, timing.answerDelayMs);
    if (echo && !command.empty())
        AppendClosedText(reply, command, timing);
    if (!answer.empty())
        AppendClosedText(reply, answer, timing);
    return reply;
}

void ScaleLevel(std::vector<std::int16_t>& samples, double levelDb)
{
    if (levelDb == 0.0)
        return;
    const double gain = std::pow(10.0, levelDb / 20.0);
    for (std::int16_t& sample : samples) {
        const double scaled = std::round(static_cast<double>(sample) * gain);
        sample = static_cast<std::int16_t>(std::clamp(scaled, -32768.0, 32767.0));
    }
}

} // namespace quelsor
