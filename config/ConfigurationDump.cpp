#include "ConfigurationDump.h"

namespace quelsor {

std::string DescribeConfiguration(const ConfigurationRecord& record, const SeqList& sequences)
{
    std::string text = "Seuil=" + std::to_string(record.thresholdPosition) + "\n";
    if (!record.inputDevice.empty())
        text += std::string(kInputDeviceKey) + "=" + record.inputDevice + "\n";
    if (!record.outputDevice.empty())
        text += std::string(kOutputDeviceKey) + "=" + record.outputDevice + "\n";
    for (int k = 0; k < sequences.Count(); ++k) {
        const auto index = static_cast<std::size_t>(k);
        const std::string item = index < record.items.size() ? record.items[index] : std::string();
        // Appended piece by piece: GCC 12 at -O3 sees `"[" + temporary` as an overlapping copy.
        text += '[';
        text += std::to_string(k);
        text += "] " + item + "\n";
        const TParamSeq* sequence = sequences.Object(k);
        if (sequence == nullptr)
            continue;
        text += "  LGSEQ=" + std::to_string(sequence->LgSeq) + "\n";
        for (const auto& entry : sequence->Zones) {
            const TParamZone* zone = entry.object.get();
            if (zone == nullptr)
                continue;
            text += "  " + entry.text + " Num=" + std::to_string(zone->Num) + " Name=" + zone->Name
                + " Mode=" + std::to_string(zone->Mode)
                + " StartBit=" + std::to_string(zone->StartBit)
                + " BitLength=" + std::to_string(zone->BitLength) + " Formula=" + zone->Formula;
            if (!zone->Unit.empty())
                text += " Unit=" + zone->Unit;
            if (!zone->DeviceClass.empty())
                text += " DeviceClass=" + zone->DeviceClass;
            text += "\n";
            for (std::size_t i = 0; i < zone->Values.size() && i < zone->Labels.size(); ++i)
                text += "    " + zone->Values[i] + "=" + zone->Labels[i] + "\n";
        }
    }
    return text;
}

} // namespace quelsor
