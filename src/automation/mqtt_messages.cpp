#include "automation/mqtt_messages.h"

#include <cctype>
#include <charconv>

#include "automation/automation_files.h"

namespace skarvel {

namespace {

std::string tenths(float value) {
    char buf[32];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, double(value) + 0.0, std::chars_format::fixed, 1);
    return std::string(buf, res.ptr);
}

std::string quoted(const std::string& text) {
    return "\"" + jsonEscaped(text) + "\"";
}

/// Home Assistant's node ids take letters, digits, - and _ only.
std::string nodeId(const std::string& uniqueId) {
    std::string id = "skarvel_";
    for (const char c : uniqueId) {
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') id += c;
    }
    return id;
}

}  // namespace

MqttMessage mqttStatus(const AutomationSettings& settings, bool online) {
    return {settings.mqttTopic + "/status", online ? "online" : "offline"};
}

MqttMessage mqttState(const AutomationSettings& settings, const AutomationState& state,
                      std::chrono::sys_seconds utc) {
    std::string json = "{\"time\":\"" + utcText(utc) + "\"";
    if (state.haveReading) {
        json += ",\"sky\":" + tenths(state.sky) + ",\"ambient\":" + tenths(state.ambient) +
                ",\"difference\":" + tenths(state.difference);
        if (state.cloudCover) json += ",\"cloudCover\":" + tenths(*state.cloudCover);
    }
    if (!state.anyCycle) {
    } else if (!state.linkOpen) {
        json += ",\"state\":\"ERROR\"";
    } else if (state.haveReading) {
        json += ",\"state\":" + quoted(state.state);
    }
    json += ",\"safe\":" + std::string(state.verdict.safe ? "true" : "false") +
            ",\"reason\":" + quoted(state.verdict.reason) + "}";
    return {settings.mqttTopic + "/state", json};
}

std::vector<MqttMessage> homeAssistantConfigs(const AutomationSettings& settings,
                                              const std::string& version) {
    const std::string node = nodeId(settings.uniqueId);
    const std::string device =
        "\"device\":{\"identifiers\":[" + quoted(settings.uniqueId) + "],\"name\":" +
        quoted(settings.mqttTopic == "skarvel" ? "Skarvel" : "Skarvel " + settings.mqttTopic) +
        ",\"model\":\"Skarvel sky monitor\",\"manufacturer\":\"Skarvel\",\"sw_version\":" +
        quoted(version) + "}";
    const std::string common = ",\"state_topic\":" + quoted(settings.mqttTopic + "/state") +
                               ",\"availability_topic\":" + quoted(settings.mqttTopic + "/status") +
                               ",\"payload_available\":\"online\","
                               "\"payload_not_available\":\"offline\"," +
                               device + "}";
    const auto config = [&](const std::string& component, const std::string& object,
                            const std::string& name, const std::string& fields) {
        return MqttMessage{"homeassistant/" + component + "/" + node + "/" + object + "/config",
                           "{\"name\":" + quoted(name) + ",\"unique_id\":" +
                               quoted(node + "_" + object) + "," + fields + common};
    };
    // A value the state leaves out is "None", which Home Assistant shows as unknown.
    const auto temperature = [&](const std::string& object, const std::string& name,
                                 const std::string& key) {
        return config("sensor", object, name,
                      "\"device_class\":\"temperature\",\"state_class\":\"measurement\","
                      "\"unit_of_measurement\":\"°C\",\"value_template\":\"{{ value_json." +
                          key + " | default('None') }}\"");
    };
    return {
        temperature("sky_temperature", "Sky temperature", "sky"),
        temperature("ambient_temperature", "Ambient temperature", "ambient"),
        temperature("difference", "Sky minus ambient", "difference"),
        config("sensor", "cloud_cover", "Cloud cover",
               "\"state_class\":\"measurement\",\"unit_of_measurement\":\"%\","
               "\"icon\":\"mdi:weather-cloudy\",\"value_template\":\"{{ value_json.cloudCover "
               "| default('None') }}\""),
        config("sensor", "sky_state", "Sky",
               "\"device_class\":\"enum\",\"options\":[\"CLEAR\",\"CLOUDY\",\"V.CLOUDY\","
               "\"ERROR\"],\"value_template\":\"{{ value_json.state | default('None') }}\""),
        // Home Assistant's safety class means unsafe when on.
        config(
            "binary_sensor", "safety", "Safety",
            "\"device_class\":\"safety\",\"payload_on\":\"unsafe\",\"payload_off\":\"safe\","
            "\"value_template\":\"{{ 'safe' if value_json.safe else 'unsafe' }}\","
            "\"json_attributes_topic\":" +
                quoted(settings.mqttTopic + "/state") +
                ",\"json_attributes_template\":\"{{ {'reason': value_json.reason} | tojson }}\""),
    };
}

}  // namespace skarvel
