#include "bridge.h"

#include <cstdio>

#include "discovery.h"

namespace korvex_mqtt {

Bridge::Bridge(BridgeConfig config) : config_(std::move(config)) {
    auto publish = [this](const std::string& topic, const std::string& payload, bool retained) {
        if (retained) {
            connection_->publishRetained(topic, payload);
        } else {
            connection_->publish(topic, payload);
        }
    };
    for (const DeviceSettings& device : config_.devices) {
        workers_.push_back(std::make_unique<DeviceWorker>(config_, device, publish));
    }
    connection_ = std::make_unique<MqttConnection>(
        config_.broker, bridgeAvailabilityTopic(config_),
        std::vector<std::string>{config_.prefix + "/+/set"},
        [this](const std::string& topic, const std::string& payload) {
            onMessage(topic, payload);
        });
}

Bridge::~Bridge() {
    // The workers publish through the connection, whose thread hands commands to the workers:
    // the workers' threads end first, then the connection, then the workers go.
    for (const auto& worker : workers_) {
        worker->stop();
    }
    connection_.reset();
    workers_.clear();
}

bool Bridge::start(std::string& error) {
    if (!connection_->start(error)) {
        return false;
    }
    for (const auto& worker : workers_) {
        worker->start();
    }
    return true;
}

void Bridge::stop() {
    std::vector<std::pair<std::string, std::string>> offline;
    for (const auto& worker : workers_) {
        worker->stop();
        offline.emplace_back(deviceTopic(config_, worker->settings().name, "availability"),
                             "offline");
    }
    connection_->stop(offline);
}

void Bridge::answer(const std::string& device, const DeviceCommand& command,
                    const std::string& error) {
    CommandResult result;
    result.result = "error";
    result.error = error;
    std::fprintf(stderr, "korvex-mqtt: %s: %s -> error: %s\n", device.c_str(),
                 korvexctl::jsonText(command.request).c_str(), error.c_str());
    connection_->publish(deviceTopic(config_, device, "result"),
                         korvexctl::jsonText(resultJson(command, result)));
}

void Bridge::onMessage(const std::string& topic, const std::string& payload) {
    // <prefix>/<device>/set: the subscription has made sure of the rest.
    const size_t start = config_.prefix.size() + 1;
    const std::string device = topic.substr(start, topic.rfind('/') - start);
    DeviceCommand command;
    std::string error;
    const bool valid = parseCommand(payload, command, error);
    for (const auto& worker : workers_) {
        if (worker->settings().name != device) {
            continue;
        }
        if (!valid) {
            answer(device, command, error);
        } else if (!worker->enqueue(command)) {
            answer(device, command,
                   "busy: " + std::to_string(DeviceWorker::kMostWaitingCommands) +
                       " commands wait for this device already");
        }
        return;
    }
    std::string names;
    for (const auto& worker : workers_) {
        names += (names.empty() ? "" : ", ") + worker->settings().name;
    }
    answer(device, command, "no device \"" + device + "\" (devices: " + names + ")");
}

}  // namespace korvex_mqtt
