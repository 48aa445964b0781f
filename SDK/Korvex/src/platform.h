// Socket and thread primitives of the library. This pair (platform.h, platform_posix.cpp) is the
// only place that calls the operating system's socket functions; a Windows backend would sit
// beside platform_posix.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvex {

using SocketHandle = int;
constexpr SocketHandle kNoSocket = -1;

// Platform start-up and clean-up of the socket layer: 0 when done.
int PlatformStartup();
int PlatformCleanup();

// Lets one thread end another's connection wait early; once woken it stays woken. Each backend
// makes it of something that its connection wait can watch beside the connecting socket (POSIX:
// a socket pair whose far end turns readable on the wake).
class Waker {
  public:
    Waker();  // not valid() when the platform has no socket to spare
    ~Waker();
    Waker(const Waker&) = delete;
    Waker& operator=(const Waker&) = delete;

    bool valid() const { return readable_ != kNoSocket; }
    // From any thread, as often as needed.
    void wake();
    // Readable once woken (for the waits of this layer).
    SocketHandle handle() const { return readable_; }

  private:
    SocketHandle readable_ = kNoSocket;
    SocketHandle trigger_ = kNoSocket;
};

// Connects to host:port within timeoutMs. Returns a connected TCP socket in blocking mode, or
// kNoSocket (nothing left open). A host name that does not resolve fails at once, and so does the
// attempt as soon as `waker` (when given) is woken, also when it was woken before the call.
SocketHandle ConnectWithTimeout(const char* host, int port, int timeoutMs,
                                const Waker* waker = nullptr);

// Waits up to timeoutMs for the socket to become writable, then makes one send call that takes
// what fits without blocking further. Returns the bytes accepted, 0 when the socket did not become
// writable in time, negative on error.
long SendWithTimeout(SocketHandle socket, const void* data, size_t length, int timeoutMs);

// Sends all `length` bytes: one SendWithTimeout after another, each wait bounded by timeoutMs, for
// as long as the socket takes only part. Returns true when every byte was sent.
bool SendAllWithTimeout(SocketHandle socket, const void* data, size_t length, int timeoutMs);

// Waits up to timeoutMs for the socket to become readable, then makes one receive call for at most
// `capacity` bytes. Returns the received count (0 when the peer closed), 0 when nothing arrived in
// time, negative on error.
long ReceiveWithTimeout(SocketHandle socket, void* buffer, size_t capacity, int timeoutMs);

// ReceiveWithTimeout for a datagram socket: a datagram larger than `capacity` is an error (-1)
// instead of arriving cut.
long ReceiveDatagramWithTimeout(SocketHandle socket, void* buffer, size_t capacity, int timeoutMs);

// A UDP socket bound to 0.0.0.0:port, or kNoSocket when the port is taken.
SocketHandle OpenUdpReceiver(int port);

// Asks for a socket receive buffer of `bytes`; the result is not checked by the callers.
void SetReceiveBufferSize(SocketHandle socket, int bytes);

void CloseSocket(SocketHandle socket);

// Owns one socket and closes it when it goes out of scope.
class Socket {
  public:
    Socket() = default;
    explicit Socket(SocketHandle handle) : handle_(handle) {}
    ~Socket() { reset(); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    Socket(Socket&& other) noexcept : handle_(other.release()) {}
    Socket& operator=(Socket&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    SocketHandle get() const { return handle_; }
    bool valid() const { return handle_ != kNoSocket; }
    explicit operator bool() const { return valid(); }
    SocketHandle release() {
        SocketHandle handle = handle_;
        handle_ = kNoSocket;
        return handle;
    }
    void reset(SocketHandle handle = kNoSocket) {
        if (handle_ != kNoSocket) {
            CloseSocket(handle_);
        }
        handle_ = handle;
    }

  private:
    SocketHandle handle_ = kNoSocket;
};

// Sleeps the calling thread.
void SleepMs(int milliseconds);

}  // namespace korvex
