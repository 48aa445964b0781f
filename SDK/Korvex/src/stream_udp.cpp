// UDP transport of a stream: the control connection only carries the PLAY exchange and then stays
// open, idle; the packets arrive as datagrams on the port that PLAY named, from the device's own
// address (datagrams from anywhere else are not the device's stream and are dropped unread).
#include "stream.h"

namespace korvex {

namespace {

constexpr int kUdpConnectTimeoutMs = 3000;
constexpr int kUdpConnectFailedPauseMs = 3000;

// Receives and assembles until the attempt ends (silence, a socket error, a datagram larger than
// kLargestDatagram, or a stop). The partly assembled frame and the held bytes end with it.
size_t ReceiveUdp(KorvexStream& stream) {
    const StreamOutput output = stream.output();
    const SocketHandle socket = stream.udpSocket.get();  // none when the port was taken
    HostAddress device = 0;
    if (!PeerAddress(stream.controlSocket.get(), &device)) {
        return 0;
    }
    DatagramBuffer datagrams;
    FrameAssembly frame{stream.buffer.get(), stream.capacity};
    ReceiveUntilSilent(
        stream,
        [&](int milliseconds) {
            return ReceiveDatagramWithTimeout(socket, datagrams.next(), kLargestDatagram,
                                              milliseconds, device);
        },
        [&](size_t received) {
            datagrams.take(received, frame, output);
            return true;
        });
    return frame.framesDelivered;
}

}  // namespace

const StreamTransport kUdpTransport{kUdpConnectTimeoutMs, kUdpConnectFailedPauseMs,
                                    &KorvexStream::udpSocket, ReceiveUdp};

}  // namespace korvex
