#pragma once

#include "sound/NotificationEvent.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace quelsor {

// Geometry of the capture: a looping buffer of 32 slices of 1024 bytes (512 samples, 32 ms at
// 16000 Hz); the whole buffer is 32768 bytes, 16384 samples, 1.024 s.
inline constexpr std::uint32_t kNotifySliceBytes = 1024;
inline constexpr std::uint32_t kNotifyCount = 32;
inline constexpr std::uint32_t kCaptureBufferBytes = kNotifySliceBytes * kNotifyCount;

// The data of one Lock: up to two regions copied out of the looping buffer, the part up to the
// end of the buffer first, then the part from its start when the lock wraps. The copies belong
// to the caller, so the backend may keep writing (and a nested capture may replace the buffer)
// while they are analysed. Storage is 16-bit so the regions can be read as samples; lengths are
// in bytes (always even in this program: every lock covers whole 1024-byte slices).
struct LockedRegions {
    std::vector<std::int16_t> first;
    std::uint32_t firstBytes = 0;
    std::vector<std::int16_t> second;
    std::uint32_t secondBytes = 0;
};

// The looping capture buffer, our stand-in for a DirectSound capture buffer. A capture backend
// pushes captured bytes in with Write() from whatever thread it runs on; the sound layer reads
// them on the GUI thread with GetCurrentPosition / Lock / Unlock. Every access goes through one
// mutex, and Lock copies the data out, so writer and reader never touch the same bytes at once.
// Methods the sound layer calls are virtual so tests can inject device failures.
class CaptureBuffer {
public:
    explicit CaptureBuffer(std::uint32_t bytes = kCaptureBufferBytes);
    virtual ~CaptureBuffer() = default;

    CaptureBuffer(const CaptureBuffer&) = delete;
    CaptureBuffer& operator=(const CaptureBuffer&) = delete;

    std::uint32_t Size() const { return size_; }

    // Whether this buffer can signal notification positions (always true here; a device that
    // cannot is a start failure of its own).
    virtual bool NotifyAvailable() const { return true; }

    // Notification positions, byte offsets in the buffer: the event is signalled when the byte
    // at such an offset has been written (the sound layer uses 1024 * i + 1023, i = 0..31, the
    // last byte of each slice). Offsets must be strictly increasing and below Size(); otherwise
    // nothing changes and the result is false. An empty list or a null event removes them.
    virtual bool SetNotificationPositions(
        const std::vector<std::uint32_t>& offsets, std::shared_ptr<NotificationEvent> event);

    // Appends captured bytes at the capture position, wrapping at the end of the buffer, and
    // signals the event for every notification position written. Older data is overwritten
    // without notice when the reader falls a whole buffer behind. Any thread.
    void Write(const void* data, std::size_t bytes);

    // The device behind the buffer has stopped for good (its sound server went away, say): the
    // next GetCurrentPosition fails, so the capture loop ends with its notification error, and
    // the event is signalled so the loop wakes up to see it. Any thread.
    void MarkDeviceLost();

    // Capture and read positions, byte offsets in [0, Size()): the offset the next byte will be
    // written to. Both are equal here: everything written is readable. Returns false on failure
    // (after MarkDeviceLost).
    virtual bool GetCurrentPosition(std::uint32_t* capturePosition, std::uint32_t* readPosition);

    // Copies `bytes` bytes starting at `offset` into `regions`: the part up to the end of the
    // buffer into `first`, the rest (when the range wraps) into `second`. Fails (false,
    // `regions` emptied) when offset >= Size(), bytes > Size(), or offset or bytes is odd.
    virtual bool Lock(std::uint32_t offset, std::uint32_t bytes, LockedRegions& regions);

    // Ends a Lock. Nothing to give back since the data was copied; counted for diagnostics.
    virtual void Unlock(const LockedRegions& regions);

    // Bytes written since construction, and Unlock calls (for tests and diagnostics).
    std::uint64_t TotalWritten() const;
    int UnlockCount() const;

private:
    const std::uint32_t size_;
    mutable std::mutex mutex_;
    std::vector<std::uint8_t> data_;
    std::uint32_t writePosition_ = 0;
    std::uint64_t totalWritten_ = 0;
    int unlockCount_ = 0;
    bool deviceLost_ = false;
    std::vector<std::uint32_t> positions_;
    std::shared_ptr<NotificationEvent> event_;
};

} // namespace quelsor
