// HDMI/1.0 requests as a device reads them: "COMMAND HDMI/1.0", header lines "NAME:value", a blank
// line, then CONTENT-LENGTH bytes of body (KEY=value lines for the configuration commands).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "net.h"

namespace devicesim {

constexpr size_t kMaxRequestHeadBytes = 16384;
constexpr int64_t kMaxCommandBodyBytes = 16384;

using KeyValues = std::vector<std::pair<std::string, std::string>>;

struct Request {
    std::string command;  // the word of the request line, e.g. "GET_SYSINFO"
    KeyValues headers;    // in arrival order, values without leading blanks
    std::string head;     // the raw head, blank line included
    std::string body;

    // The header's value, or nullptr when absent.
    const std::string* header(const std::string& name) const;
};

enum class HeadStatus { Ok, Closed, Timeout, Stopped, TooLarge };

// Reads up to and including the blank line. Bytes that arrived after it are left in `rest`.
HeadStatus readRequestHead(int fd, int timeoutMs, const StopSignal& stop, std::string& head,
                           std::string& rest);

// Parses a head ending in the blank line. Line ends must be CR LF.
bool parseRequestHead(const std::string& head, Request& out, std::string& error);

// CONTENT-LENGTH as a non-negative number; 0 when the header is absent.
bool requestContentLength(const Request& request, int64_t& out, std::string& error);

// Reads the rest of a body of `length` bytes into `body`, which starts with the bytes already
// received. Extra bytes beyond `length` are cut off and counted in `extraBytes`.
IoResult readBody(int fd, int64_t length, int timeoutMs, const StopSignal& stop, std::string& body,
                  size_t& extraBytes);

// Parses a body of KEY=value lines, each ending in CR LF. Empty bodies are allowed.
bool parseKeyValues(const std::string& body, KeyValues& out, std::string& error);

// Strict decimal int32: an optional minus sign, then digits only.
bool parseInt32(const std::string& text, int32_t& out);

}  // namespace devicesim
