#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quelsor {

// One line of the parameter report as values, for the outputs that are read by programs rather
// than by the operator.
struct ZoneReport {
    int requestIndex = -1; // the request answered (index in the items)
    std::int32_t zone = 0; // the zone's number
    std::string name;
    // The value cut out of this answer; none when the zone could not be cut out of it.
    std::optional<std::int32_t> raw;
    // The number the report shows (the formula's value at float precision, or the raw value);
    // none when the report shows a label instead.
    std::optional<double> value;
    std::string text; // what the report shows: the label, or the value as formatted there
    bool countMismatch = false; // the answer's length was wrong; decoded because of "Aff. Debug"
};

// What the response decoder and the parameter report need of the window: the log, the state of
// the "Aff. Debug" check box and the texts of the request combo box items.
class IDecoderHost {
public:
    virtual ~IDecoderHost() = default;
    virtual void AddLogLine(const std::string& line) = 0;
    virtual bool DebugChecked() const = 0;
    virtual int SequenceItemCount() const = 0;
    virtual std::string SequenceItemText(int index) const = 0;

    // Each report line, as values, right after the line itself.
    virtual void ZoneReported(const ZoneReport& report) { (void)report; }
    // An answer of the wrong length that is not decoded (no "Aff. Debug"): the request stays
    // pending.
    virtual void AnswerRejected(int requestIndex, int expected, int received)
    {
        (void)requestIndex;
        (void)expected;
        (void)received;
    }
};

} // namespace quelsor
