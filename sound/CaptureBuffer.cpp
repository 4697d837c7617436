#include "sound/CaptureBuffer.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace quelsor {

CaptureBuffer::CaptureBuffer(std::uint32_t bytes)
    : size_(bytes)
    , data_(bytes, 0)
{
}

bool CaptureBuffer::SetNotificationPositions(
    const std::vector<std::uint32_t>& offsets, std::shared_ptr<NotificationEvent> event)
{
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        if (offsets[i] >= size_ || (i > 0 && offsets[i] <= offsets[i - 1]))
            return false;
    }
    std::lock_guard lock(mutex_);
    if (offsets.empty() || !event) {
        positions_.clear();
        event_.reset();
    } else {
        positions_ = offsets;
        event_ = std::move(event);
    }
    return true;
}

void CaptureBuffer::Write(const void* data, std::size_t bytes)
{
    if (size_ == 0 || bytes == 0)
        return;
    const auto* source = static_cast<const std::uint8_t*>(data);
    int crossings = 0;
    std::shared_ptr<NotificationEvent> event;
    {
        std::lock_guard lock(mutex_);
        // More than a whole buffer at once: only the last Size() bytes survive, but every
        // position is crossed anyway.
        if (bytes > size_) {
            crossings += positions_.empty() ? 0 : 1;
            const std::size_t skipped = bytes - size_;
            writePosition_ = static_cast<std::uint32_t>((writePosition_ + skipped) % size_);
            totalWritten_ += skipped;
            source += skipped;
            bytes = size_;
        }
        while (bytes > 0) {
            const std::uint32_t chunk
                = static_cast<std::uint32_t>(std::min<std::size_t>(bytes, size_ - writePosition_));
            std::memcpy(data_.data() + writePosition_, source, chunk);
            // A position p is reached when byte p is written: p in [writePosition_, end).
            const std::uint32_t end = writePosition_ + chunk;
            for (const std::uint32_t p : positions_) {
                if (p >= writePosition_ && p < end)
                    ++crossings;
            }
            writePosition_ = end % size_;
            totalWritten_ += chunk;
            source += chunk;
            bytes -= chunk;
        }
        if (crossings > 0)
            event = event_;
    }
    // Signalled outside the lock: the wake function may call into the GUI toolkit.
    if (event)
        event->Signal();
}

void CaptureBuffer::MarkDeviceLost()
{
    std::shared_ptr<NotificationEvent> event;
    {
        std::lock_guard lock(mutex_);
        deviceLost_ = true;
        event = event_;
    }
    if (event)
        event->Signal();
}

bool CaptureBuffer::GetCurrentPosition(std::uint32_t* capturePosition, std::uint32_t* readPosition)
{
    std::lock_guard lock(mutex_);
    if (deviceLost_)
        return false;
    if (capturePosition)
        *capturePosition = writePosition_;
    if (readPosition)
        *readPosition = writePosition_;
    return true;
}

bool CaptureBuffer::Lock(std::uint32_t offset, std::uint32_t bytes, LockedRegions& regions)
{
    regions = LockedRegions {};
    if (offset >= size_ || bytes > size_ || offset % 2 != 0 || bytes % 2 != 0 || size_ % 2 != 0)
        return false;
    const std::uint32_t firstBytes = std::min(bytes, size_ - offset);
    const std::uint32_t secondBytes = bytes - firstBytes;
    regions.first.resize(firstBytes / 2);
    regions.second.resize(secondBytes / 2);
    std::lock_guard lock(mutex_);
    if (firstBytes > 0) // an empty vector may hand out a null pointer
        std::memcpy(regions.first.data(), data_.data() + offset, firstBytes);
    if (secondBytes > 0)
        std::memcpy(regions.second.data(), data_.data(), secondBytes);
    regions.firstBytes = firstBytes;
    regions.secondBytes = secondBytes;
    return true;
}

void CaptureBuffer::Unlock(const LockedRegions& regions)
{
    (void)regions;
    std::lock_guard lock(mutex_);
    ++unlockCount_;
}

std::uint64_t CaptureBuffer::TotalWritten() const
{
    std::lock_guard lock(mutex_);
    return totalWritten_;
}

int CaptureBuffer::UnlockCount() const
{
    std::lock_guard lock(mutex_);
    return unlockCount_;
}

} // namespace quelsor
