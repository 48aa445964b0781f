// One device's thread. It polls the device every interval and runs the commands for it one at a
// time, in the order they came and before the next poll, so that a slow or silent device holds up
// only its own work; after a command it polls at once, so that the state follows. What it finds
// is published: availability ("online" while the device answers GET_SYSINFO), SystemInfo and the
// state, retained and only when they change, and each command's result.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "Korvex.h"
#include "config.h"
#include "device_commands.h"

namespace korvex_mqtt {

class DeviceWorker {
  public:
    // Publishes a message; `retained` ones are kept for the broker's next connection too.
    using Publish =
        std::function<void(const std::string& topic, const std::string& payload, bool retained)>;

    static constexpr size_t kMostWaitingCommands = 16;

    // Logs in to the device (which sends nothing). Korvex must be started.
    DeviceWorker(const BridgeConfig& config, const DeviceSettings& device, Publish publish);
    ~DeviceWorker();  // stops, logs out
    DeviceWorker(const DeviceWorker&) = delete;
    DeviceWorker& operator=(const DeviceWorker&) = delete;

    // Publishes the device's discovery messages and starts the thread.
    void start();
    // The request on the wire finishes (at most the connection wait plus its own wait); commands
    // still waiting are dropped. Joins the thread.
    void stop();

    // Queues a checked command; false when kMostWaitingCommands wait already. Any thread.
    bool enqueue(const DeviceCommand& command);

    const DeviceSettings& settings() const { return device_; }

  private:
    void run();
    void poll();
    void execute(const DeviceCommand& command);
    void publishDiscovery(const SystemInfo* info);

    const BridgeConfig& config_;
    const DeviceSettings device_;
    const Publish publish_;
    KorvexSession* session_ = nullptr;

    std::mutex mutex_;  // guards queue_ and stopping_
    std::condition_variable wake_;
    std::deque<DeviceCommand> queue_;
    bool stopping_ = false;

    // Only on the device's thread.
    std::optional<bool> answering_;
    std::optional<SystemInfo> info_;

    std::thread thread_;
};

}  // namespace korvex_mqtt
