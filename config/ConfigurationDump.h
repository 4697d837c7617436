#pragma once

#include "common/StringList.h"
#include "config/Configuration.h"
#include "config/ParamSeq.h"

#include <string>

namespace quelsor {

// A configuration target without a window: keeps what the loader sets, for the command line
// and tests.
class ConfigurationRecord : public IConfigurationTarget {
public:
    void SetThresholdPosition(int position) override { thresholdPosition = position; }
    void ClearSequenceItems() override { items.clear(); }
    void AddSequenceItem(const std::string& text) override { items.push_back(text); }
    void SetSoundDevices(const std::string& input, const std::string& output) override
    {
        inputDevice = input;
        outputDevice = output;
    }

    int thresholdPosition = -1; // -1 until the loader sets it
    std::string inputDevice; // [General] Entree; empty: the default input
    std::string outputDevice; // [General] Sortie
    StringList items; // the request combo box items, in order
};

// The loaded configuration as text, one line each (LF):
//   Seuil=<position>
//   Entree=<input>                       when the file names one
//   Sortie=<output>                      when the file names one
//   [<k>] <item text>                    per sequence, k from 0 (the request index)
//     LGSEQ=<LgSeq>
//     <zone key> Num=<Num> Name=<Name> Mode=<Mode> StartBit=<StartBit> BitLength=<BitLength>
//     Formula=<Formula> [Unit=<Unit>] [DeviceClass=<DeviceClass>]   the last two when set
//       <value>=<label>                  per label of the zone
// An item missing from items (the lists out of step) is shown empty.
std::string DescribeConfiguration(const ConfigurationRecord& record, const SeqList& sequences);

} // namespace quelsor
