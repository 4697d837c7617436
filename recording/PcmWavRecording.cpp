#include "PcmWavRecording.h"

#include "common/SampleFormat.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace quelsor {

namespace {

    constexpr int kFormatPcm = 1;
    constexpr int kFormatExtensible = 0xFFFE;
    constexpr std::size_t kChunkHeaderSize = 8; // tag, size
    constexpr std::size_t kMinFormatSize = 16;
    constexpr std::size_t kExtensibleFormatSize = 40;
    constexpr std::size_t kReadSamples = 4096;

    std::uint16_t U16At(const std::uint8_t* p)
    {
        return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    }

    std::uint32_t U32At(const std::uint8_t* p)
    {
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8)
            | (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }

    // A chunk tag fit for a message: printable ASCII kept, anything else shown as '?'.
    std::string PrintableTag(const std::uint8_t* p)
    {
        std::string tag;
        for (int i = 0; i < 4; ++i)
            tag += (p[i] >= 0x20 && p[i] < 0x7F) ? static_cast<char>(p[i]) : '?';
        return tag;
    }

    std::string Plural(long long count, const char* singular, const char* plural)
    {
        return std::to_string(count) + ' ' + (count == 1 ? singular : plural);
    }

    struct WavFormat {
        int formatTag = 0;
        int channels = 0;
        long sampleRate = 0;
        int bitsPerSample = 0;
    };

    // Checks the "fmt " chunk body; returns an empty text when the format is ours.
    std::string CheckFormat(const std::uint8_t* body, std::size_t size, WavFormat& format)
    {
        if (size < kMinFormatSize)
            return "truncated fmt chunk: " + std::to_string(size) + " bytes, at least "
                + std::to_string(kMinFormatSize) + " needed";
        format.formatTag = U16At(body);
        format.channels = U16At(body + 2);
        format.sampleRate = static_cast<long>(U32At(body + 4));
        format.bitsPerSample = U16At(body + 14);
        const int blockAlign = U16At(body + 12);
        bool pcm = format.formatTag == kFormatPcm;
        if (format.formatTag == kFormatExtensible && size >= kExtensibleFormatSize) {
            // The sub-format GUID starts with the format tag it stands for.
            const int validBits = U16At(body + 18);
            pcm = U16At(body + 24) == kFormatPcm && (validBits == 0 || validBits == kBitsPerSample);
        }
        if (!pcm || format.channels != kChannels || format.sampleRate != kSampleRate
            || format.bitsPerSample != kBitsPerSample || blockAlign != kBlockAlign) {
            std::string found = pcm ? "" : "format tag " + std::to_string(format.formatTag) + ", ";
            found += Plural(format.channels, "channel", "channels") + ", "
                + std::to_string(format.sampleRate) + " Hz, "
                + Plural(format.bitsPerSample, "bit", "bits");
            return "this build reads only 16 kHz mono 16-bit PCM WAV files (this one: " + found
                + ")";
        }
        return {};
    }

    class PcmWavRecording : public RecordingReader {
    public:
        PcmWavRecording(std::unique_ptr<ByteSource> source, std::int64_t dataStart,
            std::int64_t dataBytes, std::string truncation)
            : source_(std::move(source))
            , dataStart_(dataStart)
            , samplesLeft_(dataBytes / 2)
            , truncation_(std::move(truncation))
            , bytes_(kReadSamples * 2)
        {
            info_.sampleRate = kSampleRate;
            info_.channels = kChannels;
            info_.frames = samplesLeft_;
            info_.unchanged = true;
        }

        std::size_t Read(std::int16_t* out, std::size_t max) override
        {
            if (!positioned_) {
                positioned_ = true;
                if (source_->Seek(dataStart_, SEEK_SET) != dataStart_)
                    samplesLeft_ = 0;
            }
            std::size_t produced = 0;
            while (produced < max && samplesLeft_ > 0) {
                std::size_t want = std::min<std::size_t>(max - produced, kReadSamples);
                if (static_cast<std::int64_t>(want) > samplesLeft_)
                    want = static_cast<std::size_t>(samplesLeft_);
                const std::size_t got = source_->Read(bytes_.data(), want * 2) / 2;
                for (std::size_t i = 0; i < got; ++i)
                    out[produced + i] = static_cast<std::int16_t>(U16At(bytes_.data() + 2 * i));
                produced += got;
                samplesLeft_ -= static_cast<std::int64_t>(got);
                framesRead_ += static_cast<std::int64_t>(got);
                if (got < want) {
                    truncation_ = "read error after " + std::to_string(framesRead_) + " samples";
                    samplesLeft_ = 0;
                }
            }
            if (produced == 0 && samplesLeft_ == 0)
                problem_ = truncation_;
            return produced;
        }

    private:
        std::unique_ptr<ByteSource> source_;
        std::int64_t dataStart_;
        std::int64_t samplesLeft_;
        std::string truncation_; // reported once the samples present have been read
        std::vector<std::uint8_t> bytes_;
        bool positioned_ = false;
    };

    RecordingOpenResult Failure(std::string text)
    {
        RecordingOpenResult result;
        result.error = std::move(text);
        return result;
    }

} // namespace

RecordingOpenResult OpenPcmWav(std::unique_ptr<ByteSource> source, const RecordingOptions& options)
{
    const std::int64_t size = source->Size();
    std::uint8_t riff[12] = {};
    if (size < 12 || source->Seek(0, SEEK_SET) != 0 || source->Read(riff, 12) != 12)
        return Failure("not a WAV file: " + std::to_string(size < 0 ? 0 : size)
            + " bytes, too short for a RIFF header");
    if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
        return Failure("not a WAV file: starts with \"" + PrintableTag(riff) + "\"/\""
            + PrintableTag(riff + 8) + "\" instead of \"RIFF\"/\"WAVE\"");

    // Walk the chunks; the data chunk may come before the format chunk. The RIFF size is not
    // trusted (writers often leave it provisional): the walk ends at the end of the file.
    WavFormat format;
    bool haveFormat = false;
    std::int64_t dataStart = -1;
    std::int64_t dataBytes = 0;
    std::string truncation;
    std::int64_t at = 12;
    while (size - at >= static_cast<std::int64_t>(kChunkHeaderSize)
        && !(haveFormat && dataStart >= 0)) {
        std::uint8_t header[kChunkHeaderSize];
        if (source->Seek(at, SEEK_SET) != at || source->Read(header, kChunkHeaderSize) != 8)
            return Failure("read error in the chunk at byte " + std::to_string(at));
        std::string tag = PrintableTag(header);
        tag.erase(tag.find_last_not_of(' ') + 1); // "fmt " named as fmt
        const std::int64_t announced = U32At(header + 4);
        const std::int64_t present = size - at - static_cast<std::int64_t>(kChunkHeaderSize);
        const std::int64_t body = at + static_cast<std::int64_t>(kChunkHeaderSize);
        const bool isData = std::memcmp(header, "data", 4) == 0 && dataStart < 0;
        const bool isFormat = std::memcmp(header, "fmt ", 4) == 0 && !haveFormat;
        if (announced > present && !isData)
            return Failure("truncated " + tag + " chunk: " + std::to_string(announced)
                + " bytes announced, " + std::to_string(present) + " present");
        if (isFormat) {
            std::uint8_t fmt[kExtensibleFormatSize] = {};
            const auto take = static_cast<std::size_t>(
                std::min<std::int64_t>(announced, static_cast<std::int64_t>(sizeof fmt)));
            if (source->Read(fmt, take) != take)
                return Failure("read error in the fmt chunk");
            std::string problem = CheckFormat(fmt, static_cast<std::size_t>(announced), format);
            if (!problem.empty())
                return Failure(std::move(problem));
            haveFormat = true;
        } else if (isData) {
            dataStart = body;
            dataBytes = std::min(announced, present);
            if (announced > present)
                truncation = "truncated data chunk: " + std::to_string(announced)
                    + " bytes announced, " + std::to_string(present) + " present";
        }
        // Skip the body and the pad byte of an odd-sized chunk.
        at = body + announced + (announced & 1);
    }
    if (!haveFormat)
        return Failure("not a usable WAV file: no fmt chunk");
    if (dataStart < 0)
        return Failure("not a usable WAV file: no data chunk");
    if (options.channel > 1)
        return Failure(
            "no channel " + std::to_string(options.channel) + ": the file has 1 channel");
    if (dataBytes / 2 == 0)
        return Failure(truncation.empty() ? "no samples in the file" : truncation);

    RecordingOpenResult result;
    result.reader = std::make_unique<PcmWavRecording>(
        std::move(source), dataStart, dataBytes, std::move(truncation));
    return result;
}

} // namespace quelsor
