#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace quelsor::cli {

// A one-line progress indicator for reading a long recording: percent, audio read, time elapsed
// and speed (seconds of audio per second), redrawn in place at most four times a second and
// erased when done. Shown only on a terminal and for recordings longer than 10 minutes, so that
// nothing of it reaches a file or a pipe.
class ProgressLine {
public:
    static constexpr double kMinSeconds = 600.0; // recordings up to 10 minutes go without

    // out: where to draw (stderr); totalSeconds: the length of the recording, < 0 when unknown.
    ProgressLine(std::FILE* out, double totalSeconds, bool terminal);
    ~ProgressLine() { Erase(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    bool Shown() const { return shown_; }
    // secondsRead: the audio read so far.
    void Update(double secondsRead);
    // Clears the line (at the end).
    void Erase();
    // Clears the line before a line goes to stdout, when stdout is the same terminal.
    void BeforeOutput()
    {
        if (stdoutTerminal_)
            Erase();
    }

    // The text of the line, e.g. " 42%  01:40:48 of 04:00:00  00:00:31 elapsed  195x real time".
    static std::string Text(double secondsRead, double totalSeconds, double elapsedSeconds);
    // True when stream (stderr, stdout) is a terminal.
    static bool IsTerminal(std::FILE* stream);

private:
    std::FILE* out_;
    double total_;
    bool shown_;
    bool stdoutTerminal_;
    bool drawn_ = false;
    std::size_t width_ = 0; // of the longest text drawn
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

} // namespace quelsor::cli
