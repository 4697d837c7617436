#pragma once

#include <cstdint>
#include <string>

namespace quelsor {

// A time within a recording, from its start, as "HH:MM:SS.mmm" (hours keep growing past 99).
// A negative time is shown as 00:00:00.000.
std::string RecordingTimeText(std::int64_t milliseconds);

// The time of a detector block from the start of the recording: blocks are 1 ms.
inline double BlockSeconds(std::int64_t block) { return static_cast<double>(block) / 1000.0; }

} // namespace quelsor
