// UPGRADE: the device reads exactly CONTENT-LENGTH bytes of image, hashes them, takes its time to
// check them, and answers as the behaviour asks (200 OK, a failure, silence or a dropped line).
#pragma once

#include <cstdint>
#include <string>

#include "answer.h"
#include "device_state.h"
#include "net.h"
#include "options.h"

namespace devicesim {

struct UpgradeResult {
    bool answered = false;  // false: the connection closes without an answer
    Answer answer;
    std::string note;  // what happened, for the log
};

// Receives the image on `fd`; `alreadyReceived` holds the bytes that came with the head.
UpgradeResult receiveUpgrade(DeviceState& state, const Behaviour& behaviour, const StopSignal& stop,
                             int fd, int64_t length, const std::string& alreadyReceived);

}  // namespace devicesim
