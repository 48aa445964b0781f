#include "net.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

namespace devicesim {

namespace {

using Clock = std::chrono::steady_clock;

// Rounded up, so that a wait never ends before its deadline.
int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

std::string systemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

void Fd::reset(int fd) {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = fd;
}

StopSignal::StopSignal() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void StopSignal::raise() {
    raised_ = true;
    const uint64_t one = 1;
    // The counter stays non-zero, so every present and future poll on it wakes.
    if (::write(fd_.get(), &one, sizeof one) < 0 && errno != EAGAIN) {
        return;
    }
}

WakeSignal::WakeSignal() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void WakeSignal::notify() {
    const uint64_t one = 1;
    if (::write(fd_.get(), &one, sizeof one) < 0 && errno != EAGAIN) {
        return;
    }
}

void WakeSignal::consume() {
    uint64_t count = 0;
    if (::read(fd_.get(), &count, sizeof count) < 0 && errno != EAGAIN) {
        return;
    }
}

ListenWait waitForListener(int listener, const WakeSignal& wake, int timeoutMs,
                           const StopSignal& stop) {
    pollfd fds[3] = {{stop.fd(), POLLIN, 0}, {wake.fd(), POLLIN, 0}, {listener, POLLIN, 0}};
    const int count = ::poll(fds, 3, timeoutMs);
    if (stop.raised() || (count > 0 && fds[0].revents != 0)) {
        return ListenWait::Stopped;
    }
    if (count > 0 && fds[1].revents != 0) {
        return ListenWait::Wake;
    }
    if (count > 0 && fds[2].revents != 0) {
        return ListenWait::Connection;
    }
    return ListenWait::Timeout;
}

WaitResult waitFor(int fd, short events, int timeoutMs, const StopSignal& stop) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd fds[2] = {{fd, events, 0}, {stop.fd(), POLLIN, 0}};
        const int count = ::poll(fds, 2, remainingMs(deadline));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (stop.raised() || (count > 0 && fds[1].revents != 0)) {
            return WaitResult::Stopped;
        }
        if (count > 0 && fds[0].revents != 0) {
            return WaitResult::Ready;
        }
        if (count < 0) {
            return WaitResult::Ready;  // let the caller's own call report the error
        }
        if (remainingMs(deadline) == 0) {
            return WaitResult::Timeout;
        }
    }
}

bool sleepUnlessStopped(int ms, const StopSignal& stop) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        pollfd fds[1] = {{stop.fd(), POLLIN, 0}};
        const int count = ::poll(fds, 1, remainingMs(deadline));
        if (stop.raised() || count > 0) {
            return false;
        }
        if (remainingMs(deadline) == 0) {
            return true;
        }
    }
}

Fd listenTcp(const std::string& address, uint16_t port, std::string& error) {
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        error = systemError("socket");
        return Fd();
    }
    const int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) {
        error = "\"" + address + "\" is not an IPv4 address";
        return Fd();
    }
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        error = systemError(("bind " + address + ":" + std::to_string(port)).c_str());
        return Fd();
    }
    if (::listen(fd.get(), 64) != 0) {
        error = systemError("listen");
        return Fd();
    }
    return fd;
}

uint16_t localPort(int fd) {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return 0;
    }
    return ntohs(local.sin_port);
}

Fd acceptConnection(int listener, sockaddr_in& peer) {
    socklen_t length = sizeof peer;
    for (;;) {
        const int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0 && errno == EINTR) {
            continue;
        }
        return Fd(fd);
    }
}

std::string endpointText(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

namespace {

// Waits until `fd` is ready for `events`: nothing then, or the transfer's result when the wait
// timed out or the stop came first.
std::optional<IoResult> waitToTransfer(int fd, short events, int timeoutMs,
                                       const StopSignal& stop) {
    switch (waitFor(fd, events, timeoutMs, stop)) {
        case WaitResult::Ready:
            break;
        case WaitResult::Timeout:
            return IoResult::Timeout;
        case WaitResult::Stopped:
            return IoResult::Stopped;
    }
    return std::nullopt;
}

}  // namespace

IoResult sendAll(int fd, const void* data, size_t length, int timeoutMs, const StopSignal& stop) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_t sent = 0;
    while (sent < length) {
        const ssize_t count = ::send(fd, bytes + sent, length - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (count > 0) {
            sent += static_cast<size_t>(count);
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return errno == EPIPE || errno == ECONNRESET ? IoResult::Closed : IoResult::Failed;
        }
        if (const std::optional<IoResult> ended = waitToTransfer(fd, POLLOUT, timeoutMs, stop)) {
            return *ended;
        }
    }
    return IoResult::Done;
}

IoResult receiveSome(int fd, void* buffer, size_t capacity, size_t& received, int timeoutMs,
                     const StopSignal& stop) {
    received = 0;
    for (;;) {
        const ssize_t count = ::recv(fd, buffer, capacity, MSG_DONTWAIT);
        if (count > 0) {
            received = static_cast<size_t>(count);
            return IoResult::Done;
        }
        if (count == 0) {
            return IoResult::Closed;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return errno == ECONNRESET ? IoResult::Closed : IoResult::Failed;
        }
        if (const std::optional<IoResult> ended = waitToTransfer(fd, POLLIN, timeoutMs, stop)) {
            return *ended;
        }
    }
}

IoResult holdUntilClosed(int fd, const StopSignal& stop) {
    char discard[4096];
    size_t count = 0;
    IoResult io = IoResult::Done;
    while (io == IoResult::Done || io == IoResult::Timeout) {
        io = receiveSome(fd, discard, sizeof discard, count, 1000, stop);
    }
    return io;
}

Fd openUdpSender(const std::string& address, std::string& error) {
    Fd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        error = systemError("socket");
        return Fd();
    }
    // Key frames leave in bursts of many datagrams.
    const int bufferBytes = 1 << 20;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDBUF, &bufferBytes, sizeof bufferBytes);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1 ||
        ::bind(fd.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        error = systemError(("bind " + address).c_str());
        return Fd();
    }
    return fd;
}

IoResult sendDatagram(int fd, const sockaddr_in& to, const void* data, size_t length,
                      const StopSignal& stop) {
    for (;;) {
        const ssize_t count = ::sendto(fd, data, length, MSG_NOSIGNAL | MSG_DONTWAIT,
                                       reinterpret_cast<const sockaddr*>(&to), sizeof to);
        if (count >= 0) {
            return IoResult::Done;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == ECONNREFUSED || errno == ENOBUFS) {
            // An earlier datagram found no listener, or the queue is full: datagrams may be
            // lost, and the stream goes on.
            return IoResult::Done;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return IoResult::Failed;
        }
        if (const std::optional<IoResult> ended = waitToTransfer(fd, POLLOUT, 1000, stop)) {
            return *ended;
        }
    }
}

}  // namespace devicesim
