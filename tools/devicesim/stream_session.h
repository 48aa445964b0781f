// PLAY: the device checks the request, then streams its channel's loop in real time on the
// control connection (TCP) or as datagrams to RPORT at the client's address (UDP): media
// information first and before every key frame, then pictures and sound with rising timestamps
// (microseconds: the wall clock at the stream's start plus the media time).
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "answer.h"
#include "device_state.h"
#include "media_loop.h"
#include "net.h"
#include "options.h"
#include "request.h"

namespace devicesim {

struct PlayRequest {
    int transport = 0;  // 0 TCP, 1 UDP
    int rport = 0;      // UDP port of the client
};

// Checks a PLAY request for this device; on failure `failure` holds the answer.
bool checkPlayRequest(const DeviceState& state, const Request& request, const Behaviour& behaviour,
                      PlayRequest& out, Answer& failure);

struct StreamEnvironment {
    DeviceState& state;
    LoopCache& loops;
    const Behaviour& behaviour;
    const StopSignal& stop;
    const std::atomic<uint32_t>& resetCount;  // a change ends the stream, like a reboot
};

// Streams until the client closes the control connection or stops reading, the device stops or
// resets, or a settings change needs a new connection (another codec or picture size). Returns
// the reason, for the log.
std::string runStream(const StreamEnvironment& environment, int controlFd, const PlayRequest& play,
                      const sockaddr_in& client);

}  // namespace devicesim
