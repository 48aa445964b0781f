#include "discovery.h"

#include <cctype>

#include "output.h"
#include "record_json.h"

namespace korvex_mqtt {

namespace {

using korvexctl::fieldText;
using korvexctl::Json;

const char* const kBaudRates[] = {"115200", "57600", "38400", "19200", "9600",
                                  "4800",   "2400",  "1200",  "300"};

// Home Assistant's ids allow letters, digits, "_" and "-".
std::string identifier(const std::string& text) {
    std::string id;
    for (char c : text) {
        id += std::isalnum(static_cast<unsigned char>(c)) || c == '-' ? c : '_';
    }
    return id;
}

class Entities {
  public:
    Entities(const BridgeConfig& config, const DeviceSettings& device, const SystemInfo* info)
        : config_(config), node_(identifier(config.prefix) + "_" + device.name) {
        Json block = {{"identifiers", Json::array({"korvex_" + node_})},
                      {"name", config.prefix + " " + device.name}};
        if (info != nullptr) {
            block["model"] = fieldText(info->model);
            block["sw_version"] = fieldText(info->softVer);
            block["hw_version"] = fieldText(info->hardVer);
            block["serial_number"] = fieldText(info->serial);
        }
        common_ = {{"availability",
                    Json::array({{{"topic", bridgeAvailabilityTopic(config)}},
                                 {{"topic", deviceTopic(config, device.name, "availability")}}})},
                   {"availability_mode", "all"},
                   {"device", block}};
        stateTopic_ = deviceTopic(config, device.name, "state");
        commandTopic_ = deviceTopic(config, device.name, "set");
    }

    // A select of the state's `value` that sends `command` (with {{ value }} in it).
    void select(const char* object, const char* name, std::vector<std::string> options,
                const std::string& value, const std::string& command) {
        add("select", object,
            {{"name", name},
             {"options", options},
             {"state_topic", stateTopic_},
             {"value_template", value},
             {"command_topic", commandTopic_},
             {"command_template", command}});
    }

    void sensor(const char* object, const char* name, const std::string& value, const char* unit) {
        Json entity = {{"name", name}, {"state_topic", stateTopic_}, {"value_template", value}};
        if (unit != nullptr) {
            entity["unit_of_measurement"] = unit;
            entity["state_class"] = "measurement";
        }
        add("sensor", object, entity);
    }

    void actuator(int id) {
        const std::string number = std::to_string(id + 1);  // as the window numbers them
        add("number", ("actuator" + number).c_str(),
            {{"name", "Actuator " + number},
             {"min", 0},
             {"max", 100},
             {"step", 1},
             {"unit_of_measurement", "%"},
             {"command_topic", commandTopic_},
             {"command_template",
              "{\"actuator\": {\"id\": " + std::to_string(id) + ", \"goto\": {{ value | int }}}}"},
             {"enabled_by_default", false}});
    }

    void reset() {
        add("button", "reset",
            {{"name", "Reset"},
             {"device_class", "restart"},
             {"entity_category", "config"},
             {"command_topic", commandTopic_},
             {"payload_press", "{\"reset\": true}"}});
    }

    std::vector<Message> messages() const { return messages_; }

  private:
    void add(const char* component, const char* object, Json entity) {
        entity["unique_id"] = "korvex_" + node_ + "_" + object;
        entity["object_id"] = node_ + "_" + object;
        entity.update(common_);
        messages_.emplace_back(
            config_.discoveryPrefix + "/" + component + "/" + node_ + "/" + object + "/config",
            korvexctl::jsonText(entity));
    }

    const BridgeConfig& config_;
    std::string node_;
    Json common_;
    std::string stateTopic_;
    std::string commandTopic_;
    std::vector<Message> messages_;
};

}  // namespace

std::string deviceTopic(const BridgeConfig& config, const std::string& device, const char* leaf) {
    return config.prefix + "/" + device + "/" + leaf;
}

std::string bridgeAvailabilityTopic(const BridgeConfig& config) {
    return config.prefix + "/bridge/availability";
}

std::vector<Message> discoveryMessages(const BridgeConfig& config, const DeviceSettings& device,
                                       const SystemInfo* info) {
    if (config.discoveryPrefix.empty()) {
        return {};
    }
    Entities entities(config, device, info);
    if (device.receiver) {
        std::vector<std::string> layouts;
        for (const auto& layout : korvexctl::displayLayouts()) {
            layouts.push_back(layout.name);
        }
        entities.select("layout", "Layout", layouts, "{{ value_json.layout }}",
                        "{\"layout\": \"{{ value }}\"}");
        entities.select("audio", "Audio", {"ch1", "ch2", "ch3", "ch4", "none"},
                        "{{ 'none' if value_json.audio == -1 else 'ch' ~ value_json.audio }}",
                        "{\"audio\": \"{{ value }}\"}");
        entities.select("resolution", "Resolution", {"1080P60", "3840x2160P30"},
                        "{{ value_json.resolution }}", "{\"resolution\": \"{{ value }}\"}");
        entities.select("frame_rate", "Frame rate", {"30", "60"}, "{{ value_json.frameRate }}",
                        "{\"frameRate\": {{ value }}}");
    } else {
        entities.sensor("frame_rate", "Frame rate", "{{ value_json.videoenc.frameRate }}", "fps");
        entities.sensor("bitrate", "Video bit rate", "{{ value_json.videoenc.bitrate }}", "kbit/s");
        entities.sensor("picture", "Picture",
                        "{{ value_json.videoenc.width }}x{{ value_json.videoenc.height }}",
                        nullptr);
    }
    for (int index = 1; index <= 2; ++index) {
        const std::string number = std::to_string(index);
        entities.select(("ttl" + number + "_baudrate").c_str(),
                        ("TTL " + number + " baud rate").c_str(),
                        std::vector<std::string>(std::begin(kBaudRates), std::end(kBaudRates)),
                        "{{ value_json.ttl[" + std::to_string(index - 1) + "].baudrate }}",
                        "{\"ttl\": {\"index\": " + number + ", \"baudrate\": {{ value }}}}");
    }
    for (int id = 0; id <= korvexctl::kActuatorLastId; ++id) {
        entities.actuator(id);
    }
    entities.reset();
    return entities.messages();
}

}  // namespace korvex_mqtt
