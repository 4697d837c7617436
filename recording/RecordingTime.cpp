#include "RecordingTime.h"

#include <cstdio>

namespace quelsor {

std::string RecordingTimeText(std::int64_t milliseconds)
{
    if (milliseconds < 0)
        milliseconds = 0;
    const long long seconds = milliseconds / 1000;
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", seconds / 3600,
        seconds / 60 % 60, seconds % 60, static_cast<long long>(milliseconds % 1000));
    return text;
}

} // namespace quelsor
