// TCP transport of a stream: the packets arrive on the control connection itself.
#include <cstring>

#include "stream.h"

namespace korvex {

namespace {

constexpr int kTcpConnectTimeoutMs = 1000;
constexpr int kTcpConnectFailedPauseMs = 1000;
// A connection that brings this many chunks without an accepted media-information record is not
// going to bring one.
constexpr int kChunksWithoutMediaInfo = 3;

// Receives and parses on the established connection until it ends (silence, error, a parser
// failure, no media information, or a stop).
size_t ReceiveTcp(KorvexStream& stream) {
    const StreamOutput output = stream.output();
    const SocketHandle socket = stream.controlSocket.get();
    uint8_t* const buffer = stream.buffer.get();
    TcpParserState parser;
    size_t fill = 0;
    int chunksWithoutMediaInfo = 0;
    ReceiveUntilSilent(
        stream,
        [&](int milliseconds) {
            return ReceiveWithTimeout(socket, buffer + fill, stream.capacity - fill, milliseconds);
        },
        [&](size_t received) {
            fill += received;
            const long consumed = ParseTcpPackets(buffer, fill, parser, output);
            if (consumed == kParserFailed) {
                return false;
            }
            if (!parser.mediaInfoSeen) {
                if (chunksWithoutMediaInfo == kChunksWithoutMediaInfo) {
                    return false;
                }
                ++chunksWithoutMediaInfo;
            }
            fill -= static_cast<size_t>(consumed);
            if (consumed > 0 && fill > 0) {
                std::memmove(buffer, buffer + consumed, fill);
            }
            if (fill == stream.capacity) {
                fill = 0;  // a packet larger than the buffer: drop it and resynchronise behind it
            }
            return true;
        });
    return parser.framesDelivered;
}

}  // namespace

const StreamTransport kTcpTransport{kTcpConnectTimeoutMs, kTcpConnectFailedPauseMs,
                                    &KorvexStream::controlSocket, ReceiveTcp};

}  // namespace korvex
