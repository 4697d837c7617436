#pragma once

#include "sound/CaptureBuffer.h"

#include <cstdint>
#include <functional>

namespace quelsor {

// Reads a looping CaptureBuffer slice by slice, the way the capture loop does: at each Read,
// every whole 1024-byte slice captured since the previous one (a partial slice waits for the next
// Read), locked as one region or, when the range wraps past the end of the buffer, as two (the
// tail of the buffer first, then its head). The sound layer and the simulated remote device read
// their captures through it.
class CaptureSliceReader {
public:
    enum class Result {
        Nothing, // less than one whole slice since the last read
        Read, // the regions were handed to the handler
        Failed, // the buffer's position or lock failed (its device is gone, say)
    };

    // Called with each region in order: its 16-bit samples and its length in bytes (whole
    // slices). Returns true to go on; false stops the read there: the following region is
    // skipped and the lock is not ended.
    using RegionHandler = std::function<bool(const std::int16_t* samples, std::uint32_t bytes)>;

    // offset: byte offset in the buffer of the first slice to read.
    explicit CaptureSliceReader(std::uint32_t offset = 0)
        : offset_(offset)
    {
    }

    // Reading restarts at offset (a new buffer, or a capture that starts afresh).
    void Restart(std::uint32_t offset) { offset_ = offset; }

    // Byte offset of the next slice to read. It moves past each region once the handler has
    // returned from it.
    std::uint32_t Offset() const { return offset_; }

    // Locks the slices captured since Offset() and hands their regions to handle.
    Result Read(CaptureBuffer& buffer, const RegionHandler& handle);

private:
    std::uint32_t offset_;
};

} // namespace quelsor
