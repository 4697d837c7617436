#include "Configuration.h"

#include "IniInteger.h"
#include "ProfileFile.h"
#include "Utf8Path.h"
#include "common/SplitText.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

namespace quelsor {

namespace {

    std::string UpperAscii(std::string text)
    {
        for (char& c : text) {
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        }
        return text;
    }

    std::string FormatIndexError(int index)
    {
        char text[64];
        std::snprintf(text, sizeof text, ConfigTexts::kListIndexOutOfBounds, index);
        return text;
    }

    std::string FormatWriteError(const std::string& fullPath)
    {
        const int length = std::snprintf(nullptr, 0, ConfigTexts::kUnableToWrite, fullPath.c_str());
        std::string text(static_cast<std::size_t>(std::max(length, 0)) + 1, '\0');
        std::snprintf(text.data(), text.size(), ConfigTexts::kUnableToWrite, fullPath.c_str());
        text.resize(text.size() - 1);
        return text;
    }

    // Fills a zone from its value "Name,Mode,StartBit,BitLength,Formula,Unit,DeviceClass" and
    // its key "Z<n>". Fields are not trimmed (but for the last two); missing trailing ones keep
    // the zone's defaults, an eighth and further ones are ignored.
    void FillZone(TParamZone& zone, const std::string& key, const std::string& value)
    {
        StringList fields;
        const int all = SplitText(value, fields, ",");
        const auto trimmed = [&](int index) {
            const std::string& field = fields[static_cast<std::size_t>(index)];
            const std::size_t first = field.find_first_not_of(' ');
            return first == std::string::npos
                ? std::string()
                : field.substr(first, field.find_last_not_of(' ') - first + 1);
        };
        if (all >= 6)
            zone.Unit = trimmed(5);
        if (all >= 7)
            zone.DeviceClass = trimmed(6);
        const int count = std::min(all, 5);
        if (count >= 5)
            zone.Formula = fields[4];
        if (count >= 4)
            zone.BitLength = ReadIniInteger(fields[3], 0);
        if (count >= 3)
            zone.StartBit = ReadIniInteger(fields[2], 0);
        if (count >= 2) {
            const std::string mode = UpperAscii(fields[1]);
            zone.Mode = mode == "BINC" ? 1 : 0; // "BIN" and anything else read as BIN
        }
        zone.Name = fields[0];
        zone.Num = ReadIniInteger(key.substr(1), 0);
    }

    // Loads one sequence section into sequences and the target. When an entry lacks a part the
    // load of the section stops there and the missing list index is returned.
    std::optional<int> LoadSequence(const ProfileFile& profile, const std::string& section,
        IConfigurationTarget& target, SeqList& sequences)
    {
        StringList parts;
        if (SplitText(section, parts, "_") < 3)
            return 2;
        auto owned = std::make_unique<TParamSeq>();
        TParamSeq& sequence = *owned;
        target.AddSequenceItem(UpperAscii(parts[1]) + " " + parts[2]);
        sequences.Add(section, std::move(owned));

        TParamZone* zone = nullptr; // the last zone key met in this section
        for (const std::string& name : profile.KeyNames(section)) {
            const std::string key = UpperAscii(name);
            if (key == "LGSEQ") {
                sequence.LgSeq = profile.ReadInteger(section, key, 0);
                continue;
            }
            if (key.empty() || key.front() != 'Z')
                continue;
            const std::string value = profile.ReadString(section, key, std::string());
            if (key.find('_') == std::string::npos) {
                auto newZone = std::make_unique<TParamZone>();
                zone = newZone.get();
                FillZone(*zone, key, value);
                sequence.Zones.Add(key, std::move(newZone));
                continue;
            }
            // Label key: "value,label" for the zone defined last in this section.
            if (zone == nullptr)
                return -1;
            StringList fields;
            if (SplitText(value, fields, ",") < 2)
                return 1;
            zone->Values.push_back(fields[0]);
            zone->Labels.push_back(fields[1]);
        }
        return std::nullopt;
    }

} // namespace

std::string IniPathForExecutable(const std::string& executablePath)
{
    std::filesystem::path path = PathFromUtf8(executablePath);
    path.replace_extension(".ini");
    return Utf8FromPath(path);
}

ConfigurationLoadResult LoadConfiguration(const std::string& fileName, IConfigurationTarget& target,
    SeqList& sequences, IOperatorMessages& messages)
{
    ProfileFile profile;
    const bool fileRead = profile.Load(fileName);
    ConfigurationLoadResult result
        = LoadConfigurationFromProfile(profile, target, sequences, messages);
    result.fileRead = fileRead;
    return result;
}

ConfigurationLoadResult LoadConfigurationFromProfile(const ProfileFile& profile,
    IConfigurationTarget& target, SeqList& sequences, IOperatorMessages& messages)
{
    ConfigurationLoadResult result;
    result.fileRead = true;
    sequences.Clear();
    target.ClearSequenceItems();
    const std::int32_t position
        = profile.ReadInteger(kGeneralSection, kThresholdKey, kThresholdDefault);
    target.SetThresholdPosition(std::clamp<std::int32_t>(position, kThresholdMin, kThresholdMax));
    target.SetSoundDevices(profile.ReadString(kGeneralSection, kInputDeviceKey, std::string()),
        profile.ReadString(kGeneralSection, kOutputDeviceKey, std::string()));

    for (const std::string& section : profile.SectionNames()) {
        if (UpperAscii(section.substr(0, 3)) != "SEQ")
            continue;
        if (const std::optional<int> missing = LoadSequence(profile, section, target, sequences)) {
            result.error = FormatIndexError(*missing);
            messages.ShowMessage(result.error);
            break;
        }
    }
    return result;
}

ConfigurationLoadResult LoadDefaultConfiguration(const std::string& executablePath,
    IConfigurationTarget& target, SeqList& sequences, IOperatorMessages& messages)
{
    return LoadConfiguration(IniPathForExecutable(executablePath), target, sequences, messages);
}

bool SaveSetting(const std::string& fileName, const std::string& section, const std::string& key,
    const std::string& value, IOperatorMessages& messages)
{
    if (WriteProfileString(fileName, section, key, value))
        return true;
    messages.ShowMessage(FormatWriteError(FullPathOf(fileName)));
    return false;
}

} // namespace quelsor
