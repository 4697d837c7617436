#include "CliWav.h"

#include "decoder/RequestLog.h"

#include <charconv>

namespace quelsor::cli {

bool ParseInteger(const std::string& text, int& value)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+')
        ++begin;
    const auto [at, error] = std::from_chars(begin, end, value);
    return begin != end && error == std::errc() && at == end;
}

CliDetectorHost::CliDetectorHost(int threshold, bool trace, std::FILE* out)
    : threshold_(threshold)
    , trace_(trace)
    , out_(out)
{
}

void CliDetectorHost::OnCharacter(std::int64_t block, char character)
{
    if (onCharacter)
        onCharacter(block, character);
    if (!trace_)
        return;
    if (beforeLine)
        beforeLine();
    std::fprintf(out_, "# %lld %c\n", static_cast<long long>(block), character);
}

void CliDetectorHost::OnAnswer(const std::string& text)
{
    if (beforeLine)
        beforeLine();
    const std::string prefix = linePrefix ? linePrefix() : std::string();
    std::fprintf(out_, "%s%s\n", prefix.c_str(), AnswerLogLine(text).c_str());
}

void CliDetectorHost::OnCharacterDropped(std::int64_t block, char character)
{
    if (!trace_)
        return;
    if (beforeLine)
        beforeLine();
    std::fprintf(out_, "# %lld dropped %c\n", static_cast<long long>(block), character);
}

} // namespace quelsor::cli
