// The receiver's output: the DISPLAY window list ("[1:0,0,50,100 -a 2:50,0,50,100]"), the output
// mode and the sound channel, checked the way the receiver's hardware would need them.
#pragma once

#include <string>

#include "Korvex.h"

namespace devicesim {

// Parses the value of a DISPLAY= line, brackets included. Accepts at most five windows.
bool parseWindowList(const std::string& text, DisplayConfig& out, std::string& error);

// The value of a DISPLAY= line for the first `count` windows.
std::string formatWindowList(const DisplayConfig& config);

// Checks windows (channel 1..4, inside the picture, non-empty), mode and sound channel.
bool validateDisplay(const DisplayConfig& config, std::string& error);

// The output modes the receiver can drive, with their picture size and rate.
bool outputModeSize(const std::string& mode, int& width, int& height, int& rate);

// What the output now shows, for the log; `singleChannelRate` is the frame rate of a channel
// shown alone.
std::string describeOutput(const DisplayConfig& config, int singleChannelRate);

}  // namespace devicesim
