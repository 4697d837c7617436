#include "WavReader.h"

#include "common/FileOpen.h"
#include "common/SampleFormat.h"

#include <cstdio>
#include <cstring>
#include <utility>

namespace quelsor {

namespace {

    constexpr int kFormatPcm = 1;
    constexpr int kFormatExtensible = 0xFFFE;
    constexpr std::size_t kRiffHeaderSize = 12; // "RIFF", size, "WAVE"
    constexpr std::size_t kChunkHeaderSize = 8; // tag, size
    constexpr std::size_t kMinFormatSize = 16;
    constexpr std::size_t kExtensibleFormatSize = 40;

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

    WavReadResult Failure(std::string text, const WavFormat& format = {})
    {
        WavReadResult result;
        result.error = std::move(text);
        result.format = format;
        return result;
    }

    std::string Plural(long long count, const char* singular, const char* plural)
    {
        return std::to_string(count) + ' ' + (count == 1 ? singular : plural);
    }

    std::string DescribeFormat(const WavFormat& format)
    {
        std::string text;
        if (format.formatTag != kFormatPcm)
            text += "format tag " + std::to_string(format.formatTag) + " (not PCM), ";
        text += Plural(format.channels, "channel", "channels") + ", ";
        text += std::to_string(format.sampleRate) + " Hz, ";
        text += Plural(format.bitsPerSample, "bit", "bits");
        return text;
    }

    // Reads the "fmt " chunk body; returns an empty text when the format is ours.
    std::string ReadFormat(const std::uint8_t* body, std::size_t size, WavFormat& format)
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
            const int subFormat = U16At(body + 24);
            const int validBits = U16At(body + 18);
            pcm = subFormat == kFormatPcm && (validBits == 0 || validBits == kBitsPerSample);
            if (pcm)
                format.formatTag = kFormatPcm;
        }
        if (!pcm || format.channels != kChannels || format.sampleRate != kSampleRate
            || format.bitsPerSample != kBitsPerSample)
            return "unsupported format: " + DescribeFormat(format) + " (expected PCM, 1 channel, "
                + std::to_string(kSampleRate) + " Hz, " + std::to_string(kBitsPerSample) + " bits)";
        if (blockAlign != kBlockAlign)
            return "unsupported format: block alignment " + std::to_string(blockAlign)
                + " bytes (expected " + std::to_string(kBlockAlign) + ")";
        return {};
    }

} // namespace

WavReadResult ReadWavBuffer(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (bytes == nullptr || size < kRiffHeaderSize)
        return Failure("not a WAV file: " + std::to_string(size)
            + " bytes, too short for a RIFF "
              "header");
    if (std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WAVE", 4) != 0)
        return Failure("not a WAV file: starts with \"" + PrintableTag(bytes) + "\"/\""
            + PrintableTag(bytes + 8) + "\" instead of \"RIFF\"/\"WAVE\"");

    WavFormat format;
    bool haveFormat = false;
    const std::uint8_t* sampleBytes = nullptr;
    std::size_t sampleByteCount = 0;

    // Walk every chunk; the data chunk may come before the format chunk. The RIFF size is not
    // trusted (writers often leave it provisional): the walk ends at the end of the buffer.
    std::size_t at = kRiffHeaderSize;
    while (size - at >= kChunkHeaderSize) {
        const std::uint8_t* header = bytes + at;
        const std::string tag = PrintableTag(header);
        const std::uint32_t announced = U32At(header + 4);
        const std::size_t present = size - at - kChunkHeaderSize;
        const std::uint8_t* body = header + kChunkHeaderSize;
        if (announced > present) {
            if (std::memcmp(header, "data", 4) == 0 && sampleBytes == nullptr)
                return Failure("truncated data chunk: " + std::to_string(announced)
                        + " bytes announced, " + std::to_string(present) + " present",
                    format);
            if (std::memcmp(header, "fmt ", 4) == 0 && !haveFormat)
                return Failure("truncated fmt chunk: " + std::to_string(announced)
                        + " bytes announced, " + std::to_string(present) + " present",
                    format);
            // A damaged chunk before the format or the data hides them.
            return Failure("truncated " + tag + " chunk: " + std::to_string(announced)
                    + " bytes announced, " + std::to_string(present) + " present",
                format);
        }
        if (std::memcmp(header, "fmt ", 4) == 0 && !haveFormat) {
            std::string problem = ReadFormat(body, announced, format);
            if (!problem.empty())
                return Failure(std::move(problem), format);
            haveFormat = true;
        } else if (std::memcmp(header, "data", 4) == 0 && sampleBytes == nullptr) {
            sampleBytes = body;
            sampleByteCount = announced;
        }
        // Skip the body and the pad byte of an odd-sized chunk (absent at the very end is fine).
        std::size_t advance = kChunkHeaderSize + announced;
        if ((announced & 1u) != 0 && advance < size - at)
            ++advance;
        at += advance;
        if (haveFormat && sampleBytes != nullptr)
            break;
    }

    if (!haveFormat)
        return Failure("not a usable WAV file: no fmt chunk", format);
    if (sampleBytes == nullptr)
        return Failure("not a usable WAV file: no data chunk", format);

    WavReadResult result;
    result.ok = true;
    result.format = format;
    const std::size_t count = sampleByteCount / 2;
    result.samples.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        result.samples[i] = static_cast<std::int16_t>(U16At(sampleBytes + 2 * i));
    return result;
}

WavReadResult ReadWavFile(const std::string& path)
{
    std::FILE* file = OpenFileUtf8(path, "rb");
    if (file == nullptr)
        return Failure("cannot open " + path);
    std::vector<std::uint8_t> contents;
    std::vector<std::uint8_t> chunk(65536);
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), file)) > 0)
        contents.insert(contents.end(), chunk.begin(), chunk.begin() + static_cast<long>(got));
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return Failure("cannot read " + path);
    return ReadWavBuffer(contents.data(), contents.size());
}

} // namespace quelsor
