#pragma once

#include "config/ParamSeq.h"

#include <string>
#include <utility>
#include <vector>

namespace quelsor {

// What the Home Assistant discovery configs of one poll are made of.
struct HaDiscoveryInput {
    std::string discoveryPrefix = "homeassistant";
    std::string topicPrefix; // the poll's prefix, sanitised as MqttPublisher has it
    std::string deviceName; // the configuration's name (its file name without extension)
    std::string version; // the program's
    std::vector<std::string> items; // the request items ("1234 Etat general")
    const SeqList* sequences = nullptr; // index for index with items
    std::vector<int> sensorRequests; // the items whose zones get a sensor
};

// The retained discovery configs (topic, JSON payload) that make one Home Assistant device of
// a poll: a sensor per zone of the sensor requests, on
//   <discovery prefix>/sensor/<node id>/<command>_<zone key>/config
// and a button per request item, which sends the item's number to PREFIX/command, on
//   <discovery prefix>/button/<node id>/<command>_request/config.
// The node id is the poll's prefix made of [a-zA-Z0-9_-] (other characters become '_'); in the
// command, '*' is "star" and '#' "hash". The unique ids are the node id and that object id, so
// they stay the same across restarts as long as prefix, commands and zone keys do. Every entity
// is available while PREFIX/status says "online". A zone with labels and no formula is a text
// sensor; any other is numeric, with state_class measurement. The zone's unit and device class
// go in when the configuration names them ("enum" lists the labels as the options).
std::vector<std::pair<std::string, std::string>> HaDiscoveryConfigs(const HaDiscoveryInput& input);

} // namespace quelsor
