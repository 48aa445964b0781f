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

long ReceiveDatagramWithTimeout(SocketHandle socket, void* buffer, size_t capacity, int timeoutMs,
                                HostAddress source) {
    const Deadline deadline(timeoutMs);
    bool first = true;
    // After the deadline only what is already queued is looked at once more: a flood from
    // elsewhere cannot keep the caller here.
    while (first || !deadline.passed()) {
        first = false;
        const int ready = WaitReadable(socket, deadline.next(timeoutMs));
        if (ready <= 0) {
            return ready;
        }
        sockaddr_in from{};
        const long received = ReceiveDatagram(socket, buffer, capacity, &from);
        if (received < 0 && received != kDatagramTooLarge) {
            return received;
        }
        if (from.sin_family == AF_INET && from.sin_addr.s_addr != source) {
            continue;  // not the device's
        }
        return received == kDatagramTooLarge ? -1 : received;
    }
    return 0;
}

bool PeerAddress(SocketHandle socket, HostAddress* out) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) != 0 ||
        peer.sin_family != AF_INET) {
        return false;
    }
    *out = peer.sin_addr.s_addr;
    return true;
}

}  // namespace korvex
