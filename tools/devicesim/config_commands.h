// The configuration commands a device answers: the Get commands report the settings it keeps,
// the Set commands check a complete record and keep it, or change nothing and answer 400.
#pragma once

#include <string>

#include "answer.h"
#include "device_state.h"
#include "request.h"

namespace devicesim {

bool isConfigCommand(const std::string& command);

// Runs one configuration command (the body has been read). `note` receives what changed, for the
// log ("output now: ...").
Answer runConfigCommand(DeviceState& state, const Request& request, std::string& note);

}  // namespace devicesim
