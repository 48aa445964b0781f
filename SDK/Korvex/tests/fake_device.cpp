#include "fake_device.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace korvex::test {

namespace {

using Clock = std::chrono::steady_clock;

// True once `request` holds a whole header and the CONTENT-LENGTH body behind it.
bool RequestComplete(const std::string& request) {
    size_t headerEnd = request.find("\r\n\r\n");
    if (headerEnd == std::string::npos) {
        return false;
    }
    size_t bodyLength = 0;
    size_t key = request.find("CONTENT-LENGTH:");
    if (key != std::string::npos && key < headerEnd) {
        bodyLength = std::strtoul(request.c_str() + key + 15, nullptr, 10);
    }
    return request.size() >= headerEnd + 4 + bodyLength;
}

// Binds `socket` to a free port on 127.0.0.1 and fills `address` with it. False on failure.
bool BindToFreeLoopbackPort(RawSocket socket, sockaddr_in& address) {
    address = sockaddr_in{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    return ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
           getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0;
}

// Two loopback datagram sockets, `readable` connected to `trigger` and so taking datagrams from it
// alone. False on failure.
bool MakeWakePair(RawSocket& readable, RawSocket& trigger) {
    readable = OpenSocket(SOCK_DGRAM);
    trigger = OpenSocket(SOCK_DGRAM);
    sockaddr_in readableAt;
    sockaddr_in triggerAt;
    return BindToFreeLoopbackPort(readable, readableAt) &&
           BindToFreeLoopbackPort(trigger, triggerAt) &&
           ::connect(trigger, reinterpret_cast<sockaddr*>(&readableAt), sizeof readableAt) == 0 &&
           ::connect(readable, reinterpret_cast<sockaddr*>(&triggerAt), sizeof triggerAt) == 0;
}

}  // namespace

void SendAll(RawSocket socket, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        long sent = SendBytes(socket, bytes.data() + done, bytes.size() - done);
        if (sent <= 0) {
            return;
        }
        done += static_cast<size_t>(sent);
    }
}

Reply Answer(std::string text) {
    Reply reply;
    reply.chunks.push_back({0, std::move(text)});
    return reply;
}

std::string OkResponse(const std::string& body) {
    return "HDMI/1.0 200 OK\r\nCONTENT-LENGTH:" + std::to_string(body.size()) + "\r\n\r\n" + body;
}

Reply Silence() {
    Reply reply;
    reply.closeAfter = false;
    return reply;
}

FakeDevice::FakeDevice(const char* address, int port) : defaultReply_(Answer(OkResponse())) {
    listener_ = OpenSocket(SOCK_STREAM);
    int yes = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes),
               sizeof yes);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t length = sizeof local;
    if (inet_pton(AF_INET, address, &local.sin_addr) != 1 ||
        (ntohl(local.sin_addr.s_addr) >> 24) != 127 ||
        ::bind(listener_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(listener_, 64) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        throw std::runtime_error(std::string("fake device: cannot listen on ") + address);
    }
    port_ = ntohs(local.sin_port);
    if (!MakeWakePair(wakeRead_, wakeWrite_)) {
        throw std::runtime_error("fake device: no wake sockets");
    }
    acceptor_ = std::thread([this] { acceptLoop(); });
}

FakeDevice::~FakeDevice() {
    stop();
    CloseRawSocket(listener_);
    CloseRawSocket(wakeRead_);
    CloseRawSocket(wakeWrite_);
}

void FakeDevice::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            return;
        }
        stopping_ = true;
        // Also ends a `then` that streams: its sends fail from now on.
        for (RawSocket socket : sockets_) {
            if (socket != kNoRawSocket) {
                ::shutdown(socket, kShutBoth);
            }
        }
    }
    // The wake socket stays readable from now on, which wakes every wait of every connection.
    SendBytes(wakeWrite_, "x", 1);
    acceptor_.join();
    for (std::thread& worker : workers_) {
        worker.join();
    }
}

void FakeDevice::hold() {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = true;
}

void FakeDevice::release() {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = false;
}

void FakeDevice::script(Reply reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    scripted_.push_back(std::move(reply));
}

void FakeDevice::setDefaultReply(Reply reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    defaultReply_ = std::move(reply);
}

std::vector<std::string> FakeDevice::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

size_t FakeDevice::connectionCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_.size();
}

bool FakeDevice::waitForClosedConnections(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        if (closed_.size() < count) {
            return false;
        }
        for (size_t i = 0; i < count; ++i) {
            if (!closed_[i]) {
                return false;
            }
        }
        return true;
    });
}

void FakeDevice::acceptLoop() {
    for (;;) {
        pollfd waits[2] = {{listener_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        if (PollSockets(waits, 2, -1) < 0 && errno != EINTR) {
            return;
        }
        if (waits[1].revents != 0) {
            return;
        }
        if ((waits[0].revents & POLLIN) == 0) {
            continue;
        }
        RawSocket socket = AcceptConnection(listener_);
        if (socket == kNoRawSocket) {
            continue;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        Reply reply = defaultReply_;
        if (!scripted_.empty()) {
            reply = std::move(scripted_.front());
            scripted_.pop_front();
        }
        size_t index = received_.size();
        received_.emplace_back();
        closed_.push_back(false);
        sockets_.push_back(socket);
        changed_.notify_all();
        workers_.emplace_back(
            [this, socket, index, reply = std::move(reply)]() { serve(socket, index, reply); });
    }
}

void FakeDevice::serve(RawSocket socket, size_t index, Reply reply) {
    bool peerOpen = true;
    // Takes in what the client sends until `deadline` (or until `done` holds); false once the
    // device stops.
    auto pump = [&](Clock::time_point deadline, const std::function<bool()>& done) {
        for (;;) {
            if (done && done()) {
                return true;
            }
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0 && deadline != Clock::time_point::max()) {
                return true;
            }
            pollfd waits[2] = {{socket, static_cast<short>(peerOpen ? POLLIN : 0), 0},
                               {wakeRead_, POLLIN, 0}};
            int timeout =
                deadline == Clock::time_point::max() ? -1 : static_cast<int>(left.count());
            if (PollSockets(waits, 2, timeout) < 0 && errno != EINTR) {
                return false;
            }
            if (waits[1].revents != 0) {
                return false;
            }
            if (waits[0].revents != 0) {
                char buffer[65536];
                long count = ReceiveBytes(socket, buffer, sizeof buffer);
                if (count <= 0) {
                    peerOpen = false;
                    std::lock_guard<std::mutex> lock(mutex_);
                    closed_[index] = true;
                    changed_.notify_all();
                    if (done) {
                        return true;  // nothing more will come
                    }
                } else {
                    std::lock_guard<std::mutex> lock(mutex_);
                    received_[index].append(buffer, static_cast<size_t>(count));
                    changed_.notify_all();
                }
            }
        }
    };
    auto request = [&] {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_[index];
    };

    auto held = [&] {
        std::lock_guard<std::mutex> lock(mutex_);
        return held_;
    };

    bool running = true;
    if (reply.waitForRequest) {
        running =
            pump(Clock::time_point::max(), [&] { return !peerOpen || RequestComplete(request()); });
    }
    while (running && peerOpen && held()) {
        running = pump(Clock::now() + std::chrono::milliseconds(10), nullptr);
    }
    for (const Chunk& chunk : reply.chunks) {
        if (!running) {
            break;
        }
        if (chunk.delayMs > 0) {
            running = pump(Clock::now() + std::chrono::milliseconds(chunk.delayMs), nullptr);
        }
        if (running) {
            SendAll(socket, chunk.bytes);
        }
    }
    if (running && reply.then) {
        reply.then(socket, request());
    }
    if (running && !reply.closeAfter) {
        pump(Clock::time_point::max(), [&] { return !peerOpen; });
    }
    std::lock_guard<std::mutex> lock(mutex_);
    CloseRawSocket(socket);
    sockets_[index] = kNoRawSocket;
    closed_[index] = true;
    changed_.notify_all();
}

int RefusingPort() {
    RawSocket probe = OpenSocket(SOCK_STREAM);
    sockaddr_in address;
    BindToFreeLoopbackPort(probe, address);
    CloseRawSocket(probe);
    return ntohs(address.sin_port);
}

RawSocket DatagramSocketOn(const char* address) {
    RawSocket socket = OpenSocket(SOCK_DGRAM);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = inet_addr(address);
    if (::bind(socket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        CloseRawSocket(socket);
        throw std::runtime_error(std::string("cannot bind a datagram socket to ") + address);
    }
    return socket;
}

bool LoopbackSendersAreTold() {
    RawSocket receiver = DatagramSocketOn("127.0.0.1");
    RawSocket sender = DatagramSocketOn("127.0.0.2");
    sockaddr_in target{};
    socklen_t length = sizeof target;
    ::getsockname(receiver, reinterpret_cast<sockaddr*>(&target), &length);
    ::sendto(sender, "?", 1, 0, reinterpret_cast<sockaddr*>(&target), sizeof target);
    SetReceiveTimeout(receiver, 2000);
    char byte;
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const long received =
        ::recvfrom(receiver, &byte, 1, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    CloseRawSocket(receiver);
    CloseRawSocket(sender);
    return received == 1 && from.sin_addr.s_addr == inet_addr("127.0.0.2");
}

SynDroppingListener::SynDroppingListener() {
    listener_ = OpenSocket(SOCK_STREAM);
    sockaddr_in address;
    // The smallest backlog: once a connection or two wait unaccepted, the kernel drops new SYNs.
    if (!BindToFreeLoopbackPort(listener_, address) || ::listen(listener_, 0) != 0) {
        closeAll();
        throw std::runtime_error("syn-dropping listener: cannot listen");
    }
    port_ = ntohs(address.sin_port);
    constexpr int kMostQueued = 8;
    for (int attempt = 0; attempt < kMostQueued; ++attempt) {
        RawSocket client = OpenSocket(SOCK_STREAM, true);
        (void)::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
        pollfd entry{client, POLLOUT, 0};
        int error = 0;
        socklen_t errorLength = sizeof error;
        if (PollSockets(&entry, 1, 200) == 1 &&
            getsockopt(client, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                       &errorLength) == 0 &&
            error == 0) {
            queued_.push_back(client);
            continue;
        }
        CloseRawSocket(client);  // unanswered: the queue is full
        return;
    }
    closeAll();
    throw std::runtime_error("syn-dropping listener: the accept queue does not fill");
}

SynDroppingListener::~SynDroppingListener() {
    closeAll();
}

void SynDroppingListener::closeAll() {
    for (RawSocket client : queued_) {
        CloseRawSocket(client);
    }
    CloseRawSocket(listener_);
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace korvex::test
