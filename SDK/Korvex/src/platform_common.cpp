// The parts of the socket layer that are the same on every platform.
#include "platform_sockets.h"

namespace korvex {

bool ResolveIpv4(const char* host, in_addr* out) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &answer) != 0 || answer == nullptr) {
        return false;
    }
    *out = reinterpret_cast<const sockaddr_in*>(answer->ai_addr)->sin_addr;
    freeaddrinfo(answer);
    return true;
}

Waker::~Waker() {
    CloseSocket(readable_);
    CloseSocket(trigger_);
}

bool SendAllWithTimeout(SocketHandle socket, const void* data, size_t length, int timeoutMs) {
    const auto* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < length) {
        long sent = SendWithTimeout(socket, bytes + done, length - done, timeoutMs);
        if (sent <= 0) {
            return false;
        }
        done += static_cast<size_t>(sent);
    }
    return true;
}

}  // namespace korvex
