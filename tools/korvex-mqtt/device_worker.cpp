#include "device_worker.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "device_reading.h"
#include "discovery.h"
#include "output.h"

namespace korvex_mqtt {

namespace {

using Clock = std::chrono::steady_clock;
using korvexctl::fieldText;

std::string describe(const SystemInfo& info) {
    return fieldText(info.model) + " " + fieldText(info.softVer) + " (hardware " +
           fieldText(info.hardVer) + ", serial " + fieldText(info.serial) + ")";
}

}  // namespace

DeviceWorker::DeviceWorker(const BridgeConfig& config, const DeviceSettings& device,
                           Publish publish)
    : config_(config), device_(device), publish_(std::move(publish)) {
    KorvexLoginInfo login{};
    device_.host.copy(login.host, sizeof login.host - 1);
    login.port = device_.port;
    session_ = KORVEX_Login(&login, nullptr, nullptr);
}

DeviceWorker::~DeviceWorker() {
    stop();
    KORVEX_Logout(session_);
}

void DeviceWorker::start() {
    publishDiscovery(nullptr);
    thread_ = std::thread(&DeviceWorker::run, this);
}

void DeviceWorker::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool DeviceWorker::enqueue(const DeviceCommand& command) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (queue_.size() >= kMostWaitingCommands) {
            return false;
        }
        queue_.push_back(command);
    }
    wake_.notify_all();
    return true;
}

void DeviceWorker::run() {
    auto due = Clock::now();
    for (;;) {
        std::optional<DeviceCommand> command;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait_until(lock, due, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) {
                return;
            }
            if (!queue_.empty()) {
                command = std::move(queue_.front());
                queue_.pop_front();
            }
        }
        if (command) {
            execute(*command);
            due = Clock::now();
            continue;
        }
        poll();
        due = Clock::now() + std::chrono::milliseconds(config_.pollIntervalMs);
    }
}

void DeviceWorker::poll() {
    const DeviceReading reading = readDevice(session_, device_.receiver, config_.timeoutMs);
    const char* name = device_.name.c_str();
    const std::string address = device_.address();
    if (!reading.answered) {
        // The last state and SystemInfo stay as they are: only the availability changes.
        if (answering_.value_or(true)) {
            std::fprintf(stderr, "korvex-mqtt: %s (%s) %s\n", name, address.c_str(),
                         answering_ ? "stopped answering" : "does not answer");
        }
        answering_ = false;
        publish_(deviceTopic(config_, device_.name, "availability"), "offline", true);
        return;
    }
    if (!answering_.value_or(false)) {
        std::fprintf(stderr, "korvex-mqtt: %s (%s) answers: %s\n", name, address.c_str(),
                     describe(reading.info).c_str());
    }
    answering_ = true;
    if (!info_ || std::memcmp(&*info_, &reading.info, sizeof reading.info) != 0) {
        info_ = reading.info;
        publishDiscovery(&reading.info);
        publish_(deviceTopic(config_, device_.name, "sysinfo"),
                 korvexctl::jsonText(sysinfoJson(reading.info)), true);
    }
    if (reading.stateRead) {
        publish_(deviceTopic(config_, device_.name, "state"), korvexctl::jsonText(reading.state),
                 true);
    }
    publish_(deviceTopic(config_, device_.name, "availability"), "online", true);
}

void DeviceWorker::execute(const DeviceCommand& command) {
    const CommandResult result = runCommand(session_, command);
    const std::string message = korvexctl::jsonText(resultJson(command, result));
    std::fprintf(stderr, "korvex-mqtt: %s: %s -> %s%s%s\n", device_.name.c_str(),
                 korvexctl::jsonText(command.request).c_str(), result.result.c_str(),
                 result.step.empty() ? "" : " at ", result.step.c_str());
    publish_(deviceTopic(config_, device_.name, "result"), message, false);
}

void DeviceWorker::publishDiscovery(const SystemInfo* info) {
    for (const Message& message : discoveryMessages(config_, device_, info)) {
        publish_(message.first, message.second, true);
    }
}

}  // namespace korvex_mqtt
