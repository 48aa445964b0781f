// The test side of PLAY, written apart from the emulator's code: asks for a stream over TCP or
// UDP, parses the packets, reassembles datagram fragments and counts every irregularity.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace devicesim_test {

struct CapturedFrame {
    int type = 0;
    uint64_t timestamp = 0;
    int64_t arrivalUs = 0;  // when it was complete, from the start of the capture
    std::vector<uint8_t> data;
};

struct StreamCapture {
    std::string answer;  // what the PLAY answer held, up to its blank line
    std::vector<std::array<uint8_t, 20>> mediaInfos;
    std::vector<CapturedFrame> frames;  // pictures and sound in arrival order
    size_t junkBytes = 0;               // bytes outside any packet
    size_t sequenceGaps = 0;            // packets not numbered one after the previous
    size_t sequenceBackwards = 0;       // ... of which numbered below it
    size_t packets = 0;
    size_t wrongTcpBits = 0;       // TCP packets without both fragment bits
    size_t brokenFrames = 0;       // UDP frames cut short, fragments without a start
    size_t timestampMismatch = 0;  // UDP fragments of one frame with different timestamps
    size_t maxDatagram = 0;
    size_t maxFragmentPayload = 0;
    bool deviceClosed = false;
};

// Connects to address:port, sends PLAY (TRANSPORT:1 and a fresh RPORT on 127.0.0.1 for UDP) and
// collects `durationMs` of stream from its first frame on (the device encodes its loop at a low
// priority and may need many seconds for it on a busy machine; it is given 60 s), or until the
// device closes the connection or `stop` is set. `started` is set once the first frame is in.
StreamCapture captureStreamFrom(const std::string& address, uint16_t port, bool udp, int durationMs,
                                const std::atomic<bool>* stop = nullptr,
                                std::atomic<bool>* started = nullptr);
inline StreamCapture captureStream(uint16_t port, bool udp, int durationMs,
                                   const std::atomic<bool>* stop = nullptr,
                                   std::atomic<bool>* started = nullptr) {
    return captureStreamFrom("127.0.0.1", port, udp, durationMs, stop, started);
}

// How long a test waits for a stream's first frame.
constexpr int kFirstFrameTimeoutMs = 60000;

uint32_t readLittle32(const uint8_t* bytes);

struct MediaInfoFields {
    uint32_t contentMask;
    int width;
    int height;
    uint32_t videoCodec;
    int sampleRate;
    int bitsPerSample;
    uint32_t channels;
    uint32_t frequencyIndex;
    uint32_t profile;
};
MediaInfoFields readMediaInfo(const std::array<uint8_t, 20>& payload);

}  // namespace devicesim_test
