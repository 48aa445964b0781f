// Home Assistant's MQTT discovery: one retained config message per entity of a device, so that
// a Home Assistant site sees the installation without configuration. The entities read the
// device's state topic and send commands to its set topic; they are available while both the
// bridge and the device are online.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "Korvex.h"
#include "config.h"

namespace korvex_mqtt {

using Message = std::pair<std::string, std::string>;  // topic, payload

// The discovery messages of `device`; `info` (model, versions, serial) when it has answered.
std::vector<Message> discoveryMessages(const BridgeConfig& config, const DeviceSettings& device,
                                       const SystemInfo* info);

// "<prefix>/<device>/<leaf>".
std::string deviceTopic(const BridgeConfig& config, const std::string& device, const char* leaf);
// "<prefix>/bridge/availability": the bridge's own, and its last will.
std::string bridgeAvailabilityTopic(const BridgeConfig& config);

}  // namespace korvex_mqtt
