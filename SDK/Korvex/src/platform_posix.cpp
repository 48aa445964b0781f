// POSIX backend of the socket layer. Waits use poll (no FD_SETSIZE limit); sends never raise
// SIGPIPE.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform_sockets.h"

namespace korvex {

namespace {

// Waits for `events` on one socket, and for `wake` to turn readable when one is given. Returns >0
// when the socket is ready, 0 on timeout, <0 on error (also when the socket reports an error or
// hang-up without the wanted readiness) and when woken.
int WaitFor(SocketHandle socket, short events, int timeoutMs, SocketHandle wake = kNoSocket) {
    if (socket == kNoSocket) {
        return -1;
    }
    pollfd entries[2] = {{socket, events, 0}, {wake, POLLIN, 0}};
    const nfds_t count = wake == kNoSocket ? 1 : 2;
    const Deadline deadline(timeoutMs);
    for (;;) {
        int result = poll(entries, count, deadline.next(timeoutMs));
        if (result < 0 && errno == EINTR) {
            continue;
        }
        if (result <= 0) {
            return result;
        }
        if (entries[1].revents != 0) {
            return -1;
        }
        const short ready = entries[0].revents;
        if (ready & events) {
            return 1;
        }
        // POLLHUP alone on a read wait means the peer closed: let the receive report it.
        if ((events & POLLIN) && (ready & POLLHUP)) {
            return 1;
        }
        return -1;
    }
}

bool SetNonBlocking(SocketHandle socket, bool on) {
    int flags = fcntl(socket, F_GETFL, 0);
    if (flags < 0) {
        return false;
    }
    flags = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return fcntl(socket, F_SETFL, flags) == 0;
}

}  // namespace

int PlatformStartup() {
    return 0;
}

int PlatformCleanup() {
    return 0;
}

Waker::Waker() {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0) {
        readable_ = ends[0];
        trigger_ = ends[1];
    }
}

void Waker::wake() {
    woken_.store(true, std::memory_order_release);
    // The far end then reads end-of-stream for good: woken stays woken, and a second wake is
    // harmless.
    if (trigger_ != kNoSocket) {
        (void)shutdown(trigger_, SHUT_WR);
    }
}

SocketHandle ConnectWithTimeout(const char* host, int port, int timeoutMs, const Waker* waker) {
    in_addr address{};
    if (host == nullptr || !ResolveIpv4(host, &address) || (waker != nullptr && waker->woken())) {
        return kNoSocket;
    }
    Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket || !SetNonBlocking(socket.get(), true)) {
        return kNoSocket;
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<uint16_t>(port));
    peer.sin_addr = address;
    // The immediate result is in-progress for a non-blocking connect; the wait below decides.
    (void)::connect(socket.get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    if (WaitFor(socket.get(), POLLOUT, timeoutMs, waker != nullptr ? waker->handle() : kNoSocket) <=
        0) {
        return kNoSocket;
    }
    // Writable also means "failed" for a refused connect: only an established one counts.
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
        return kNoSocket;
    }
    if (!SetNonBlocking(socket.get(), false)) {
        return kNoSocket;
    }
    return socket.release();
}

long SendWithTimeout(SocketHandle socket, const void* data, size_t length, int timeoutMs) {
    int ready = WaitFor(socket, POLLOUT, timeoutMs);
    if (ready <= 0) {
        return ready;
    }
    // Take what fits now instead of blocking past the wait: a peer that stops reading must not
    // hold the caller beyond its timeout. SendAllWithTimeout sends the rest.
    ssize_t sent;
    do {
        sent = ::send(socket, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        return 0;
    }
    return sent;
}

long ReceiveWithTimeout(SocketHandle socket, void* buffer, size_t capacity, int timeoutMs) {
    int ready = WaitFor(socket, POLLIN, timeoutMs);
    if (ready <= 0) {
        return ready;
    }
    ssize_t received;
    do {
        received = ::recv(socket, buffer, capacity, 0);
    } while (received < 0 && errno == EINTR);
    return received;
}

int WaitReadable(SocketHandle socket, int timeoutMs) {
    return WaitFor(socket, POLLIN, timeoutMs);
}

long ReceiveDatagram(SocketHandle socket, void* buffer, size_t capacity, sockaddr_in* from) {
    ssize_t received;
    socklen_t fromLength = sizeof *from;
    do {
        // With MSG_TRUNC a datagram socket reports the datagram's real length, so one that did
        // not fit is seen instead of being cut silently. (Never on TCP: there it discards data.)
        received = ::recvfrom(socket, buffer, capacity, MSG_TRUNC,
                              reinterpret_cast<sockaddr*>(from), &fromLength);
    } while (received < 0 && errno == EINTR);
    if (received > 0 && static_cast<size_t>(received) > capacity) {
        return kDatagramTooLarge;
    }
    return received;
}

SocketHandle OpenUdpReceiver(int port) {
    Socket socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!socket) {
        return kNoSocket;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        return kNoSocket;
    }
    return socket.release();
}

void SetReceiveBufferSize(SocketHandle socket, int bytes) {
    (void)setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

void CloseSocket(SocketHandle socket) {
    if (socket != kNoSocket) {
        ::close(socket);
    }
}

bool IsRegularFile(const char* path) {
    struct stat status {};
    return path != nullptr && ::stat(path, &status) == 0 && S_ISREG(status.st_mode);
}

InputFile::~InputFile() {
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));
    }
}

bool InputFile::open(const char* path) {
    if (path == nullptr || handle_ >= 0) {
        return false;
    }
    // O_NONBLOCK: should the path have turned into a FIFO since it was checked, the open must
    // not wait for a writer. Reads of a regular file ignore the flag.
    int descriptor = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) {
        return false;
    }
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        return false;
    }
    handle_ = descriptor;
    return true;
}

int64_t InputFile::size() const {
    struct stat status {};
    if (handle_ < 0 || ::fstat(static_cast<int>(handle_), &status) != 0) {
        return -1;
    }
    return static_cast<int64_t>(status.st_size);
}

long InputFile::read(void* buffer, size_t capacity) {
    if (handle_ < 0) {
        return -1;
    }
    ssize_t count;
    do {
        count = ::read(static_cast<int>(handle_), buffer, capacity);
    } while (count < 0 && errno == EINTR);
    return count;
}

}  // namespace korvex
