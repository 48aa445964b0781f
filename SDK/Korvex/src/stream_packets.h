// Stream packets: the 24-byte header, media information, the TCP packet parser and the UDP
// fragment assembler. Plain functions over a byte range, so they run without sockets (tests, fuzz).
#pragma once

#include <cstddef>
#include <cstdint>

#include "Korvex.h"

namespace korvex {

constexpr size_t kPacketHeaderSize = KORVEX_PACKET_HEADER_SIZE;
constexpr size_t kMediaInfoSize = 20;

struct PacketHeader {
    uint32_t magic;
    int32_t type;  // high 4 bits of byte 4
    bool firstFragment;
    bool lastFragment;
    int32_t length;  // payload bytes; negative values mark a damaged header
    uint32_t sequence;
    uint64_t timestamp;
};

// Reads the header at `bytes` (at least kPacketHeaderSize of them).
PacketHeader ReadPacketHeader(const uint8_t* bytes);

// Builds the record from a media-information payload (at least kMediaInfoSize bytes).
KorvexMediaInfo ReadMediaInfo(const uint8_t* payload);

// The picture sizes that a TCP stream's media information may announce.
bool IsAcceptedPictureSize(int32_t width, int32_t height);

// Where the parsers hand their results: the stream's callbacks and the session's event callback.
// Any pointer may be null; a null session drops the data-loss reports.
struct StreamOutput {
    KorvexSession* session;
    KorvexStream* stream;
    KorvexMediaInfoCallback onMediaInfo;
    KorvexFrameCallback onFrame;
    void* user;

    void mediaInfo(const KorvexMediaInfo& info) const;
    void frame(int32_t type, const uint8_t* data, int32_t length, uint64_t timestamp) const;
    void dataLost() const;
};

// Per-connection state of the TCP parser.
struct TcpParserState {
    bool mediaInfoSeen = false;  // an accepted media-information record arrived
    bool keyFrameSeen = false;   // a type-1 packet arrived; frames flow from it on
    size_t framesDelivered = 0;
};

constexpr long kParserFailed = -1;

// Parses the packets in bytes[0, fill): each packet is one whole frame. Bytes before a magic are
// skipped one at a time. Returns the number of bytes consumed (the rest is an incomplete packet
// or fewer than a header's bytes), or kParserFailed when a frame arrives before any accepted
// media information (the connection is then to end).
long ParseTcpPackets(const uint8_t* bytes, size_t fill, TcpParserState& state,
                     const StreamOutput& output);

// The frame being assembled from UDP fragments, in `buffer` of `capacity` bytes; one per
// connection.
struct FrameAssembly {
    uint8_t* buffer;
    size_t capacity;
    size_t fill = 0;  // bytes of the frame so far
    int32_t frameType = 0;
    uint32_t lastSequence = 0;  // 0: no packet yet on this connection
    uint64_t frameTimestamp = 0;
    size_t framesDelivered = 0;  // media information not counted
};

// Assembles frames from the packets in bytes[0, held) and delivers every finished one. Reports a
// sequence gap, a frame left unfinished and a frame cut at `capacity` as data loss. Returns the
// number of bytes consumed; the rest is an incomplete packet or fewer than a header's bytes.
size_t AssembleUdpFragments(const uint8_t* bytes, size_t held, FrameAssembly& frame,
                            const StreamOutput& output);

// The largest datagram a UDP stream takes; a larger one is an error that ends the attempt.
constexpr size_t kLargestDatagram = 4096;

// Datagram bytes received and not yet consumed, handled as one stream of bytes. There is room for
// the held bytes plus one largest datagram, so that a full datagram always fits behind the few
// stray bytes that the assembler has to keep.
struct DatagramBuffer {
    uint8_t bytes[2 * kLargestDatagram];
    size_t held = 0;

    // Where the next datagram goes; kLargestDatagram bytes are free there.
    uint8_t* next() { return bytes + held; }
    // Takes in the `count` bytes just written at next(): assembles and delivers what they
    // complete and keeps the rest. Held bytes that outgrow one largest datagram without making a
    // packet are dropped, so that the next datagram has its room.
    void take(size_t count, FrameAssembly& frame, const StreamOutput& output);
};

}  // namespace korvex
