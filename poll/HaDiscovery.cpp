#include "HaDiscovery.h"

#include "decoder/ResultRecord.h"
#include "poll/MqttPublisher.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace quelsor {

namespace {

    std::string JsonString(std::string_view text)
    {
        std::string out = "\"";
        for (const char c : ValidUtf8(text)) {
            const auto byte = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                out += '\\';
                out += c;
            } else if (byte < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                out += escaped;
            } else {
                out += c;
            }
        }
        return out + "\"";
    }

    // A topic level or id of the characters discovery allows.
    std::string Slug(std::string_view text)
    {
        std::string out;
        for (const char c : text) {
            if (c == '*')
                out += "star";
            else if (c == '#')
                out += "hash";
            else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
                || c == '-' || c == '_')
                out += c;
            else
                out += '_';
        }
        return out.empty() ? "_" : out;
    }

    std::string Lower(std::string text)
    {
        for (char& c : text) {
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        }
        return text;
    }

    // A JSON object written member by member.
    class Object {
    public:
        Object& Text(const char* key, std::string_view value)
        {
            return Raw(key, JsonString(value));
        }
        Object& Raw(const char* key, const std::string& json)
        {
            body_ += body_.empty() ? "{" : ",";
            body_ += JsonString(key) + ":" + json;
            return *this;
        }
        std::string Json() const { return body_.empty() ? "{}" : body_ + "}"; }

    private:
        std::string body_;
    };

} // namespace

std::vector<std::pair<std::string, std::string>> HaDiscoveryConfigs(const HaDiscoveryInput& input)
{
    std::vector<std::pair<std::string, std::string>> configs;
    const std::string discovery = SanitizeTopicPrefix(input.discoveryPrefix);
    const std::string node = Slug(input.topicPrefix);
    const std::string status = input.topicPrefix + "/status";
    const std::string device = Object()
                                   .Raw("identifiers", "[" + JsonString("quelsor-" + node) + "]")
                                   .Text("name", input.deviceName)
                                   .Text("manufacturer", "Quelsor")
                                   .Text("model", "quelsor-cli poll")
                                   .Text("sw_version", input.version)
                                   .Json();
    const auto common = [&](Object& entity, const std::string& objectId) {
        entity.Text("unique_id", node + "_" + objectId)
            .Text("availability_topic", status)
            .Text("payload_available", "online")
            .Text("payload_not_available", "offline")
            .Raw("device", device);
    };

    // A zone name met in more than one request is told apart by the request's command.
    std::map<std::string, int> nameUse;
    std::vector<int> requests;
    for (const int request : input.sensorRequests) {
        if (std::find(requests.begin(), requests.end(), request) == requests.end())
            requests.push_back(request);
    }
    const auto zonesOf = [&](int request) -> const TParamSeq* {
        return input.sequences != nullptr && input.sequences->ValidIndex(request)
            ? input.sequences->Object(request)
            : nullptr;
    };
    for (const int request : requests) {
        if (const TParamSeq* sequence = zonesOf(request)) {
            for (const auto& entry : sequence->Zones) {
                if (entry.object)
                    ++nameUse[entry.object->Name];
            }
        }
    }

    for (const int request : requests) {
        const TParamSeq* sequence = zonesOf(request);
        if (sequence == nullptr || request >= static_cast<int>(input.items.size()))
            continue;
        const ResultRecord item
            = RecordWithoutZone(input.items[static_cast<std::size_t>(request)], "ok");
        for (const auto& entry : sequence->Zones) {
            const TParamZone* zone = entry.object.get();
            if (zone == nullptr)
                continue;
            const std::string objectId = Slug(item.request) + "_" + Slug(Lower(entry.text));
            Object sensor;
            sensor.Text("name",
                nameUse[zone->Name] > 1 ? zone->Name + " (" + item.request + ")" : zone->Name);
            common(sensor, objectId);
            sensor.Text("state_topic",
                input.topicPrefix + "/" + SanitizeTopicLevel(item.request) + "/"
                    + SanitizeTopicLevel(zone->Name));
            const bool labelled = !zone->Values.empty() && zone->Formula.empty();
            if (!labelled)
                sensor.Text("state_class", "measurement");
            if (!zone->Unit.empty())
                sensor.Text("unit_of_measurement", zone->Unit);
            if (!zone->DeviceClass.empty())
                sensor.Text("device_class", zone->DeviceClass);
            if (zone->DeviceClass == "enum") {
                std::string options;
                for (std::size_t i = 0; i < zone->Labels.size(); ++i) {
                    const auto& labels = zone->Labels;
                    if (std::find(labels.begin(), labels.begin() + static_cast<long>(i), labels[i])
                        == labels.begin() + static_cast<long>(i))
                        options += (options.empty() ? "" : ",") + JsonString(labels[i]);
                }
                sensor.Raw("options", "[" + options + "]");
            }
            configs.emplace_back(
                discovery + "/sensor/" + node + "/" + objectId + "/config", sensor.Json());
        }
    }

    for (std::size_t k = 0; k < input.items.size(); ++k) {
        const ResultRecord item = RecordWithoutZone(input.items[k], "ok");
        const std::string objectId = Slug(item.request) + "_request";
        Object button;
        button.Text("name", input.items[k]);
        common(button, objectId);
        button.Text("command_topic", input.topicPrefix + "/command")
            .Text("payload_press", std::to_string(k));
        configs.emplace_back(
            discovery + "/button/" + node + "/" + objectId + "/config", button.Json());
    }
    return configs;
}

} // namespace quelsor
