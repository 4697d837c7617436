#include "sound/DeviceChoice.h"

#include "common/Utf8.h"

#include <cstdio>

namespace quelsor {

namespace {

    // The lower-case form of a letter of the alphabets device names are written in; any other
    // character is its own.
    char32_t FoldCase(char32_t c)
    {
        if (c >= U'A' && c <= U'Z')
            return c + 32;
        if (c < 0x80)
            return c;
        if (c >= 0xC0 && c <= 0xDE && c != 0xD7) // Latin-1 capitals, not the multiplication sign
            return c + 32;
        if (c == 0x178) // Ÿ
            return 0xFF;
        if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) // pairs, capital even
            return c % 2 == 0 ? c + 1 : c;
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) // pairs, capital odd
            return c % 2 == 1 ? c + 1 : c;
        if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) // Greek
            return c + 32;
        if (c >= 0x410 && c <= 0x42F) // Cyrillic
            return c + 32;
        if (c >= 0x400 && c <= 0x40F)
            return c + 80;
        return c;
    }

    // The text as folded characters; a byte that starts no well-formed UTF-8 character stands
    // for itself.
    std::u32string Folded(std::string_view text)
    {
        std::u32string folded;
        for (std::size_t i = 0; i < text.size();) {
            char32_t c = 0;
            const std::size_t length = DecodeUtf8(text, i, c);
            if (length == 0) {
                folded.push_back(static_cast<unsigned char>(text[i]));
                ++i;
            } else {
                folded.push_back(FoldCase(c));
                i += length;
            }
        }
        return folded;
    }

    std::string Format(const char* format, const std::string& text)
    {
        const int length = std::snprintf(nullptr, 0, format, text.c_str());
        std::string line(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
        std::snprintf(line.data(), line.size() + 1, format, text.c_str());
        return line;
    }

} // namespace

const SoundDevice* FindDevice(
    const std::vector<SoundDevice>& devices, bool input, std::string_view text)
{
    if (text.empty())
        return nullptr;
    const std::u32string wanted = Folded(text);
    for (const SoundDevice& device : devices) {
        if (device.input == input
            && (Folded(device.id) == wanted || Folded(device.description) == wanted))
            return &device;
    }
    for (const SoundDevice& device : devices) {
        if (device.input == input
            && Folded(device.description).find(wanted) != std::u32string::npos)
            return &device;
    }
    return nullptr;
}

std::string DeviceChoice::ApplyInput(ISoundBackend& backend) const { return Apply(backend, true); }

std::string DeviceChoice::ApplyOutput(ISoundBackend& backend) const
{
    return Apply(backend, false);
}

DeviceChoice::Resolution DeviceChoice::Resolve(
    const std::vector<SoundDevice>& devices, bool input) const
{
    const std::string& text = input ? input_ : output_;
    Resolution resolution;
    if (text.empty())
        return resolution;
    if (const SoundDevice* device = FindDevice(devices, input, text))
        resolution.id = device->id;
    else
        resolution.absentLine
            = Format(input ? device_text::kInputAbsent : device_text::kOutputAbsent, text);
    return resolution;
}

std::string DeviceChoice::Apply(ISoundBackend& backend, bool input) const
{
    Resolution resolution;
    if (!(input ? input_ : output_).empty()) {
        std::vector<SoundDevice> devices;
        std::string error;
        if (backend.ListDevices(devices, error))
            resolution = Resolve(devices, input);
    }
    if (input)
        backend.SetInputDevice(resolution.id);
    else
        backend.SetOutputDevice(resolution.id);
    return resolution.absentLine;
}

std::string FormatDeviceList(const std::vector<SoundDevice>& devices)
{
    std::string text;
    for (const bool input : { true, false }) {
        for (const SoundDevice& device : devices) {
            if (device.input != input)
                continue;
            text += input ? "in " : "out ";
            text += device.isDefault ? "* " : "  ";
            text += device.id + "  " + device.description + "\n";
        }
    }
    return text;
}

} // namespace quelsor
