#pragma once

#include "CommandLine.h"

#include "poll/BrokerOptions.h"

#include <optional>
#include <string>

namespace quelsor::cli {

// poll's MQTT options: the broker, its login and TLS (worked out in poll/BrokerOptions), the
// topic prefix and Home Assistant discovery.
struct MqttOptions {
    BrokerArguments broker; // address empty: no MQTT
    std::string topic = "quelsor";
    std::optional<std::string> haDiscovery; // the discovery prefix, with --ha-discovery
};

// Declares them in app, in the group "MQTT options".
void AddMqttOptions(CLI::App& app, MqttOptions& options);

// Once parsed: the usage error of options that need --mqtt ADDRESS given without it; empty when
// there is none.
std::string MqttUsageProblem(const MqttOptions& options);

} // namespace quelsor::cli
