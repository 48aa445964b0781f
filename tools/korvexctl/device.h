// One device, reached through the public Korvex interface only: the library started and a session
// logged in for the life of the object, and the configuration exchanges with failure messages
// that say what was asked of whom.
#pragma once

#include <string>

#include "Korvex.h"
#include "command_line.h"

namespace korvexctl {

class Device {
  public:
    // Starts Korvex and logs in to the host of the global options (which must name one; the
    // command's name goes into the usage error). `callback` and `user` go to KORVEX_Login.
    Device(const GlobalOptions& options, const std::string& command,
           KorvexSessionCallback callback = nullptr, void* user = nullptr);
    // Logs out (which waits for an upload of the session still running) and ends Korvex.
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    KorvexSession* session() const { return session_; }
    const GlobalOptions& options() const { return options_; }
    // "host:port", for messages.
    std::string name() const;

    // KORVEX_GetConfig / KORVEX_SetConfig with the global timeout; throw DeviceFailure naming
    // `command` (the protocol word, e.g. "GET_TTL") when the result is not 0.
    void get(int code, const char* command, void* record, int size, int channel = 0);
    void set(int code, const char* command, void* record, int size, int channel = 0);

    // The text of a DeviceFailure for `command`.
    std::string failureText(const char* command) const;

  private:
    GlobalOptions options_;
    KorvexSession* session_ = nullptr;
};

}  // namespace korvexctl
