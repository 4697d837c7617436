// Reading recordings: any bytes, as a file in memory, through libsndfile (or the own WAV reader)
// and the conversion to 16 kHz mono 16-bit (mixing, resampling, scaling) must never read or
// write out of bounds, hang, or end without an answer: a reader or a reason, and a reading that
// comes to an end.

#include "recording/ByteSource.h"
#include "recording/PcmWavRecording.h"
#include "recording/RecordingReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// Enough to pass the converters' first pieces and the resampler's delay many times over; a
// small input that decodes to hours of audio is not read to its end.
constexpr std::size_t kMaxSamples = std::size_t { 1 } << 21;

void ReadThrough(quelsor::RecordingOpenResult opened, std::size_t piece)
{
    if (!opened.reader) {
        if (opened.error.empty())
            std::abort();
        return;
    }
    static std::int16_t samples[8192];
    std::size_t total = 0;
    while (const std::size_t got = opened.reader->Read(samples, piece)) {
        if (got > piece)
            std::abort();
        total += got;
        if (total > kMaxSamples || opened.reader->FramesRead() > std::int64_t { kMaxSamples })
            return;
    }
    if (opened.reader->Read(samples, piece) != 0 || opened.reader->ClippedSamples() < 0
        || static_cast<std::size_t>(opened.reader->ClippedSamples()) > total)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    // The first byte chooses the channel (0 = the mean, 1..3) and the size of the pieces read.
    quelsor::RecordingOptions options;
    options.channel = data[0] & 3;
    const std::size_t piece = 1 + (static_cast<std::size_t>(data[0] >> 2) * 8191) / 63;
    ReadThrough(quelsor::OpenRecordingBuffer(data + 1, size - 1, options), piece);
    ReadThrough(quelsor::OpenPcmWav(quelsor::NewMemorySource(data + 1, size - 1), options), piece);
    return 0;
}
