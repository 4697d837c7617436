#include "RequestLog.h"

namespace quelsor {

std::string AnswerLogLine(const std::string& received)
{
    // Built by hand rather than with snprintf: the text has no length limit.
    const std::string format = kAnswerLogFormat;
    const std::size_t textAt = format.find("%s");
    const std::size_t lengthAt = format.find("%d");
    return format.substr(0, textAt) + received + format.substr(textAt + 2, lengthAt - textAt - 2)
        + std::to_string(received.size()) + format.substr(lengthAt + 2);
}

std::string AnswerQualityLogLine(const AnswerQuality& quality)
{
    const std::string margin = OneDecimal(quality.LevelDb());
    const std::string fields[] = {
        OneDecimal(quality.level),
        margin.front() == '-' ? margin : "+" + margin,
        quality.noiseBlocks > 0 ? OneDecimal(quality.noise) : std::string(kNoNoiseMeasured),
        OneDecimal(quality.SnrDb()),
    };
    std::string line;
    const std::string format = kAnswerQualityFormat;
    std::size_t from = 0;
    for (const std::string& field : fields) {
        const std::size_t at = format.find("%s", from);
        line += format.substr(from, at - from) + field;
        from = at + 2;
    }
    return line + format.substr(from);
}

} // namespace quelsor
