#pragma once

#include <chrono>

// How a device took a command. Korvex tells only success or failure; a failure that came well
// before the command's own wait was over is the device (or its host) saying no, one that took
// (nearly: waits may end a little early) the whole wait is a device that did not answer.
enum class DeviceAnswer { Done, Refused, NoAnswer };

// Runs `call` (a Korvex call returning 0 on success) and tells how the device took it.
template <typename Call>
DeviceAnswer askDevice(int timeoutMs, Call call) {
    const auto started = std::chrono::steady_clock::now();
    if (call() == 0) {
        return DeviceAnswer::Done;
    }
    return std::chrono::steady_clock::now() - started >=
                   std::chrono::milliseconds(timeoutMs) * 9 / 10
               ? DeviceAnswer::NoAnswer
               : DeviceAnswer::Refused;
}
