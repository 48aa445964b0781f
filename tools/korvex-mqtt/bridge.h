// The bridge: the broker connection and one worker per device, and the routing of the commands
// that arrive on <prefix>/<device>/set. A command that is not one (not JSON, an unknown field, a
// value out of range) is answered at once on the device's result topic and goes to no device.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "config.h"
#include "device_worker.h"
#include "mqtt_connection.h"

namespace korvex_mqtt {

class Bridge {
  public:
    explicit Bridge(BridgeConfig config);  // Korvex must be started
    ~Bridge();

    // Connects (and keeps reconnecting) and starts the devices' threads. False with the reason.
    bool start(std::string& error);
    // Ends the devices' threads, publishes every device and the bridge offline and disconnects.
    void stop();

  private:
    void onMessage(const std::string& topic, const std::string& payload);
    void answer(const std::string& device, const DeviceCommand& command, const std::string& error);

    BridgeConfig config_;
    std::unique_ptr<MqttConnection> connection_;
    std::vector<std::unique_ptr<DeviceWorker>> workers_;
};

}  // namespace korvex_mqtt
