// The test side of the wire, written apart from the emulator's code: a loopback TCP client that
// sends raw request bytes and collects the raw answer.
#pragma once

#include <cstdint>
#include <string>

namespace devicesim_test {

// Connects to address:port (dotted IPv4); -1 when refused or not within `timeoutMs`.
int connectTo(const std::string& address, uint16_t port, int timeoutMs);
inline int connectLoopback(uint16_t port, int timeoutMs) {
    return connectTo("127.0.0.1", port, timeoutMs);
}

bool sendText(int fd, const std::string& bytes);

// Reads until the peer closes or `timeoutMs` passes (in total). `closed` tells which.
std::string readUntilClosed(int fd, int timeoutMs, bool* closed = nullptr);

// One exchange on a fresh connection: the answer as it arrived before the device closed. Empty
// when nothing could be connected.
std::string ask(uint16_t port, const std::string& request, int timeoutMs = 5000);

// A request as the client library frames it: command, the empty AUTHORIZATION token, CHN,
// CONTENT-LENGTH and the body.
std::string request(const std::string& command, int chn, const std::string& body = "");

// "HDMI/1.0 200 OK" with CONTENT-LENGTH and `body`, as the device must send it.
std::string okAnswer(const std::string& body = "");

// The status line of an answer, without CR LF.
std::string statusLine(const std::string& answer);

}  // namespace devicesim_test
