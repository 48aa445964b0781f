// The receive thread of a TCP stream: the packets arrive on the control connection itself.
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
void ReceiveTcp(KorvexStream& stream) {
    const StreamOutput output = stream.output();
    const SocketHandle socket = stream.controlSocket.get();
    uint8_t* const buffer = stream.buffer.get();
    TcpParserState parser;
    size_t fill = 0;
    int emptyRounds = 0;
    int chunksWithoutMediaInfo = 0;
    while (stream.isRunning() && emptyRounds < kEmptyRoundsToEnd) {
        long received = stream.waitUnlessStopped(kReceiveWaitMs, [&](int milliseconds) {
            return ReceiveWithTimeout(socket, buffer + fill, stream.capacity - fill, milliseconds);
        });
        if (received < 0) {
            return;
        }
        if (received == 0) {
            ++emptyRounds;  // silence, or the device closed the connection
            continue;
        }
        fill += static_cast<size_t>(received);
        long consumed = ParseTcpPackets(buffer, fill, parser, output);
        if (consumed == kParserFailed) {
            return;
        }
        if (!parser.mediaInfoSeen) {
            if (chunksWithoutMediaInfo == kChunksWithoutMediaInfo) {
                return;
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
        emptyRounds = 0;
    }
}

}  // namespace

void RunTcpLoop(KorvexStream& stream) {
    while (stream.isRunning()) {
        stream.notify(KORVEX_STREAM_CONNECTING);
        stream.controlSocket.reset(ConnectWithTimeout(stream.session->host, stream.session->port,
                                                      kTcpConnectTimeoutMs, &stream.stopWaker));
        if (!stream.controlSocket) {
            stream.notify(KORVEX_STREAM_CONNECT_FAILED);
            stream.pause(kTcpConnectFailedPauseMs);
            continue;
        }
        if (!PlayExchange(stream)) {
            stream.endAttempt();
            stream.pause(kRetryPauseMs);
            continue;
        }
        SetReceiveBufferSize(stream.controlSocket.get(), kStreamSocketBufferBytes);
        stream.notify(KORVEX_STREAM_STARTED);
        ReceiveTcp(stream);
        stream.notify(KORVEX_STREAM_ENDED);
        if (stream.onStreamEnd != nullptr) {
            stream.onStreamEnd(stream.session, &stream, stream.user);
        }
        stream.endAttempt();  // and reconnect at once
    }
}

}  // namespace korvex
