// What a poll reads from one device: whether it answers (GET_SYSINFO), and its state as the
// retained JSON of <prefix>/<device>/state. A receiver's state is its output (layout, windows,
// audio, resolution, and the frame rate of a channel shown alone) and its TTL ports; a
// transmitter's is its video and audio encoders and its TTL ports.
#pragma once

#include "Korvex.h"
#include "record_json.h"

namespace korvex_mqtt {

using korvexctl::Json;

// Json's destructor may allocate (it takes nested values apart without recursion); running out
// of memory there ends the program, as it would anywhere.
// NOLINTNEXTLINE(bugprone-exception-escape)
struct DeviceReading {
    bool answered = false;  // GET_SYSINFO was answered
    SystemInfo info{};
    bool stateRead = false;  // every request of the state was answered
    Json state;
};

// One poll; each request waits `timeoutMs` for each send and receive.
DeviceReading readDevice(KorvexSession* session, bool receiver, int timeoutMs);

// The SystemInfo as {"softVer", "hardVer", "serial", "model"}.
Json sysinfoJson(const SystemInfo& info);

}  // namespace korvex_mqtt
