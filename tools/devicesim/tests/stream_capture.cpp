#include "stream_capture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "wire_client.h"

namespace devicesim_test {

namespace {

constexpr uint32_t kMagic = 0x20160520;

int64_t nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Header {
    int type;
    bool first;
    bool last;
    int32_t length;
    uint32_t sequence;
    uint64_t timestamp;
};

Header readHeader(const uint8_t* bytes) {
    Header header;
    header.type = bytes[4] >> 4;
    header.first = (bytes[4] & 1) != 0;
    header.last = (bytes[4] & 2) != 0;
    header.length = static_cast<int32_t>(readLittle32(bytes + 8));
    header.sequence = readLittle32(bytes + 12);
    header.timestamp = static_cast<uint64_t>(readLittle32(bytes + 16)) |
                       static_cast<uint64_t>(readLittle32(bytes + 20)) << 32;
    return header;
}

class Collector {
  public:
    explicit Collector(StreamCapture& capture) : capture_(capture) {}

    int64_t startedUs = 0;

    // Parses whole packets from `buffer`, returns the bytes consumed.
    size_t parse(const uint8_t* buffer, size_t size, bool udp) {
        size_t position = 0;
        while (position + 24 <= size) {
            if (readLittle32(buffer + position) != kMagic) {
                ++capture_.junkBytes;
                ++position;
                continue;
            }
            const Header header = readHeader(buffer + position);
            if (header.length < 0) {
                ++capture_.junkBytes;
                ++position;
                continue;
            }
            if (position + 24 + static_cast<size_t>(header.length) > size) {
                break;
            }
            countSequence(header.sequence);
            const uint8_t* payload = buffer + position + 24;
            if (udp) {
                capture_.maxFragmentPayload =
                    std::max(capture_.maxFragmentPayload, static_cast<size_t>(header.length));
                fragment(header, payload);
            } else {
                if (!header.first || !header.last) {
                    ++capture_.wrongTcpBits;
                }
                deliver(header.type, header.timestamp, payload, static_cast<size_t>(header.length));
            }
            position += 24 + static_cast<size_t>(header.length);
        }
        return position;
    }

    void finish() {
        if (open_) {
            ++capture_.brokenFrames;
        }
    }

  private:
    void countSequence(uint32_t sequence) {
        ++capture_.packets;
        if (haveSequence_ && sequence != lastSequence_ + 1) {
            ++capture_.sequenceGaps;
            if (sequence < lastSequence_) {
                ++capture_.sequenceBackwards;
            }
        }
        haveSequence_ = true;
        lastSequence_ = sequence;
    }

    void fragment(const Header& header, const uint8_t* payload) {
        if (header.first) {
            if (open_) {
                ++capture_.brokenFrames;
            }
            open_ = true;
            openType_ = header.type;
            openTimestamp_ = header.timestamp;
            assembly_.assign(payload, payload + header.length);
        } else if (!open_) {
            ++capture_.brokenFrames;
            return;
        } else {
            if (header.timestamp != openTimestamp_) {
                ++capture_.timestampMismatch;
            }
            assembly_.insert(assembly_.end(), payload, payload + header.length);
        }
        if (header.last) {
            open_ = false;
            deliver(openType_, openTimestamp_, assembly_.data(), assembly_.size());
        }
    }

    void deliver(int type, uint64_t timestamp, const uint8_t* data, size_t length) {
        if (type == 10) {
            std::array<uint8_t, 20> info{};
            std::memcpy(info.data(), data, std::min(length, info.size()));
            capture_.mediaInfos.push_back(info);
            return;
        }
        const int64_t arrival = nowUs() - startedUs;
        capture_.frames.push_back(CapturedFrame{type, timestamp, arrival, {data, data + length}});
    }

    StreamCapture& capture_;
    bool haveSequence_ = false;
    uint32_t lastSequence_ = 0;
    bool open_ = false;
    int openType_ = 0;
    uint64_t openTimestamp_ = 0;
    std::vector<uint8_t> assembly_;
};

int openUdpReceiver(uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof local;
    const int bufferBytes = 4 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    port = ntohs(local.sin_port);
    return fd;
}

}  // namespace

uint32_t readLittle32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

MediaInfoFields readMediaInfo(const std::array<uint8_t, 20>& p) {
    MediaInfoFields fields;
    fields.contentMask = readLittle32(&p[0]) & 0xf;
    fields.width = p[4] | p[5] << 8;
    fields.height = p[6] | p[7] << 8;
    fields.videoCodec = readLittle32(&p[8]) & 0xf;
    fields.sampleRate = p[12] | p[13] << 8;
    fields.bitsPerSample = p[14] | p[15] << 8;
    const uint32_t audio = readLittle32(&p[16]);
    fields.channels = audio & 0xf;
    fields.frequencyIndex = audio >> 4 & 0x3f;
    fields.profile = audio >> 10 & 0x3;
    return fields;
}

StreamCapture captureStreamFrom(const std::string& address, uint16_t port, bool udp, int durationMs,
                                const std::atomic<bool>* stop, std::atomic<bool>* started) {
    StreamCapture capture;
    uint16_t udpPort = 0;
    const int udpFd = udp ? openUdpReceiver(udpPort) : -1;
    const int control = connectTo(address, port, 3000);
    if (control < 0 || (udp && udpFd < 0)) {
        if (control >= 0) {
            ::close(control);
        }
        if (udpFd >= 0) {
            ::close(udpFd);
        }
        return capture;
    }
    std::string play = "PLAY HDMI/1.0\r\nAUTHORIZATION: BASIC \r\nCHN:0\r\nSTREAM:0\r\nTRANSPORT:" +
                       std::string(udp ? "1" : "0") + "\r\n";
    if (udp) {
        play += "RPORT:" + std::to_string(udpPort) + "\r\n";
    }
    play += "CONTENT-LENGTH:0\r\n\r\n";
    sendText(control, play);

    Collector collector(capture);
    collector.startedUs = nowUs();
    std::vector<uint8_t> tcpBuffer;
    bool answerComplete = false;
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kFirstFrameTimeoutMs);
    bool streaming = false;
    std::vector<uint8_t> datagram(65536);
    while (std::chrono::steady_clock::now() < deadline && !(stop != nullptr && *stop)) {
        if (!streaming && !capture.frames.empty()) {
            streaming = true;
            if (started != nullptr) {
                *started = true;
            }
            deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(durationMs);
        }
        pollfd fds[2] = {{control, POLLIN, 0}, {udpFd, POLLIN, 0}};
        if (::poll(fds, udp ? 2 : 1, 50) <= 0) {
            continue;
        }
        if (fds[0].revents != 0) {
            uint8_t chunk[65536];
            const ssize_t count = ::recv(control, chunk, sizeof chunk, 0);
            if (count <= 0) {
                capture.deviceClosed = true;
                break;
            }
            tcpBuffer.insert(tcpBuffer.end(), chunk, chunk + count);
            if (!answerComplete) {
                const std::string text(tcpBuffer.begin(), tcpBuffer.end());
                const size_t end = text.find("\r\n\r\n");
                if (end == std::string::npos) {
                    continue;
                }
                capture.answer = text.substr(0, end + 4);
                tcpBuffer.erase(tcpBuffer.begin(), tcpBuffer.begin() + static_cast<long>(end + 4));
                answerComplete = true;
            }
            const size_t used = collector.parse(tcpBuffer.data(), tcpBuffer.size(), false);
            tcpBuffer.erase(tcpBuffer.begin(), tcpBuffer.begin() + static_cast<long>(used));
        }
        if (udp && fds[1].revents != 0) {
            const ssize_t count = ::recv(udpFd, datagram.data(), datagram.size(), 0);
            if (count > 0) {
                capture.maxDatagram = std::max(capture.maxDatagram, static_cast<size_t>(count));
                const size_t used =
                    collector.parse(datagram.data(), static_cast<size_t>(count), true);
                capture.junkBytes += static_cast<size_t>(count) - used;
            }
        }
    }
    collector.finish();
    ::close(control);
    if (udpFd >= 0) {
        ::close(udpFd);
    }
    return capture;
}

}  // namespace devicesim_test
