// What every korvexctl test needs: an emulated installation on 127.0.0.1 (devicesim in this
// process, so its state can be looked at), and the command lines that reach one of its devices.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

#include "child_process.h"
#include "json.h"
#include "running_installation.h"

namespace korvexctl_test {

using devicesim_test::ChildProcess;
using devicesim_test::eventually;
using devicesim_test::LogCapture;
using devicesim_test::RunningInstallation;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs korvexctl with `arguments` to its end (at most `timeoutMs`).
inline Result runKorvexctl(const std::vector<std::string>& arguments, int timeoutMs = 20000) {
    ChildProcess child(KORVEXCTL_PATH, arguments);
    Result result;
    result.status = child.wait(timeoutMs);
    result.out = child.out();
    result.err = child.err();
    return result;
}

// "--host 127.0.0.1 --port N" and then `words`.
inline std::vector<std::string> at(uint16_t port, std::initializer_list<std::string> words) {
    std::vector<std::string> arguments = {"--host", "127.0.0.1", "--port", std::to_string(port)};
    arguments.insert(arguments.end(), words.begin(), words.end());
    return arguments;
}

// The one JSON value of a result's stdout.
inline Json jsonOf(const Result& result) {
    Json value;
    std::string error;
    EXPECT_TRUE(parseJson(result.out, value, error)) << error << "\n" << result.out;
    return value;
}

// Whether the emulator logs `text` within 2 s: it logs an upload or a stream only after its
// answer is out, so the line may come just after korvexctl has ended.
inline bool logged(const LogCapture& log, const std::string& text) {
    return eventually([&] { return log.contains(text); }, 2000);
}

// Reads a device's settings under its lock.
template <typename Read>
auto settingsOf(devicesim::DeviceServer& device, Read read) {
    std::lock_guard<std::mutex> lock(device.state().mutex);
    return read(device.state().settings);
}

}  // namespace korvexctl_test
