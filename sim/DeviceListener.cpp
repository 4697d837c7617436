#include "sim/DeviceListener.h"

#include <algorithm>
#include <utility>

namespace quelsor {

DeviceListener::DeviceListener(int threshold, int settleSamples)
    : threshold_(threshold)
    , settleSamples_(std::max(settleSamples, 0))
    , bank_(NewDesignedFilterBank())
{
}

void DeviceListener::Hear(const std::int16_t* samples, std::size_t count)
{
    if (samples == nullptr)
        return;
    if (settleSamples_ > 0) {
        const std::size_t skipped = std::min(static_cast<std::size_t>(settleSamples_), count);
        settleSamples_ -= static_cast<int>(skipped);
        samples += skipped;
        count -= skipped;
    }
    // In pieces the detector's int count can hold; only a partial last block is left over, as
    // in one call.
    constexpr std::size_t kPiece = std::size_t { 1 } << 24;
    while (count > 0) {
        const std::size_t piece = std::min(count, kPiece);
        DetectDTMF(state_, *bank_, *this, samples, static_cast<int>(piece));
        samples += piece;
        count -= piece;
    }
}

CaptureSliceReader::Result DeviceListener::HearCaptured(CaptureBuffer& buffer)
{
    return reader_.Read(buffer, [this](const std::int16_t* samples, std::uint32_t bytes) {
        Hear(samples, bytes / 2);
        return true;
    });
}

bool DeviceListener::TakeCommand(std::int64_t quietBlocks, std::string& command)
{
    if (heard_.empty() || state_.blockIndex - lastBlock_ <= quietBlocks)
        return false;
    command = std::move(heard_);
    heard_.clear();
    return true;
}

void DeviceListener::OnCharacter(std::int64_t block, char character)
{
    heard_ += character;
    lastBlock_ = block;
}

} // namespace quelsor
