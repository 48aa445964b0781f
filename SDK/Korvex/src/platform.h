// Socket and file primitives of the library: the only place that calls the operating
// system's socket and file functions. One backend is built, platform_posix.cpp or
// platform_windows.cpp (Winsock); platform_common.cpp holds what both share.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace korvex {

#ifdef _WIN32
// Winsock's SOCKET (an unsigned handle; INVALID_SOCKET has all bits set), named without pulling
// <winsock2.h> into every file.
using SocketHandle = uintptr_t;
constexpr SocketHandle kNoSocket = ~SocketHandle{0};
#else
using SocketHandle = int;
constexpr SocketHandle kNoSocket = -1;
#endif

// An IPv4 address in network byte order.
using HostAddress = uint32_t;

// The end of a wait that spans several system calls.
class Deadline {
  public:
    explicit Deadline(long long milliseconds)
        : end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds)) {}

    // The next wait: at most `stepMs`, and no longer than what is left (0 once it has passed).
    int next(int stepMs) const {
        // Rounded up: a wait cut into steps must not come out short.
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now())
                .count();
        return static_cast<int>(std::max<long long>(0, std::min<long long>(stepMs, left)));
    }
    bool passed() const { return std::chrono::steady_clock::now() >= end_; }

  private:
    std::chrono::steady_clock::time_point end_;
};

// Start-up and clean-up of the socket layer. Startup returns 0 when ready, else the platform's
// error code (Winsock: WSAStartup's for version 2.2); Cleanup returns 0 when done, -1 on error.
int PlatformStartup();
int PlatformCleanup();

// Lets one thread end another's connection wait early; once woken it stays woken. Each backend
// makes it of something that its connection wait can watch beside the connecting socket (POSIX:
// a socket pair whose far end turns readable on the wake; Windows: a pair of loopback datagram
// sockets, readable once the wake's datagram is in).
class Waker {
  public:
    Waker();  // not valid() when the platform has no socket to spare
    ~Waker();
    Waker(const Waker&) = delete;
    Waker& operator=(const Waker&) = delete;

    bool valid() const { return readable_ != kNoSocket; }
    // From any thread, as often as needed.
    void wake();
    // Readable once woken (for the waits of this layer). It may turn readable a moment after
    // wake() has returned; woken() is true at once.
    SocketHandle handle() const { return readable_; }
    bool woken() const { return woken_.load(std::memory_order_acquire); }

  private:
    SocketHandle readable_ = kNoSocket;
    SocketHandle trigger_ = kNoSocket;
    std::atomic<bool> woken_{false};
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

// ReceiveWithTimeout for a datagram socket that takes datagrams from `source` only: those from any
// other sender are dropped unread and the wait goes on for what is left of timeoutMs. A datagram
// from `source` larger than `capacity` is an error (-1) instead of arriving cut.
long ReceiveDatagramWithTimeout(SocketHandle socket, void* buffer, size_t capacity, int timeoutMs,
                                HostAddress source);

// The address of the peer that a connected socket talks to; false when there is none.
bool PeerAddress(SocketHandle socket, HostAddress* out);

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

// Paths are the platform's narrow text (on Windows in the local code page) and are used whole.

// True when `path` names a regular file: not a directory, device or pipe, which could not be read
// as an image or would never end.
bool IsRegularFile(const char* path);

// A regular file opened for reading, closed when it goes out of scope. Sizes are 64-bit.
class InputFile {
  public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // False, with nothing open, when `path` is no regular file or cannot be read.
    bool open(const char* path);
    // The open file's size in bytes, or -1.
    int64_t size() const;
    // Reads up to `capacity` bytes: the count, 0 at the end of the file, -1 on error.
    long read(void* buffer, size_t capacity);

  private:
    intptr_t handle_ = -1;  // a descriptor (POSIX) or a HANDLE (Windows); -1 is none for both
};

}  // namespace korvex
