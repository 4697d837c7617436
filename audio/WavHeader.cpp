#include "WavHeader.h"

#include "common/SampleFormat.h"

#include <cstring>

namespace quelsor {

namespace {

    void SetTag(std::array<char, 4>& tag, const char* text) { std::memcpy(tag.data(), text, 4); }

    class ByteWriter {
    public:
        explicit ByteWriter(std::array<std::uint8_t, kWavHeaderSize>& bytes)
            : bytes_(bytes)
        {
        }
        void Tag(const std::array<char, 4>& tag)
        {
            for (char c : tag)
                bytes_[at_++] = static_cast<std::uint8_t>(c);
        }
        void U16(std::uint16_t value)
        {
            bytes_[at_++] = static_cast<std::uint8_t>(value & 0xFFu);
            bytes_[at_++] = static_cast<std::uint8_t>(value >> 8);
        }
        void U32(std::uint32_t value)
        {
            for (int shift = 0; shift < 32; shift += 8)
                bytes_[at_++] = static_cast<std::uint8_t>((value >> shift) & 0xFFu);
        }

    private:
        std::array<std::uint8_t, kWavHeaderSize>& bytes_;
        std::size_t at_ = 0;
    };

} // namespace

int BuildWavHeader(WavHeader& header, std::int32_t dataSize)
{
    header = WavHeader {};
    const std::uint32_t size = dataSize < 0 ? 0u : static_cast<std::uint32_t>(dataSize);
    SetTag(header.riffTag, "RIFF");
    header.riffSize = size + (kWavHeaderSize - 8);
    SetTag(header.formType, "WAVE");
    SetTag(header.formatTag, "fmt ");
    header.formatSize = 16;
    header.audioFormat = 1;
    header.channels = kChannels;
    header.samplesPerSecond = kSampleRate;
    header.blockAlign = static_cast<std::uint16_t>(header.channels * kBitsPerSample / 8);
    header.bytesPerSecond = header.blockAlign * header.samplesPerSecond;
    header.bitsPerSample = kBitsPerSample;
    SetTag(header.dataTag, "data");
    header.dataSize = size;
    return 0;
}

std::array<std::uint8_t, kWavHeaderSize> SerializeWavHeader(const WavHeader& header)
{
    std::array<std::uint8_t, kWavHeaderSize> bytes {};
    ByteWriter out(bytes);
    out.Tag(header.riffTag);
    out.U32(header.riffSize);
    out.Tag(header.formType);
    out.Tag(header.formatTag);
    out.U32(header.formatSize);
    out.U16(header.audioFormat);
    out.U16(header.channels);
    out.U32(header.samplesPerSecond);
    out.U32(header.bytesPerSecond);
    out.U16(header.blockAlign);
    out.U16(header.bitsPerSample);
    out.Tag(header.dataTag);
    out.U32(header.dataSize);
    return bytes;
}

int WriteWavHeader(const WavHeader& header, std::FILE* file)
{
    if (file == nullptr || std::fseek(file, 0, SEEK_SET) != 0)
        return 0;
    const auto bytes = SerializeWavHeader(header);
    return static_cast<int>(std::fwrite(bytes.data(), bytes.size(), 1, file));
}

} // namespace quelsor
