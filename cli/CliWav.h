#pragma once

#include "audio/DetectorHost.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace quelsor::cli {

// Parses a whole decimal integer (optional sign); false for anything else or out of range.
bool ParseInteger(const std::string& text, int& value);

// The detector's host on the command line: the threshold is fixed, the indicators are ignored,
// each closed answer prints its log line (AnswerLogLine) on out as it comes; with trace,
// accepted and dropped characters are printed as "# <block> <char>" and "# <block> dropped
// <char>". Closed answers are not decoded. beforeLine, when set, runs before each line is
// printed; linePrefix, when set, gives the text to put before an answer's log line.
class CliDetectorHost : public IDetectorHost {
public:
    CliDetectorHost(int threshold, bool trace, std::FILE* out);

    int Threshold() const override { return threshold_; }
    void OnToneMask(std::int64_t, std::uint8_t, const ToneIndicators&) override { }
    void OnCharacter(std::int64_t block, char character) override;
    void OnAnswer(const std::string& text) override;
    void OnCharacterDropped(std::int64_t block, char character) override;

    std::function<void()> beforeLine;
    std::function<void(std::int64_t block, char character)> onCharacter;
    std::function<std::string()> linePrefix;

private:
    int threshold_;
    bool trace_;
    std::FILE* out_;
};

} // namespace quelsor::cli
