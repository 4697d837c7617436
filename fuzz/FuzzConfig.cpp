// Configuration loader: any file content must load (fully or up to an index error) without
// breaking the invariants the decoder relies on, and the threshold must survive a save.

#include "config/Configuration.h"
#include "config/ConfigurationDump.h"
#include "config/TextEncoding.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>

namespace {

class CountMessages : public quelsor::IOperatorMessages {
public:
    void ShowMessage(const std::string& text) override
    {
        last = text;
        ++count;
    }
    std::string last;
    int count = 0;
};

// One file per fuzzing process, so that parallel jobs do not share it.
const std::string& TempIniPath()
{
    static const std::string path = [] {
        std::random_device random;
        const auto name = "quelsor-fuzz-" + std::to_string(random()) + ".ini";
        return (std::filesystem::temp_directory_path() / name).string();
    }();
    return path;
}

bool WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool ok = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}

std::string ReadFile(const std::string& path)
{
    std::string content;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            content.append(buffer, got);
        std::fclose(file);
    }
    return content;
}

void CheckInvariants(const quelsor::ConfigurationRecord& record, const quelsor::SeqList& sequences)
{
    using namespace quelsor;
    if (record.thresholdPosition < kThresholdMin || record.thresholdPosition > kThresholdMax)
        std::abort();
    if (static_cast<int>(record.items.size()) != sequences.Count())
        std::abort();
    for (const auto& sequence : sequences) {
        if (sequence.object == nullptr || !sequence.object->Title.empty())
            std::abort();
        for (const auto& zone : sequence.object->Zones) {
            if (zone.object == nullptr)
                std::abort();
            if (zone.object->Mode != 0 && zone.object->Mode != 1)
                std::abort();
            if (zone.object->Values.size() != zone.object->Labels.size())
                std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quelsor;
    const std::string& path = TempIniPath();
    if (!WriteFile(path, data, size))
        return 0;

    ConfigurationRecord record;
    SeqList sequences;
    CountMessages messages;
    const ConfigurationLoadResult result = LoadConfiguration(path, record, sequences, messages);
    if (!result.fileRead || messages.count > 1 || result.error != messages.last)
        std::abort();
    CheckInvariants(record, sequences);
    const std::string before = DescribeConfiguration(record, sequences);

    // The threshold written at close is what the next start reads.
    const int position = 20 + static_cast<int>(size % 181);
    if (SaveSetting(path, kGeneralSection, kThresholdKey, std::to_string(position), messages)) {
        ConfigurationRecord again;
        SeqList reloaded;
        LoadConfiguration(path, again, reloaded, messages);
        if (again.thresholdPosition != position)
            std::abort();
        // Nothing but the threshold changes, unless the rewritten line held the only bytes that
        // were not UTF-8: the file is then read as UTF-8 instead of Windows-1252.
        const std::string after = DescribeConfiguration(again, reloaded);
        const bool sameEncoding = IsValidUtf8(ReadFile(path))
            == IsValidUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
        if (sameEncoding && after.substr(after.find('\n')) != before.substr(before.find('\n')))
            std::abort();
    }
    std::remove(path.c_str());
    return 0;
}
