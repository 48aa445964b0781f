// Answers of an HDMI/1.0 device: a status line, CONTENT-LENGTH, a blank line and a body.
#pragma once

#include <string>

namespace devicesim {

struct Answer {
    int status = 200;
    std::string body;  // KEY=value lines, each ending in CR LF
};

Answer okAnswer(std::string body = std::string());
// Failures carry their reason as one ERROR= line, for people reading a capture.
Answer errorAnswer(int status, const std::string& reason);

const char* statusText(int status);

// The bytes on the wire. `claimedLength` >= 0 replaces the true CONTENT-LENGTH (fault injection).
std::string formatAnswer(const Answer& answer, long long claimedLength = -1);

}  // namespace devicesim
