#pragma once

#include <string>

namespace quelsor::testing {

// What a program printed on stdout or stderr, with its line ends as "\n": on Windows the C
// runtime writes console text with "\r\n", the platform's convention, and the tests compare the
// text itself.
inline std::string ConsoleText(std::string bytes)
{
#ifdef _WIN32
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n'))
            text += bytes[i];
    }
    return text;
#else
    return bytes;
#endif
}

} // namespace quelsor::testing
