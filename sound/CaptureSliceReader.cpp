#include "sound/CaptureSliceReader.h"

namespace quelsor {

CaptureSliceReader::Result CaptureSliceReader::Read(
    CaptureBuffer& buffer, const RegionHandler& handle)
{
    std::uint32_t capturePosition = 0;
    std::uint32_t readPosition = 0;
    if (!buffer.GetCurrentPosition(&capturePosition, &readPosition))
        return Result::Failed;

    const std::int64_t size = buffer.Size();
    std::int64_t available
        = static_cast<std::int64_t>(readPosition) - static_cast<std::int64_t>(offset_);
    if (available < 0)
        available += size;
    available -= available % kNotifySliceBytes;
    if (available == 0)
        return Result::Nothing;

    // The regions are copies owned by this frame: the handler may start a capture of its own
    // (the window's events run inside it) without pulling them from under us.
    LockedRegions regions;
    if (!buffer.Lock(offset_, static_cast<std::uint32_t>(available), regions))
        return Result::Failed;

    bool goOn = handle(regions.first.data(), regions.firstBytes);
    offset_ = static_cast<std::uint32_t>((offset_ + regions.firstBytes) % size);
    if (goOn && regions.secondBytes > 0) {
        goOn = handle(regions.second.data(), regions.secondBytes);
        offset_ = static_cast<std::uint32_t>((offset_ + regions.secondBytes) % size);
    }
    if (goOn)
        buffer.Unlock(regions);
    return Result::Read;
}

} // namespace quelsor
