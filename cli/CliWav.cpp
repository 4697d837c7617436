#include "CliWav.h"

#include "audio/WavReader.h"
#include "decoder/RequestLog.h"

#include <charconv>

namespace quelsor::cli {

bool LoadRecording(const char* command, const std::string& path, std::vector<std::int16_t>& samples)
{
    WavReadResult result = ReadWavFile(path);
    if (!result.ok) {
        std::fprintf(
            stderr, "quelsor-cli %s: %s: %s\n", command, path.c_str(), result.error.c_str());
        return false;
    }
    samples = std::move(result.samples);
    return true;
}

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
    if (trace_)
        std::fprintf(out_, "# %lld %c\n", static_cast<long long>(block), character);
}

void CliDetectorHost::OnAnswer(const std::string& text)
{
    std::fprintf(out_, "%s\n", AnswerLogLine(text).c_str());
}

void CliDetectorHost::OnCharacterDropped(std::int64_t block, char character)
{
    if (trace_)
        std::fprintf(out_, "# %lld dropped %c\n", static_cast<long long>(block), character);
}

} // namespace quelsor::cli
