#include "RecordingReader.h"

#include <iterator>

#include "recording/PcmWavRecording.h"
#ifdef QUELSOR_HAVE_SNDFILE
#include "recording/SndfileRecording.h"
#endif

namespace quelsor {

namespace {

    RecordingOpenResult OpenSource(
        std::unique_ptr<ByteSource> source, const RecordingOptions& options)
    {
        if (options.channel < 0)
            return { nullptr, "no channel " + std::to_string(options.channel) };
        if (source->Size() == 0)
            return { nullptr, "empty file (0 bytes)" };
#ifdef QUELSOR_HAVE_SNDFILE
        RecordingOpenResult result = OpenSndfile(source, options);
        if (result.reader || !source)
            return result;
        // A file of the program's own format that libsndfile refuses (its data chunk before its
        // format chunk) is still read, as it always was.
        RecordingOpenResult own = OpenPcmWav(std::move(source), options);
        return own.reader ? std::move(own) : std::move(result);
#else
        return OpenPcmWav(std::move(source), options);
#endif
    }

} // namespace

RecordingOpenResult OpenRecording(const std::string& path, const RecordingOptions& options)
{
    std::string error;
    std::unique_ptr<ByteSource> source = OpenFileSource(path, error);
    if (!source)
        return { nullptr, error };
    return OpenSource(std::move(source), options);
}

RecordingOpenResult OpenRecordingBuffer(
    const void* data, std::size_t size, const RecordingOptions& options)
{
    return OpenSource(NewMemorySource(data, size), options);
}

bool ReadRecordingSamples(const std::string& path, std::vector<std::int16_t>& samples,
    std::string& error, const RecordingOptions& options)
{
    samples.clear();
    RecordingOpenResult opened = OpenRecording(path, options);
    if (!opened.reader) {
        error = opened.error;
        return false;
    }
    std::int16_t piece[4096];
    while (const std::size_t got = opened.reader->Read(piece, std::size(piece)))
        samples.insert(samples.end(), piece, piece + got);
    error = opened.reader->Problem();
    return error.empty();
}

bool ReadsEveryRecordingFormat()
{
#ifdef QUELSOR_HAVE_SNDFILE
    return true;
#else
    return false;
#endif
}

} // namespace quelsor
