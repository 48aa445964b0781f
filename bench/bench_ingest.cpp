// Korvex stream ingest over loopback.
//
// TCP: a sender streams frames of 64 KiB to 1 MiB; the library receives them through its parser
// and hands each to onFrame. The same bytes go, in the same run, to a plain recv loop with the
// same 4 MiB buffer and socket receive buffer; the ratio of the two rates is the parser's cost.
// UDP: a sender paces 64 KiB frames in 1400-byte fragments at 100, 200 and 400 Mbit/s to the
// port that the library's PLAY named; what did not arrive as frame bytes is reported as loss.
//
// Everything runs on 127.0.0.1 and is bounded in bytes and time (well under a minute).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Korvex.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr size_t kStreamBuffer = 4194304;  // the library's per-stream buffer
constexpr int kSocketBuffer = 2097152;     // and its SO_RCVBUF
constexpr int kTcpRounds = 3;
constexpr size_t kTcpBytesPerRun = size_t{1} << 30;
constexpr int kUdpRatesMbit[] = {100, 200, 400};
constexpr auto kUdpPhase = 2s;
constexpr size_t kUdpFrame = 65536;
constexpr size_t kUdpFragment = 1400;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "bench_ingest: %s\n", what);
    std::exit(1);
}

void Put32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xff));
    }
}

std::string Packet(int type, uint8_t fragmentBits, uint32_t sequence, uint64_t timestamp,
                   const char* payload, size_t length) {
    std::string out;
    out.reserve(KORVEX_PACKET_HEADER_SIZE + length);
    Put32(out, KORVEX_PACKET_MAGIC);
    out.push_back(static_cast<char>(type << 4 | fragmentBits));
    out.append(3, '\0');
    Put32(out, static_cast<uint32_t>(length));
    Put32(out, sequence);
    Put32(out, static_cast<uint32_t>(timestamp));
    Put32(out, static_cast<uint32_t>(timestamp >> 32));
    out.append(payload, length);
    return out;
}

std::string MediaInfoPacket() {
    std::string payload;
    Put32(payload, 3);
    Put32(payload, 1920 | 1080u << 16);
    Put32(payload, 0);
    Put32(payload, 48000 | 2u << 16);
    Put32(payload, 0);
    return Packet(KORVEX_PACKET_MEDIA_INFO, 3, 0, 0, payload.data(), payload.size());
}

// A listener on 127.0.0.1 with a free port.
class Listener {
  public:
    Listener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd_, 4) != 0 ||
            getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            Fail("cannot listen on 127.0.0.1");
        }
        port_ = ntohs(address.sin_port);
    }
    ~Listener() { ::close(fd_); }
    int port() const { return port_; }
    // The next connection, or -1 when none comes within timeoutMs.
    int accept(int timeoutMs) {
        pollfd entry{fd_, POLLIN, 0};
        if (poll(&entry, 1, timeoutMs) <= 0) {
            return -1;
        }
        return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    }

  private:
    int fd_ = -1;
    int port_ = 0;
};

bool SendAll(int socket, const char* data, size_t length) {
    while (length > 0) {
        ssize_t sent = ::send(socket, data, length, MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        data += sent;
        length -= static_cast<size_t>(sent);
    }
    return true;
}

// Reads a request up to its blank line (the PLAY has no body). Empty on failure.
std::string ReadRequest(int socket) {
    std::string request;
    char chunk[2048];
    while (request.find("\r\n\r\n") == std::string::npos) {
        pollfd entry{socket, POLLIN, 0};
        if (poll(&entry, 1, 5000) <= 0) {
            return {};
        }
        ssize_t count = ::recv(socket, chunk, sizeof chunk, 0);
        if (count <= 0) {
            return {};
        }
        request.append(chunk, static_cast<size_t>(count));
    }
    return request;
}

// Waits (bounded) until the peer closes.
void AwaitClose(int socket) {
    char chunk[4096];
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        pollfd entry{socket, POLLIN, 0};
        if (poll(&entry, 1, 100) > 0 && ::recv(socket, chunk, sizeof chunk, 0) <= 0) {
            return;
        }
    }
}

bool WaitFor(const std::function<bool()>& condition, Clock::duration timeout) {
    auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(200us);
    }
    return true;
}

// What the library reports, counted on its stream thread.
struct Counters {
    std::atomic<int> started{0};
    std::atomic<uint64_t> frames{0};
    std::atomic<uint64_t> bytes{0};
    std::atomic<uint64_t> dataLost{0};
};

void KORVEX_CALL OnEvent(KorvexSession*, int32_t event, void*, void* user) {
    auto* counters = static_cast<Counters*>(user);
    if (event == KORVEX_STREAM_STARTED) {
        ++counters->started;
    } else if (event == KORVEX_STREAM_DATA_LOST) {
        ++counters->dataLost;
    }
}

int KORVEX_CALL OnFrame(KorvexSession*, KorvexStream*, const KorvexFrameInfo* frame, void* user) {
    auto* counters = static_cast<Counters*>(user);
    counters->frames.fetch_add(1, std::memory_order_relaxed);
    counters->bytes.fetch_add(static_cast<uint64_t>(frame->length), std::memory_order_relaxed);
    return 0;
}

int KORVEX_CALL OnMediaInfo(KorvexSession*, KorvexStream*, const KorvexMediaInfo*, void*) {
    return 0;
}

KorvexSession* Login(int port, Counters& counters) {
    KorvexLoginInfo login{};
    std::snprintf(login.host, sizeof login.host, "127.0.0.1");
    login.port = port;
    return KORVEX_Login(&login, OnEvent, &counters);
}

// ---------------------------------------------------------------------------------------------
// TCP

// The bytes of one run: media information, then key frames of 64 KiB .. 1 MiB, repeated.
struct TcpStream {
    std::string prefix;
    std::string block;
    size_t repeats = 0;
    uint64_t frames = 0;
    uint64_t payloadBytes = 0;
    size_t totalBytes() const { return prefix.size() + block.size() * repeats; }
};

TcpStream MakeTcpStream() {
    static const size_t kSizes[] = {65536, 1048576, 131072, 524288, 262144, 98304, 786432};
    std::vector<char> payload(1048576);
    for (size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<char>(i * 7 & 0x7f);
    }
    TcpStream stream;
    stream.prefix = MediaInfoPacket();
    uint64_t blockFrames = 0;
    uint64_t blockPayload = 0;
    uint64_t timestamp = 0;
    for (size_t size : kSizes) {
        stream.block += Packet(KORVEX_PACKET_KEY_FRAME, 0, 0, ++timestamp, payload.data(), size);
        ++blockFrames;
        blockPayload += size;
    }
    stream.repeats = kTcpBytesPerRun / stream.block.size();
    stream.frames = blockFrames * stream.repeats;
    stream.payloadBytes = blockPayload * stream.repeats;
    return stream;
}

void SendTcpStream(int socket, const TcpStream& stream) {
    if (!SendAll(socket, stream.prefix.data(), stream.prefix.size())) {
        return;
    }
    for (size_t i = 0; i < stream.repeats; ++i) {
        if (!SendAll(socket, stream.block.data(), stream.block.size())) {
            return;
        }
    }
}

// Bytes per second through KORVEX_StartPlay to onFrame.
double TcpThroughLibrary(const TcpStream& bytes) {
    Listener listener;
    Counters counters;
    KorvexSession* session = Login(listener.port(), counters);
    std::atomic<Clock::time_point> sendStart{Clock::time_point()};
    std::thread device([&] {
        int socket = listener.accept(5000);
        if (socket < 0) {
            return;
        }
        if (!ReadRequest(socket).empty() && SendAll(socket, "HDMI/1.0 200 OK\r\n\r\n", 19) &&
            WaitFor([&] { return counters.started.load() > 0; }, 5s)) {
            sendStart = Clock::now();
            SendTcpStream(socket, bytes);
            AwaitClose(socket);
        }
        ::close(socket);
    });
    KorvexPlayParams params{};
    params.transport = KORVEX_TRANSPORT_TCP;
    params.onMediaInfo = OnMediaInfo;
    params.onFrame = OnFrame;
    params.user = &counters;
    KorvexStream* stream = KORVEX_StartPlay(session, &params);
    if (stream == nullptr) {
        Fail("KORVEX_StartPlay failed");
    }
    bool complete = WaitFor([&] { return counters.frames.load() >= bytes.frames; }, 30s);
    auto end = Clock::now();
    KORVEX_StopPlay(session, stream);
    device.join();
    KORVEX_Logout(session);
    if (!complete || counters.bytes.load() != bytes.payloadBytes) {
        Fail("the library did not deliver every frame");
    }
    return static_cast<double>(bytes.totalBytes()) /
           std::chrono::duration<double>(end - sendStart.load()).count();
}

// Bytes per second through a plain recv loop into a buffer of the same size.
double TcpThroughPlainLoop(const TcpStream& bytes, uint8_t* buffer) {
    Listener listener;
    std::atomic<Clock::time_point> sendStart{Clock::time_point()};
    std::thread device([&] {
        int socket = listener.accept(5000);
        if (socket < 0) {
            return;
        }
        sendStart = Clock::now();
        SendTcpStream(socket, bytes);
        AwaitClose(socket);
        ::close(socket);
    });
    int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<uint16_t>(listener.port()));
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
        Fail("plain loop: cannot connect");
    }
    int size = kSocketBuffer;
    setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    size_t total = 0;
    const size_t expected = bytes.totalBytes();
    while (total < expected) {
        pollfd entry{socket, POLLIN, 0};
        if (poll(&entry, 1, 1000) <= 0) {
            Fail("plain loop: stalled");
        }
        ssize_t count = ::recv(socket, buffer, kStreamBuffer, 0);
        if (count <= 0) {
            Fail("plain loop: connection ended early");
        }
        total += static_cast<size_t>(count);
    }
    auto end = Clock::now();
    ::close(socket);
    device.join();
    return static_cast<double>(total) /
           std::chrono::duration<double>(end - sendStart.load()).count();
}

void RunTcp() {
    TcpStream bytes = MakeTcpStream();
    auto buffer = std::make_unique<uint8_t[]>(kStreamBuffer);
    std::printf("TCP ingest: %zu MiB per run, frames of 64 KiB .. 1 MiB, best of %d rounds\n",
                bytes.totalBytes() >> 20, kTcpRounds);
    double library = 0;
    double plain = 0;
    for (int round = 0; round < kTcpRounds; ++round) {
        // Alternate the order, so that neither side always runs on a warmer machine.
        if (round % 2 == 0) {
            plain = std::max(plain, TcpThroughPlainLoop(bytes, buffer.get()));
            library = std::max(library, TcpThroughLibrary(bytes));
        } else {
            library = std::max(library, TcpThroughLibrary(bytes));
            plain = std::max(plain, TcpThroughPlainLoop(bytes, buffer.get()));
        }
    }
    std::printf("  %-34s %10.1f MiB/s\n", "plain recv loop", plain / 1048576);
    std::printf("  %-34s %10.1f MiB/s\n", "KORVEX_StartPlay -> onFrame", library / 1048576);
    std::printf("  %-34s %10.2f   (target >= 0.80)\n", "ratio", library / plain);
}

// ---------------------------------------------------------------------------------------------
// UDP

struct UdpPhase {
    uint64_t datagrams = 0;
    uint64_t payloadBytes = 0;
};

// Sends 64 KiB frames in fragments to 127.0.0.1:port at `mbit` Mbit/s (datagram bytes) for
// `duration`, continuing the sequence numbers and timestamps in `sequence` / `timestamp`.
UdpPhase SendPaced(int port, int mbit, Clock::duration duration, uint32_t& sequence,
                   uint64_t& timestamp) {
    int sender = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(static_cast<uint16_t>(port));
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::vector<char> payload(kUdpFrame, 'v');
    const double bytesPerSecond = mbit * 1e6 / 8;
    UdpPhase phase;
    uint64_t sentBytes = 0;
    size_t offset = 0;
    auto start = Clock::now();
    for (;;) {
        auto elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        if (elapsed >= std::chrono::duration<double>(duration).count() && offset == 0) {
            break;  // always end on a whole frame
        }
        while (static_cast<double>(sentBytes) < static_cast<double>(bytesPerSecond) * elapsed) {
            size_t length = std::min(kUdpFragment, kUdpFrame - offset);
            uint8_t bits = (offset == 0 ? 1 : 0) | (offset + length == kUdpFrame ? 2 : 0);
            if (offset == 0) {
                ++timestamp;
            }
            std::string datagram = Packet(KORVEX_PACKET_KEY_FRAME, bits, ++sequence, timestamp,
                                          payload.data() + offset, length);
            ::sendto(sender, datagram.data(), datagram.size(), 0,
                     reinterpret_cast<const sockaddr*>(&target), sizeof target);
            sentBytes += datagram.size();
            ++phase.datagrams;
            phase.payloadBytes += length;
            offset = (offset + length) % kUdpFrame;
        }
        std::this_thread::sleep_for(200us);
    }
    ::close(sender);
    return phase;
}

void RunUdp() {
    long rmemMax = 0;
    std::ifstream("/proc/sys/net/core/rmem_max") >> rmemMax;
    std::printf(
        "\nUDP delivery: 64 KiB frames in %zu-byte fragments, %lld s per rate; "
        "SO_RCVBUF asked %d, kernel cap rmem_max %ld\n",
        kUdpFragment, static_cast<long long>(kUdpPhase / 1s), kSocketBuffer, rmemMax);
    Listener listener;
    Counters counters;
    KorvexSession* session = Login(listener.port(), counters);
    std::atomic<bool> done{false};
    std::vector<UdpPhase> phases;
    std::vector<uint64_t> deliveredBytes;
    std::vector<uint64_t> lossReports;
    std::thread device([&] {
        int socket = listener.accept(5000);
        if (socket < 0) {
            return;
        }
        std::string request = ReadRequest(socket);
        size_t key = request.find("RPORT:");
        if (key != std::string::npos && SendAll(socket, "HDMI/1.0 200 OK\r\n\r\n", 19) &&
            WaitFor([&] { return counters.started.load() > 0; }, 5s)) {
            int port = static_cast<int>(std::strtol(request.c_str() + key + 6, nullptr, 10));
            uint32_t sequence = 0;
            uint64_t timestamp = 0;
            for (int mbit : kUdpRatesMbit) {
                uint64_t bytesBefore = counters.bytes.load();
                uint64_t lostBefore = counters.dataLost.load();
                phases.push_back(SendPaced(port, mbit, kUdpPhase, sequence, timestamp));
                // Let the receiver drain what is queued before counting.
                uint64_t expected = bytesBefore + phases.back().payloadBytes;
                WaitFor([&] { return counters.bytes.load() >= expected; }, 500ms);
                deliveredBytes.push_back(counters.bytes.load() - bytesBefore);
                lossReports.push_back(counters.dataLost.load() - lostBefore);
            }
        }
        done = true;
        AwaitClose(socket);
        ::close(socket);
    });
    KorvexPlayParams params{};
    params.transport = KORVEX_TRANSPORT_UDP;
    params.onMediaInfo = OnMediaInfo;
    params.onFrame = OnFrame;
    params.user = &counters;
    KorvexStream* stream = KORVEX_StartPlay(session, &params);
    if (stream == nullptr) {
        Fail("KORVEX_StartPlay failed");
    }
    WaitFor([&] { return done.load(); }, 30s);
    KORVEX_StopPlay(session, stream);
    device.join();
    KORVEX_Logout(session);
    if (phases.size() != std::size(kUdpRatesMbit)) {
        Fail("the UDP stream did not start");
    }
    std::printf("  %8s %10s %14s %14s %10s %12s\n", "Mbit/s", "datagrams", "sent MiB",
                "delivered MiB", "loss", "loss events");
    for (size_t i = 0; i < phases.size(); ++i) {
        double sent = static_cast<double>(phases[i].payloadBytes);
        double delivered = static_cast<double>(deliveredBytes[i]);
        std::printf("  %8d %10llu %14.1f %14.1f %9.3f%% %12llu\n", kUdpRatesMbit[i],
                    static_cast<unsigned long long>(phases[i].datagrams), sent / 1048576,
                    delivered / 1048576, 100.0 * (sent - delivered) / sent,
                    static_cast<unsigned long long>(lossReports[i]));
    }
}

}  // namespace

int main() {
    KORVEX_Init();
    RunTcp();
    RunUdp();
    KORVEX_Exit();
    return 0;
}
