#pragma once

#include "common/StringList.h"
#include "decoder/DecoderHost.h"

#include <functional>
#include <string>
#include <utility>

namespace quelsor {

// The decoder's host without a window, for the command line and tests: the request items and
// the state of "Aff. Debug" are plain values, each log line is handed to a function.
class StandaloneDecoderHost : public IDecoderHost {
public:
    using LineSink = std::function<void(const std::string&)>;

    StandaloneDecoderHost(LineSink sink, const StringList& items, bool debug)
        : sink_(std::move(sink))
        , items_(items)
        , debug_(debug)
    {
    }

    using ZoneSink = std::function<void(const ZoneReport&)>;
    using RejectSink = std::function<void(int requestIndex, int expected, int received)>;

    void SetLogSink(LineSink sink) { sink_ = std::move(sink); }
    // Where the report lines go as values, besides the log (none by default).
    void SetReportSinks(ZoneSink zones, RejectSink rejected)
    {
        zones_ = std::move(zones);
        rejected_ = std::move(rejected);
    }

    void AddLogLine(const std::string& line) override { sink_(line); }
    void ZoneReported(const ZoneReport& report) override
    {
        if (zones_)
            zones_(report);
    }
    void AnswerRejected(int requestIndex, int expected, int received) override
    {
        if (rejected_)
            rejected_(requestIndex, expected, received);
    }
    bool DebugChecked() const override { return debug_; }
    int SequenceItemCount() const override { return static_cast<int>(items_.size()); }
    std::string SequenceItemText(int index) const override
    {
        return index >= 0 && index < SequenceItemCount() ? items_[static_cast<std::size_t>(index)]
                                                         : std::string();
    }

private:
    LineSink sink_;
    ZoneSink zones_;
    RejectSink rejected_;
    const StringList& items_;
    bool debug_;
};

} // namespace quelsor
