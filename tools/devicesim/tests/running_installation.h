// An in-process emulator on 127.0.0.1 with free ports, for one test.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "log.h"
#include "simulator.h"

namespace devicesim_test {

class RunningInstallation {
  public:
    explicit RunningInstallation(const devicesim::Behaviour& behaviour = devicesim::Behaviour(),
                                 const std::vector<std::string>& roles = {"rx", "tx1", "tx2"}) {
        devicesim::Options options;
        options.behaviour = behaviour;
        for (const std::string& role : roles) {
            devicesim::DeviceIdentity identity;
            std::string error;
            EXPECT_TRUE(devicesim::parseDeviceIdentity(role + "@127.0.0.1:0", identity, error))
                << error;
            options.devices.push_back(identity);
        }
        simulator_ = std::make_unique<devicesim::Simulator>(options);
        std::string error;
        EXPECT_TRUE(simulator_->start(error)) << error;
    }

    uint16_t port(const std::string& name) const {
        devicesim::DeviceServer* device = simulator_->device(name);
        return device != nullptr ? device->port() : 0;
    }
    devicesim::DeviceServer& device(const std::string& name) const {
        return *simulator_->device(name);
    }
    devicesim::Simulator& simulator() { return *simulator_; }

  private:
    std::unique_ptr<devicesim::Simulator> simulator_;
};

// Collects the emulator's log lines while it lives.
class LogCapture {
  public:
    LogCapture() {
        devicesim::setLogObserver([this](const std::string& line) {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.push_back(line);
        });
    }
    ~LogCapture() { devicesim::setLogObserver(nullptr); }

    // Whether a line holds `text`.
    bool contains(const std::string& text) const {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const std::string& line : lines_) {
            if (line.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// Polls `condition` every 10 ms until it holds or `timeoutMs` passes.
inline bool eventually(const std::function<bool()>& condition, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace devicesim_test
