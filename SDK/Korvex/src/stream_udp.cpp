// The receive thread of a UDP stream: the control connection only carries the PLAY exchange and
// then stays open, idle; the packets arrive as datagrams on the port that PLAY named.
#include "stream.h"

namespace korvex {

namespace {

constexpr int kUdpConnectTimeoutMs = 3000;
constexpr int kUdpConnectFailedPauseMs = 3000;

// Receives and assembles until the attempt ends (silence, a socket error, a datagram larger than
// kLargestDatagram, or a stop).
void ReceiveUdp(KorvexStream& stream, DatagramBuffer& datagrams, FrameAssembly& frame) {
    const StreamOutput output = stream.output();
    const SocketHandle socket = stream.udpSocket.get();  // none when the port was taken
    int emptyRounds = 0;
    while (stream.isRunning() && emptyRounds < kEmptyRoundsToEnd) {
        long received = stream.waitUnlessStopped(kReceiveWaitMs, [&](int milliseconds) {
            return ReceiveDatagramWithTimeout(socket, datagrams.next(), kLargestDatagram,
                                              milliseconds);
        });
        if (received < 0) {
            return;
        }
        if (received == 0) {
            ++emptyRounds;
            continue;
        }
        datagrams.take(static_cast<size_t>(received), frame, output);
        emptyRounds = 0;
    }
}

}  // namespace

void RunUdpLoop(KorvexStream& stream) {
    DatagramBuffer datagrams;
    FrameAssembly frame{stream.buffer.get(), stream.capacity};
    while (stream.isRunning()) {
        stream.notify(KORVEX_STREAM_CONNECTING);
        stream.controlSocket.reset(ConnectWithTimeout(stream.session->host, stream.session->port,
                                                      kUdpConnectTimeoutMs, &stream.stopWaker));
        if (!stream.controlSocket) {
            stream.notify(KORVEX_STREAM_CONNECT_FAILED);
            stream.pause(kUdpConnectFailedPauseMs);
            continue;
        }
        if (!PlayExchange(stream)) {
            stream.endAttempt();
            stream.pause(kRetryPauseMs);
            continue;
        }
        SetReceiveBufferSize(stream.udpSocket.get(), kStreamSocketBufferBytes);
        frame.reset();
        stream.notify(KORVEX_STREAM_STARTED);
        ReceiveUdp(stream, datagrams, frame);
        stream.notify(KORVEX_STREAM_ENDED);
        if (stream.onStreamEnd != nullptr) {
            stream.onStreamEnd(stream.session, &stream, stream.user);
        }
        stream.endAttempt();
        // The partly assembled frame and the held bytes belong to the ended attempt.
        frame.fill = 0;
        datagrams.held = 0;
    }
}

}  // namespace korvex
