#pragma once

#include "audio/DetectorHost.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace quelsor::cli {

// Reads a recording for a command. A file that is missing, not a WAV file, not PCM 16-bit mono
// 16000 Hz, or truncated gives "quelsor-cli COMMAND: PATH: what was found" on stderr and false;
// the command then exits with 2.
bool LoadRecording(
    const char* command, const std::string& path, std::vector<std::int16_t>& samples);

// Parses a whole decimal integer (optional sign); false for anything else or out of range.
bool ParseInteger(const std::string& text, int& value);

// The detector's host on the command line: the threshold is fixed, the indicators are ignored,
// each closed answer prints its log line (AnswerLogLine) on out as it comes; with trace,
// accepted and dropped characters are printed as "# <block> <char>" and "# <block> dropped
// <char>". Closed answers are not decoded.
class CliDetectorHost : public IDetectorHost {
public:
    CliDetectorHost(int threshold, bool trace, std::FILE* out);

    int Threshold() const override { return threshold_; }
    void OnToneMask(std::int64_t, std::uint8_t, const ToneIndicators&) override { }
    void OnCharacter(std::int64_t block, char character) override;
    void OnAnswer(const std::string& text) override;
    void OnCharacterDropped(std::int64_t block, char character) override;

private:
    int threshold_;
    bool trace_;
    std::FILE* out_;
};

} // namespace quelsor::cli
