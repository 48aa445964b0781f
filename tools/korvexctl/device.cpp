#include "device.h"

namespace korvexctl {

Device::Device(const GlobalOptions& options, const std::string& command,
               KorvexSessionCallback callback, void* user)
    : options_(options) {
    if (options_.host.empty()) {
        throw UsageError(
            "no device given: name it with --host ADDR before the command (an address, or rx, "
            "tx1..tx4 for the installation's receiver and transmitters)",
            command);
    }
    options_.host = resolveDeviceName(options_.host);
    if (options_.host.size() > 63) {
        throw UsageError("--host: the address has more than 63 characters", command);
    }
    if (KORVEX_Init() != 0) {
        throw DeviceFailure("the Korvex library did not start (no socket layer)");
    }
    KorvexLoginInfo login{};
    options_.host.copy(login.host, sizeof login.host - 1);
    login.port = options_.port;
    session_ = KORVEX_Login(&login, callback, user);
    if (session_ == nullptr) {
        KORVEX_Exit();
        throw DeviceFailure("no Korvex session (out of memory)");
    }
}

Device::~Device() {
    KORVEX_Logout(session_);
    KORVEX_Exit();
}

std::string Device::name() const {
    return options_.host + ":" + std::to_string(options_.port);
}

std::string Device::failureText(const char* command) const {
    // Korvex tells no more than success or failure; these are the three ways to fail.
    return name() + " did not accept " + command + ": it refused, gave no answer within " +
           std::to_string(options_.timeoutMs) + " ms, or cannot be reached";
}

void Device::get(int code, const char* command, void* record, int size, int channel) {
    if (KORVEX_GetConfig(session_, code, record, size, options_.timeoutMs, channel) != 0) {
        throw DeviceFailure(failureText(command));
    }
}

void Device::set(int code, const char* command, void* record, int size, int channel) {
    if (KORVEX_SetConfig(session_, code, record, size, options_.timeoutMs, channel) != 0) {
        throw DeviceFailure(failureText(command));
    }
}

}  // namespace korvexctl
