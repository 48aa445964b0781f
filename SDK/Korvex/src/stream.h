// The live stream: the record behind a KorvexStream handle, its start and stop, and what the TCP
// and UDP receive loops share (events, pauses that a stop cuts short, the PLAY exchange).
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "Korvex.h"
#include "platform.h"
#include "session.h"
#include "stream_packets.h"

namespace korvex {

// TCP receive buffer or UDP frame assembly: the largest frame the header promises to pass on.
constexpr size_t kStreamBufferSize = KORVEX_MAX_FRAME_SIZE;
constexpr int kStreamSocketBufferBytes = 2097152;  // SO_RCVBUF of the receiving socket
constexpr int kFirstUdpPort = 25000;
constexpr int kLastUdpPort = 44999;
constexpr int kRetryPauseMs = 1000;  // after a refused or unanswered PLAY
constexpr int kReceiveWaitMs = 1000;
constexpr int kEmptyRoundsToEnd = 3;
// Connections in a row that may end without a frame and still be followed by a new one at once;
// after more, each next attempt waits as after a failed connection, so that a device that
// accepts PLAY and breaks off sees about one attempt a second rather than a storm.
constexpr int kQuickFailuresAtOnce = 2;
// Long waits are split into steps of this length so that a stop is seen within one step.
constexpr int kStopCheckMs = 50;

}  // namespace korvex

// NOLINTNEXTLINE(cert-msc32-c,cert-msc51-cpp): StartPlay starts portGenerator from an unpredictable value
struct KorvexStream {
    KorvexSession* session = nullptr;
    int32_t channel = 0;
    int32_t transport = KORVEX_TRANSPORT_TCP;
    KorvexMediaInfoCallback onMediaInfo = nullptr;
    KorvexFrameCallback onFrame = nullptr;
    KorvexStreamEndCallback onStreamEnd = nullptr;
    void* user = nullptr;

    // Set at start, cleared by KORVEX_StopPlay from another thread.
    std::atomic<bool> running{false};
    std::thread thread;

    // Only the receive thread touches these (and the destructor, after the thread has ended).
    korvex::Socket controlSocket;
    korvex::Socket udpSocket;
    int32_t udpPort = 0;  // -1 after an attempt ended
    std::unique_ptr<uint8_t[]> buffer;
    size_t capacity = 0;
    std::mt19937 portGenerator;  // started from entropy: each stream draws its own ports

    // Wake a pause and a connection attempt when the stream is stopped.
    std::mutex pauseMutex;
    std::condition_variable pauseWake;
    korvex::Waker stopWaker;

    bool isRunning() const { return running.load(std::memory_order_acquire); }

    void notify(int32_t event) { korvex::NotifySession(*session, event); }

    korvex::StreamOutput output() { return {session, this, onMediaInfo, onFrame, user}; }

    // Sleeps for `milliseconds`, or less when the stream is stopped meanwhile.
    void pause(int milliseconds);

    // Calls wait(ms) for steps of at most kStopCheckMs, in all totalMs, until it reports something
    // (a non-zero result, which is returned) or the stream is stopped (0). A peer that has closed
    // makes every step return 0 at once, so this too ends at once.
    template <typename Wait>
    long waitUnlessStopped(int totalMs, Wait wait) {
        for (int waited = 0; waited < totalMs && isRunning(); waited += korvex::kStopCheckMs) {
            long result = wait(std::min(korvex::kStopCheckMs, totalMs - waited));
            if (result != 0) {
                return result;
            }
        }
        return 0;
    }

    // After an attempt: both sockets closed, no port.
    void endAttempt();
};

namespace korvex {

// Starts the stream's receive thread. Null when the transport is neither TCP nor UDP, or when
// memory, the stop's waker or the thread cannot be had.
KorvexStream* StartPlay(KorvexSession& session, const KorvexPlayParams& params);

// Stops the receive thread (cutting its connection attempt, pauses and waits short), joins it and
// frees the stream.
void StopPlay(KorvexStream* stream);

// The PLAY request; RPORT only for the UDP transport. Returns its length, or -1 when it does not
// fit in capacity - 1 characters.
int FormatPlayRequest(char* out, size_t capacity, int32_t channel, int32_t transport,
                      int32_t udpPort);

// A port drawn from 25000..44999 with the stream's own generator.
int DrawUdpPort(std::mt19937& generator);

// Opens `socket` on a drawn port and returns the port. A port that is taken (by another stream or
// program) is drawn again a few times, so that the device is never told to stream into a socket
// that someone else reads; when every draw is taken, `socket` stays closed and the last port is
// returned.
int OpenUdpReceiverOnFreshPort(std::mt19937& generator, Socket& socket);

// On the freshly connected controlSocket: (UDP) opens udpSocket on a fresh udpPort, sends PLAY
// and tests the answer. True when the device answered "HDMI/1.0 200 OK".
bool PlayExchange(KorvexStream& stream);

// What the receive loop needs of a transport.
struct StreamTransport {
    int connectTimeoutMs;
    // After a failed connection, and after more than kQuickFailuresAtOnce connections in a row
    // that brought no frame.
    int connectFailedPauseMs;
    // The socket whose receive buffer is raised for the stream.
    Socket KorvexStream::*receivingSocket;
    // Receives on the established attempt until it ends (silence, an error, a stop, or what the
    // transport cannot go on with). Returns the number of frames it delivered.
    size_t (*receive)(KorvexStream& stream);
};

// The receive rounds of an established attempt, for both transports: `receive(ms)` waits up to
// ms for what arrives (its result: bytes, 0 for nothing, below 0 for an error) and `take(bytes)`
// handles it, false when the attempt cannot go on. Ends at a stop, an error, a false take, or
// kEmptyRoundsToEnd rounds of kReceiveWaitMs in a row that bring nothing (silence, or a peer that
// has closed).
template <typename Receive, typename Take>
void ReceiveUntilSilent(KorvexStream& stream, Receive receive, Take take) {
    int emptyRounds = 0;
    while (stream.isRunning() && emptyRounds < kEmptyRoundsToEnd) {
        const long received = stream.waitUnlessStopped(kReceiveWaitMs, receive);
        if (received < 0) {
            return;
        }
        if (received == 0) {
            ++emptyRounds;
            continue;
        }
        if (!take(static_cast<size_t>(received))) {
            return;
        }
        emptyRounds = 0;
    }
}

extern const StreamTransport kTcpTransport;  // stream_tcp.cpp
extern const StreamTransport kUdpTransport;  // stream_udp.cpp

// The body of the receive thread: connect, PLAY, receive, and again, until the stream is stopped.
void RunStreamLoop(KorvexStream& stream, const StreamTransport& transport);

}  // namespace korvex
