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

    void AddLogLine(const std::string& line) override { sink_(line); }
    bool DebugChecked() const override { return debug_; }
    int SequenceItemCount() const override { return static_cast<int>(items_.size()); }
    std::string SequenceItemText(int index) const override
    {
        return index >= 0 && index < SequenceItemCount() ? items_[static_cast<std::size_t>(index)]
                                                         : std::string();
    }

private:
    LineSink sink_;
    const StringList& items_;
    bool debug_;
};

} // namespace quelsor
