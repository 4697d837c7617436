#include "ProgressLine.h"

#include <algorithm>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace quelsor::cli {

namespace {

    constexpr auto kRedrawEvery = std::chrono::milliseconds(250);

    std::string Clock(double seconds)
    {
        const long long whole = seconds < 0 ? 0 : static_cast<long long>(seconds);
        char text[32];
        std::snprintf(
            text, sizeof text, "%02lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
        return text;
    }

} // namespace

ProgressLine::ProgressLine(std::FILE* out, double totalSeconds, bool terminal)
    : out_(out)
    , total_(totalSeconds)
    , shown_(terminal && totalSeconds > kMinSeconds)
    , stdoutTerminal_(shown_ && IsTerminal(stdout))
    , start_(std::chrono::steady_clock::now())
    , lastDraw_(start_)
{
}

std::string ProgressLine::Text(double secondsRead, double totalSeconds, double elapsedSeconds)
{
    const double percent = std::clamp(100.0 * secondsRead / totalSeconds, 0.0, 100.0);
    char text[128];
    std::snprintf(text, sizeof text, "%3d%%  %s of %s  %s elapsed", static_cast<int>(percent),
        Clock(secondsRead).c_str(), Clock(totalSeconds).c_str(), Clock(elapsedSeconds).c_str());
    std::string line = text;
    if (elapsedSeconds > 0.0) {
        std::snprintf(text, sizeof text, "  %.0fx real time", secondsRead / elapsedSeconds);
        line += text;
    }
    return line;
}

void ProgressLine::Update(double secondsRead)
{
    if (!shown_)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - lastDraw_ < kRedrawEvery)
        return;
    lastDraw_ = now;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    // Back to the start of the line, the text, then blanks over what a longer text left (no
    // terminal escapes: a Windows console shows them as they are).
    const std::string text = Text(secondsRead, total_, elapsed);
    const int blanks = std::max(0, static_cast<int>(width_) - static_cast<int>(text.size()));
    std::fprintf(out_, "\r%s%*s", text.c_str(), blanks, "");
    std::fflush(out_);
    width_ = std::max(width_, text.size());
    drawn_ = true;
}

void ProgressLine::Erase()
{
    if (!drawn_)
        return;
    std::fprintf(out_, "\r%*s\r", static_cast<int>(width_), "");
    std::fflush(out_);
    drawn_ = false;
}

bool ProgressLine::IsTerminal(std::FILE* stream)
{
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

} // namespace quelsor::cli
