#include "MqttOptions.h"

namespace quelsor::cli {

namespace {

    CLI::Option* AddValue(CLI::App& app, const std::string& name, std::string& value,
        const char* valueName, const std::string& help)
    {
        return app.add_option(name, value, help)
            ->option_text(valueName)
            ->check(NotEmpty(name + " needs a value"));
    }

} // namespace

void AddMqttOptions(CLI::App& app, MqttOptions& options)
{
    BrokerArguments& broker = options.broker;
    app.option_defaults()->group("MQTT options"); // for the options declared until the end
    AddValue(app, "--mqtt", broker.address, "ADDRESS",
        "publish to the MQTT broker at ADDRESS: HOST[:PORT] (port 1883), mqtt://HOST[:PORT], or "
        "mqtts://HOST[:PORT] for TLS (port 8883): each zone's text on PREFIX/REQUEST/NAME "
        "(retained), each record as JSON on PREFIX/REQUEST/json, online/offline on "
        "PREFIX/status (offline is the will); QoS 1; records wait while the broker is away. "
        "Requests asked for on PREFIX/command are sent too (below)")
        ->check(CLI::Validator(
            [](std::string& address) { return BrokerAddressProblem(address); }, std::string()));
    app.add_option("--topic", options.topic, "the MQTT topic prefix (default quelsor)")
        ->option_text("PREFIX")
        ->check(NotEmpty("empty topic prefix"));
    AddValue(app, "--mqtt-user", broker.user, "NAME",
        "log in as NAME; the password is the first line of --mqtt-password-file, else the "
        "environment variable QUELSOR_MQTT_PASSWORD (never an argument: arguments are seen by "
        "every user of the machine)");
    AddValue(app, "--mqtt-password-file", broker.passwordFile, "FILE",
        "the file whose first line is the password of --mqtt-user");
    app.add_flag("--mqtt-tls", broker.tls,
        "TLS to the broker (port 8883 unless given), its certificate checked against the "
        "system's CA certificates, or those of --mqtt-cafile or --mqtt-capath");
    AddValue(app, "--mqtt-cafile", broker.cafile, "FILE",
        "the CA certificates that the broker's is checked against");
    AddValue(app, "--mqtt-capath", broker.capath, "DIR",
        "a folder of CA certificates that the broker's is checked against");
    AddValue(app, "--mqtt-cert", broker.certFile, "FILE", "a client certificate, with --mqtt-key");
    AddValue(app, "--mqtt-key", broker.keyFile, "FILE", "its key (not encrypted)");
    app.add_option_function<std::string>(
           "--ha-discovery",
           [&options](const std::string& prefix) { options.haDiscovery = prefix; },
           "publish Home Assistant discovery configs (retained) under PREFIX (default "
           "homeassistant) at each connection and whenever PREFIX/status says online: one "
           "device, a sensor per zone of the polled requests (of all of them without --request), "
           "a button per request item")
        ->expected(0, 1)
        ->default_str("homeassistant")
        ->option_text("[PREFIX]");
    app.option_defaults()->group("Options");
}

std::string MqttUsageProblem(const MqttOptions& options)
{
    const BrokerArguments& broker = options.broker;
    const bool needBroker = !broker.user.empty() || !broker.passwordFile.empty() || broker.tls
        || !broker.cafile.empty() || !broker.capath.empty() || !broker.certFile.empty()
        || !broker.keyFile.empty() || options.haDiscovery;
    if (needBroker && broker.address.empty())
        return "the MQTT options need --mqtt ADDRESS";
    if (options.haDiscovery && options.haDiscovery->empty())
        return "empty discovery prefix";
    return {};
}

} // namespace quelsor::cli
