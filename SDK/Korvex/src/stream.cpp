#include "stream.h"

#include <chrono>
#include <new>

#include "exchange.h"

namespace korvex {

namespace {

constexpr int kPlaySendTimeoutMs = 4000;
constexpr int kPlayAnswerTimeoutMs = 4000;
constexpr int kPortDraws = 16;

uint32_t UnpredictableStart(const void* stream) {
    try {
        return std::random_device{}();
    } catch (...) {
        // No entropy source: the clock and the record's address still differ between streams.
        auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
        return static_cast<uint32_t>(ticks) ^
               static_cast<uint32_t>(reinterpret_cast<uintptr_t>(stream));
    }
}

void RunStream(KorvexStream* stream) {
    RunStreamLoop(*stream,
                  stream->transport == KORVEX_TRANSPORT_UDP ? kUdpTransport : kTcpTransport);
}

}  // namespace

int FormatPlayRequest(char* out, size_t capacity, int32_t channel, int32_t transport,
                      int32_t udpPort) {
    RequestWriter request(out, capacity, "PLAY");
    request.authorization()
        .header("CHN", channel)
        .header("STREAM", 0)
        .header("TRANSPORT", transport);
    if (transport == KORVEX_TRANSPORT_UDP) {
        request.header("RPORT", udpPort);
    }
    return request.finish();
}

int DrawUdpPort(std::mt19937& generator) {
    return std::uniform_int_distribution<int>(kFirstUdpPort, kLastUdpPort)(generator);
}

int OpenUdpReceiverOnFreshPort(std::mt19937& generator, Socket& socket) {
    int port = 0;
    for (int draw = 0; draw < kPortDraws; ++draw) {
        port = DrawUdpPort(generator);
        socket.reset(OpenUdpReceiver(port));
        if (socket) {
            break;
        }
    }
    return port;
}

bool PlayExchange(KorvexStream& stream) {
    if (stream.transport == KORVEX_TRANSPORT_UDP) {
        // Whether the port could be opened is not tested here: reception then fails at once.
        stream.udpPort = OpenUdpReceiverOnFreshPort(stream.portGenerator, stream.udpSocket);
    }
    char request[kRequestBufferSize];
    int length = FormatPlayRequest(request, sizeof request, stream.channel, stream.transport,
                                   stream.udpPort);
    if (length < 0) {
        return false;
    }
    SocketHandle socket = stream.controlSocket.get();
    long sent = stream.waitUnlessStopped(kPlaySendTimeoutMs, [&](int milliseconds) {
        return SendWithTimeout(socket, request, static_cast<size_t>(length), milliseconds);
    });
    if (sent != length) {
        return false;
    }
    // One receive: stream bytes that come along with the answer are dropped.
    char answer[kResponseBufferSize] = {};
    long received = stream.waitUnlessStopped(kPlayAnswerTimeoutMs, [&](int milliseconds) {
        return ReceiveWithTimeout(socket, answer, sizeof answer, milliseconds);
    });
    return received > 0 && IsOkResponse(answer, static_cast<size_t>(received));
}

void RunStreamLoop(KorvexStream& stream, const StreamTransport& transport) {
    int framelessInARow = 0;
    while (stream.isRunning()) {
        stream.notify(KORVEX_STREAM_CONNECTING);
        stream.controlSocket.reset(ConnectWithTimeout(stream.session->host, stream.session->port,
                                                      transport.connectTimeoutMs,
                                                      &stream.stopWaker));
        if (!stream.controlSocket) {
            stream.notify(KORVEX_STREAM_CONNECT_FAILED);
            stream.pause(transport.connectFailedPauseMs);
            continue;
        }
        if (!PlayExchange(stream)) {
            stream.endAttempt();
            stream.pause(kRetryPauseMs);
            continue;
        }
        SetReceiveBufferSize((stream.*transport.receivingSocket).get(), kStreamSocketBufferBytes);
        stream.notify(KORVEX_STREAM_STARTED);
        const size_t frames = transport.receive(stream);
        stream.notify(KORVEX_STREAM_ENDED);
        if (stream.onStreamEnd != nullptr) {
            stream.onStreamEnd(stream.session, &stream, stream.user);
        }
        stream.endAttempt();
        // A stream that ran is followed at once; one that broke off before its first frame only
        // a few times in a row.
        framelessInARow = frames > 0 ? 0 : framelessInARow + 1;
        if (framelessInARow > kQuickFailuresAtOnce) {
            stream.pause(transport.connectFailedPauseMs);
        }
    }
}

KorvexStream* StartPlay(KorvexSession& session, const KorvexPlayParams& params) {
    if (params.transport != KORVEX_TRANSPORT_TCP && params.transport != KORVEX_TRANSPORT_UDP) {
        return nullptr;
    }
    std::unique_ptr<KorvexStream> stream(new (std::nothrow) KorvexStream());
    if (!stream) {
        return nullptr;
    }
    stream->session = &session;
    stream->channel = params.channel;
    stream->transport = params.transport;
    stream->onMediaInfo = params.onMediaInfo;
    stream->onFrame = params.onFrame;
    stream->onStreamEnd = params.onStreamEnd;
    stream->user = params.user;
    stream->buffer.reset(new (std::nothrow) uint8_t[kStreamBufferSize]);
    if (!stream->buffer || !stream->stopWaker.valid()) {
        return nullptr;
    }
    stream->capacity = kStreamBufferSize;
    stream->portGenerator = std::mt19937(UnpredictableStart(stream.get()));
    stream->running.store(true, std::memory_order_release);
    try {
        stream->thread = std::thread(RunStream, stream.get());
    } catch (...) {
        // No thread (std::system_error), or no memory for its start (std::bad_alloc).
        return nullptr;
    }
    return stream.release();
}

void StopPlay(KorvexStream* stream) {
    {
        // Cleared under the pause's lock, so that a pause about to wait cannot miss the wake-up.
        std::lock_guard<std::mutex> lock(stream->pauseMutex);
        stream->running.store(false, std::memory_order_release);
    }
    stream->pauseWake.notify_all();
    stream->stopWaker.wake();
    if (stream->thread.joinable()) {
        stream->thread.join();
    }
    delete stream;  // closes whatever socket is still open and frees the buffer
}

}  // namespace korvex

void KorvexStream::pause(int milliseconds) {
    std::unique_lock<std::mutex> lock(pauseMutex);
    pauseWake.wait_for(lock, std::chrono::milliseconds(milliseconds),
                       [this] { return !isRunning(); });
}

void KorvexStream::endAttempt() {
    controlSocket.reset();
    udpSocket.reset();
    udpPort = -1;
}
