#pragma once

#include <string>

namespace quelsor {

// What the response decoder and the parameter report need of the window: the log, the state of
// the "Aff. Debug" check box and the texts of the request combo box items.
class IDecoderHost {
public:
    virtual ~IDecoderHost() = default;
    virtual void AddLogLine(const std::string& line) = 0;
    virtual bool DebugChecked() const = 0;
    virtual int SequenceItemCount() const = 0;
    virtual std::string SequenceItemText(int index) const = 0;
};

} // namespace quelsor
