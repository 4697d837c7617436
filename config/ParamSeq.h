#pragma once

#include "common/StringList.h"

#include <cstdint>
#include <string>

namespace quelsor {

// One zone (bit field) of a device's answer, as configured by a key Z<n> of a sequence section.
// Owns its value and label lists. Only ResultText (decoder) and Formula (upper-cased by the
// formula evaluator) change after loading.
class TParamZone {
public:
    virtual ~TParamZone() = default;

    std::string Name;
    std::int32_t Num = 0; // n of the key Z<n>; selects formula cell Z<n> (1..100 only)
    std::int32_t Mode = 0; // 0 BIN, 1 BINC
    std::int32_t StartBit = 0;
    std::int32_t BitLength = 0;
    StringList Values; // raw values as decimal text, searched without regard to case
    StringList Labels; // parallel to Values
    std::string Formula;
    std::string ResultText; // "%d" or "%d=%s" of the last stored value; empty until then
    // Fields 6 and 7 of the zone value, for the tools results are published to (the unit and
    // the Home Assistant device class, "V" and "voltage"); the window does not use them.
    std::string Unit;
    std::string DeviceClass;
};

// One configured status request: the expected answer length and the zones of the answer.
// Owns its zones; the entry text of each zone is its key in upper case (Z1, Z12 ...).
class TParamSeq {
public:
    virtual ~TParamSeq() = default;

    std::string Title; // never set by the configuration, so always empty
    std::int32_t LgSeq = 0; // DTMF characters expected in the answer
    OwningStringList<TParamZone> Zones;
};

// The window's list of sequences, index for index with the items of the request combo box; the
// entry text is the section name as written in the file.
using SeqList = OwningStringList<TParamSeq>;

} // namespace quelsor
