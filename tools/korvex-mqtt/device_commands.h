// The commands of <prefix>/<device>/set, a JSON object. They mean what the desktop program's
// controls mean and send the same requests with the same waits:
//
//   {"layout": "ch1".."ch4" | "ch12" | "ch34" | "quad"}   the receiver's layout; for two or four
//       windows the shown channels' encoders are read and written back, as the window does
//   {"audio": 1..4 | "ch1".."ch4" | -1 | "none"}          whose sound the receiver plays: a
//       channel the layout shows, or none
//   {"resolution": "1080P60" | "3840x2160P30"}            (also "1080p", "4k")
//   {"frameRate": 30 | 60}   of the channel shown alone, with a key frame every two seconds
//   (layout, audio, resolution and frameRate may go together: one SET_DISPLAY)
//   {"ttl": {"index": 1 | 2, "baudrate": 115200 | 57600 | ... | 300}}
//   {"actuator": {"id": 0..5, "goto": 0..100}}
//   {"reset": true}
//
// An "id" member, of any value, is given back with the result.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Korvex.h"
#include "record_json.h"

namespace korvex_mqtt {

using korvexctl::Json;

// Json's destructor may allocate (it takes nested values apart without recursion); running out
// of memory there ends the program, as it would anywhere.
// NOLINTNEXTLINE(bugprone-exception-escape)
struct DeviceCommand {
    enum class Kind { Display, Ttl, Actuator, Reset };

    Json request;  // as received: the object, or the text when it was no JSON
    Json id;       // null when not given
    Kind kind = Kind::Display;
    std::optional<std::string> layout;
    std::optional<int> audio;
    std::optional<std::string> resolution;
    std::optional<int> frameRate;
    int ttlIndex = 0;
    int baudrate = 0;
    int actuatorId = 0;
    int percent = 0;
};

// Reads a payload into `out` (its request and id also when it is no command). False, with what
// is wrong in `error`, when it is not a command: then nothing is sent to any device.
bool parseCommand(const std::string& payload, DeviceCommand& out, std::string& error);

struct CommandResult {
    std::string result;               // "done", "refused", "no answer" or "error"
    std::string step;                 // the request that was refused or not answered
    std::string error;                // for "error": why nothing was sent
    std::vector<int> encodersNotSet;  // a layout's channels whose encoder was not rewritten
};

// Runs a command against the device of `session`; blocks for the device's answers.
CommandResult runCommand(KorvexSession* session, const DeviceCommand& command);

// The message of <prefix>/<device>/result.
Json resultJson(const DeviceCommand& command, const CommandResult& result);

}  // namespace korvex_mqtt
