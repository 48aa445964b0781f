// The emulator's only socket code: descriptors, a stop signal every wait watches, bounded waits,
// listening, sending and datagrams. Every socket is non-blocking; waits use poll.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace devicesim {

// Owns one file descriptor.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1);

  private:
    int fd_ = -1;
};

// Raised once to end every wait at once (an eventfd that stays readable).
class StopSignal {
  public:
    StopSignal();
    void raise();
    bool raised() const { return raised_.load(); }
    int fd() const { return fd_.get(); }

  private:
    Fd fd_;
    std::atomic<bool> raised_{false};
};

// Wakes one waiting thread from another (an eventfd).
class WakeSignal {
  public:
    WakeSignal();
    void notify();
    void consume();  // clears the signal after a wake
    int fd() const { return fd_.get(); }

  private:
    Fd fd_;
};

enum class WaitResult { Ready, Timeout, Stopped };

// Waits until `fd` reports `events` (POLLIN or POLLOUT; errors and hang-ups count as ready, so
// the following call reports them), the stop signal is raised, or `timeoutMs` passes.
WaitResult waitFor(int fd, short events, int timeoutMs, const StopSignal& stop);

// Sleeps for `ms` unless stopped; false when stopped.
bool sleepUnlessStopped(int ms, const StopSignal& stop);

enum class ListenWait { Connection, Wake, Timeout, Stopped };

// Waits for a pending connection on `listener` (none when negative), the wake signal or the stop.
ListenWait waitForListener(int listener, const WakeSignal& wake, int timeoutMs,
                           const StopSignal& stop);

Fd listenTcp(const std::string& address, uint16_t port, std::string& error);
uint16_t localPort(int fd);

// Accepts one pending connection (non-blocking); invalid when none is pending.
Fd acceptConnection(int listener, sockaddr_in& peer);

std::string endpointText(const sockaddr_in& address);

enum class IoResult { Done, Closed, Timeout, Stopped, Failed };

// Sends all bytes; each wait for room is bounded by `timeoutMs`. Never raises SIGPIPE.
IoResult sendAll(int fd, const void* data, size_t length, int timeoutMs, const StopSignal& stop);

// Receives what is there (up to `capacity`), waiting at most `timeoutMs` for the first byte.
IoResult receiveSome(int fd, void* buffer, size_t capacity, size_t& received, int timeoutMs,
                     const StopSignal& stop);

// Reads and drops whatever the peer sends until it closes the connection or the stop comes.
IoResult holdUntilClosed(int fd, const StopSignal& stop);

// A datagram socket bound to `address` (port chosen by the system), for stream packets.
Fd openUdpSender(const std::string& address, std::string& error);
IoResult sendDatagram(int fd, const sockaddr_in& to, const void* data, size_t length,
                      const StopSignal& stop);

}  // namespace devicesim
