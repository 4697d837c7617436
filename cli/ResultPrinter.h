#pragma once

#include "decoder/DecoderSession.h"
#include "decoder/ResultRecord.h"

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace quelsor::cli {

// Prints what a decoder session reports, in the format chosen: the log lines as they come
// (text, the window's own lines), or one record per report line (json, csv, with a header line
// before the first CSV record). Every line is flushed at once.
class ResultPrinter {
public:
    explicit ResultPrinter(RecordFormat format, std::FILE* out = stdout);

    // Connects to session: its log lines and its report, for the request items it loaded.
    void Attach(DecoderSession& session);
    // Connects to session's log lines only (the records come through Print).
    void AttachLog(DecoderSession& session);

    // The time the next records carry: the seconds within a recording, or the current UTC time.
    void SetRecordingSeconds(double seconds) { seconds_ = seconds; }
    void UseCurrentTime(bool current) { currentTime_ = current; }
    // Text put before the log lines from now on (text format).
    void SetLinePrefix(std::string prefix) { linePrefix_ = std::move(prefix); }
    // Runs before every line printed (to erase a progress line first).
    void SetBeforeLine(std::function<void()> beforeLine) { beforeLine_ = std::move(beforeLine); }

    // Prints a record (json and csv only); one without a time gets the time set above.
    void Print(ResultRecord record);

    RecordFormat Format() const { return format_; }

private:
    void LogLine(const std::string& line);
    std::string ItemText(int index) const;

    RecordFormat format_;
    std::FILE* out_;
    const DecoderSession* session_ = nullptr;
    std::optional<double> seconds_;
    bool currentTime_ = false;
    bool headerWritten_ = false;
    std::string linePrefix_;
    std::function<void()> beforeLine_;
};

} // namespace quelsor::cli
