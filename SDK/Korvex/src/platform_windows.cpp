// Windows backend of the socket layer, on Winsock 2.2.
//
// Waits use select. Winsock's fd_set is a counted array of handles (not a bitmap indexed by
// descriptor number, as on POSIX), and no wait here puts more than two sockets in it, so it cannot
// overflow. select also reports a failed non-blocking connect (in the exception set), which
// WSAPoll does not on Windows releases before 10 version 2004. Windows has no SIGPIPE: a send to a
// closed peer just fails. Sockets are not inherited by child processes.
#include <winsock2.h>  // before windows.h, which would bring in the old winsock.h otherwise

#include <windows.h>

#include <climits>

#include "platform_sockets.h"

namespace korvex {

namespace {

// kConnected: a non-blocking connect has ended, made (writable) or failed (exception set).
enum class Readiness { Read, Write, Connected };

// Waits until the socket is ready, and for `wake` to turn readable when one is given. Returns >0
// when the socket is ready, 0 on timeout, <0 on error (also when a connect failed) and when woken.
int WaitFor(SocketHandle socket, Readiness wanted, int timeoutMs, SocketHandle wake = kNoSocket) {
    if (socket == kNoSocket) {
        return -1;
    }
    fd_set readable;
    fd_set writable;
    fd_set failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    if (wanted == Readiness::Read) {
        FD_SET(socket, &readable);
    } else {
        FD_SET(socket, &writable);
    }
    if (wanted == Readiness::Connected) {
        FD_SET(socket, &failed);
    }
    if (wake != kNoSocket) {
        FD_SET(wake, &readable);
    }
    const int waitMs = timeoutMs > 0 ? timeoutMs : 0;
    timeval interval{waitMs / 1000, (waitMs % 1000) * 1000};
    // The first argument is ignored by Winsock.
    int result = ::select(0, &readable, &writable, &failed, &interval);
    if (result <= 0) {
        return result;
    }
    if (wake != kNoSocket && FD_ISSET(wake, &readable)) {
        return -1;
    }
    if (FD_ISSET(socket, &failed)) {
        return -1;
    }
    return 1;
}

bool SetNonBlocking(SocketHandle socket, bool on) {
    u_long mode = on ? 1 : 0;
    return ::ioctlsocket(socket, FIONBIO, &mode) == 0;
}

// WSA_FLAG_OVERLAPPED is what socket() would give; WSA_FLAG_NO_HANDLE_INHERIT keeps the socket out
// of started programs, which would otherwise hold a device's connection open.
SocketHandle NewSocket(int type, int protocol) {
    return ::WSASocketW(AF_INET, type, protocol, nullptr, 0,
                        WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
}

sockaddr_in Ipv4Address(in_addr address, int port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(static_cast<u_short>(port));
    result.sin_addr = address;
    return result;
}

sockaddr_in LoopbackAnyPort() {
    in_addr loopback{};
    loopback.s_addr = htonl(INADDR_LOOPBACK);
    return Ipv4Address(loopback, 0);
}

bool LocalAddress(SocketHandle socket, sockaddr_in* out) {
    int length = sizeof *out;
    return ::getsockname(socket, reinterpret_cast<sockaddr*>(out), &length) == 0;
}

// Winsock and the callers' long (32 bits on Windows) count in int.
int ChunkLength(size_t length) {
    return length > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
}

HANDLE AsHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// True for a file on a disk that is not a directory (devices such as NUL and pipes are not).
bool IsDiskFile(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information{};
    return ::GetFileType(file) == FILE_TYPE_DISK &&
           ::GetFileInformationByHandle(file, &information) != 0 &&
           (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The narrow ("A") function takes the path in the local code page, whole.
HANDLE OpenExisting(const char* path, DWORD access, DWORD flags) {
    return ::CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, flags, nullptr);
}

}  // namespace

int PlatformStartup() {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data);
}

int PlatformCleanup() {
    return ::WSACleanup() == 0 ? 0 : -1;
}

// The readable socket is connected to the trigger, so that it takes datagrams from nowhere else.
// Nobody reads the wake's datagram: it keeps the socket readable for good.
Waker::Waker() {
    Socket readable(NewSocket(SOCK_DGRAM, IPPROTO_UDP));
    Socket trigger(NewSocket(SOCK_DGRAM, IPPROTO_UDP));
    if (!readable || !trigger) {
        return;
    }
    const sockaddr_in loopback = LoopbackAnyPort();
    sockaddr_in readableAt{};
    sockaddr_in triggerAt{};
    const auto* any = reinterpret_cast<const sockaddr*>(&loopback);
    if (::bind(readable.get(), any, sizeof loopback) != 0 ||
        ::bind(trigger.get(), any, sizeof loopback) != 0 ||
        !LocalAddress(readable.get(), &readableAt) || !LocalAddress(trigger.get(), &triggerAt) ||
        ::connect(trigger.get(), reinterpret_cast<const sockaddr*>(&readableAt),
                  sizeof readableAt) != 0 ||
        ::connect(readable.get(), reinterpret_cast<const sockaddr*>(&triggerAt),
                  sizeof triggerAt) != 0) {
        return;
    }
    readable_ = readable.release();
    trigger_ = trigger.release();
}

void Waker::wake() {
    woken_.store(true, std::memory_order_release);
    if (trigger_ != kNoSocket) {
        (void)::send(trigger_, "w", 1, 0);
    }
}

SocketHandle ConnectWithTimeout(const char* host, int port, int timeoutMs, const Waker* waker) {
    in_addr address{};
    if (host == nullptr || !ResolveIpv4(host, &address) || (waker != nullptr && waker->woken())) {
        return kNoSocket;
    }
    Socket socket(NewSocket(SOCK_STREAM, IPPROTO_TCP));
    if (!socket || !SetNonBlocking(socket.get(), true)) {
        return kNoSocket;
    }
    const sockaddr_in peer = Ipv4Address(address, port);
    // The immediate result is WSAEWOULDBLOCK for a non-blocking connect; the wait below decides.
    (void)::connect(socket.get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    if (WaitFor(socket.get(), Readiness::Connected, timeoutMs,
                waker != nullptr ? waker->handle() : kNoSocket) <= 0) {
        return kNoSocket;
    }
    // Only an established connection counts.
    int error = 0;
    int length = sizeof error;
    if (::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                     &length) != 0 ||
        error != 0) {
        return kNoSocket;
    }
    if (!SetNonBlocking(socket.get(), false)) {
        return kNoSocket;
    }
    return socket.release();
}

long SendWithTimeout(SocketHandle socket, const void* data, size_t length, int timeoutMs) {
    int ready = WaitFor(socket, Readiness::Write, timeoutMs);
    if (ready <= 0) {
        return ready;
    }
    // A blocking send on Winsock waits until it has taken everything: for this one call the
    // socket is non-blocking, so that a peer that stops reading cannot hold the caller beyond its
    // timeout. SendAllWithTimeout sends the rest.
    if (!SetNonBlocking(socket, true)) {
        return -1;
    }
    int sent = ::send(socket, static_cast<const char*>(data), ChunkLength(length), 0);
    const bool wouldBlock = sent == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK;
    if (!SetNonBlocking(socket, false)) {
        return -1;
    }
    return wouldBlock ? 0 : sent;
}

long ReceiveWithTimeout(SocketHandle socket, void* buffer, size_t capacity, int timeoutMs) {
    int ready = WaitFor(socket, Readiness::Read, timeoutMs);
    if (ready <= 0) {
        return ready;
    }
    return ::recv(socket, static_cast<char*>(buffer), ChunkLength(capacity), 0);
}

int WaitReadable(SocketHandle socket, int timeoutMs) {
    return WaitFor(socket, Readiness::Read, timeoutMs);
}

long ReceiveDatagram(SocketHandle socket, void* buffer, size_t capacity, sockaddr_in* from) {
    int fromLength = sizeof *from;
    const int received = ::recvfrom(socket, static_cast<char*>(buffer), ChunkLength(capacity), 0,
                                    reinterpret_cast<sockaddr*>(from), &fromLength);
    // A datagram larger than the buffer fails the receive with WSAEMSGSIZE; its rest is dropped.
    if (received == SOCKET_ERROR && ::WSAGetLastError() == WSAEMSGSIZE) {
        return kDatagramTooLarge;
    }
    return received;
}

SocketHandle OpenUdpReceiver(int port) {
    Socket socket(NewSocket(SOCK_DGRAM, IPPROTO_UDP));
    if (!socket) {
        return kNoSocket;
    }
    in_addr any{};
    any.s_addr = htonl(INADDR_ANY);
    const sockaddr_in local = Ipv4Address(any, port);
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        return kNoSocket;
    }
    return socket.release();
}

void SetReceiveBufferSize(SocketHandle socket, int bytes) {
    (void)::setsockopt(socket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes),
                       sizeof bytes);
}

void CloseSocket(SocketHandle socket) {
    if (socket != kNoSocket) {
        ::closesocket(socket);
    }
}

bool IsRegularFile(const char* path) {
    if (path == nullptr) {
        return false;
    }
    // No access asked: only the attributes are read, also of a file this user may not read.
    // FILE_FLAG_BACKUP_SEMANTICS lets a directory be opened, so that it is told apart.
    HANDLE file = OpenExisting(path, 0, FILE_FLAG_BACKUP_SEMANTICS);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool regular = IsDiskFile(file);
    ::CloseHandle(file);
    return regular;
}

InputFile::~InputFile() {
    if (handle_ != -1) {
        ::CloseHandle(AsHandle(handle_));
    }
}

bool InputFile::open(const char* path) {
    if (path == nullptr || handle_ != -1) {
        return false;
    }
    HANDLE file = OpenExisting(path, GENERIC_READ, FILE_FLAG_SEQUENTIAL_SCAN);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    if (!IsDiskFile(file)) {
        ::CloseHandle(file);
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(file);
    return true;
}

int64_t InputFile::size() const {
    LARGE_INTEGER size{};
    if (handle_ == -1 || ::GetFileSizeEx(AsHandle(handle_), &size) == 0) {
        return -1;
    }
    return static_cast<int64_t>(size.QuadPart);
}

long InputFile::read(void* buffer, size_t capacity) {
    DWORD count = 0;
    const auto wanted = static_cast<DWORD>(ChunkLength(capacity));
    if (handle_ == -1 || ::ReadFile(AsHandle(handle_), buffer, wanted, &count, nullptr) == 0) {
        return -1;
    }
    return static_cast<long>(count);
}

}  // namespace korvex
