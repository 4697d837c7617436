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

} // namespace quelsor
