// Many start/stop cycles against a device that streams all the time: every socket is closed and
// every thread ended, on both transports, whatever the stream was doing when it was stopped. And a
// stop is prompt also while a connection attempt hangs.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Korvex.h"
#include "fake_device.h"
#include "stream_test_support.h"
#include "test_platform.h"

namespace korvex {
namespace {

using namespace std::chrono_literals;
using test::kWholeFrame;
using test::MediaInfoPayload;
using test::Packet;
using test::Report;
using test::StreamRecorder;
using Clock = std::chrono::steady_clock;

using test::OpenHandleCount;
using test::RawSocket;
using test::ThreadCount;

// True once the peer has closed `socket` (or it failed). The stream sends nothing, so a readable
// socket has reached its end.
bool PeerClosed(RawSocket socket) {
    pollfd entry{socket, POLLIN, 0};
    if (test::PollSockets(&entry, 1, 0) <= 0) {
        return false;
    }
    char byte;
    return test::ReceiveBytes(socket, &byte, 1) <= 0;
}

// A device that answers PLAY and streams media information and key frames every 2 ms, on the
// control connection or to the requested port, until the stream goes away (at most 10 s).
test::Reply StreamForever() {
    test::Reply reply = test::Answer(test::OkResponse());
    reply.closeAfter = false;
    reply.then = [](RawSocket socket, const std::string& request) {
        const std::string tcpBatch =
            Packet(KORVEX_PACKET_MEDIA_INFO, MediaInfoPayload(1920, 1080)) +
            Packet(KORVEX_PACKET_KEY_FRAME, std::string(2000, 'k'));
        int port = test::RequestedPort(request);
        RawSocket sender = test::OpenSocket(SOCK_DGRAM);
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_port = htons(static_cast<uint16_t>(port));
        target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        auto deadline = Clock::now() + 10s;
        for (uint32_t sequence = 1; Clock::now() < deadline && !PeerClosed(socket); ++sequence) {
            if (port > 0) {
                std::string datagram = Packet(KORVEX_PACKET_KEY_FRAME, std::string(1000, 'u'),
                                              sequence, sequence, kWholeFrame);
                ::sendto(sender, datagram.data(), static_cast<int>(datagram.size()), 0,
                         reinterpret_cast<const sockaddr*>(&target), sizeof target);
            } else if (test::SendBytes(socket, tcpBatch.data(), tcpBatch.size()) < 0) {
                break;  // blocks only while the stream reads no more, until it closes
            }
            std::this_thread::sleep_for(2ms);
        }
        test::CloseRawSocket(sender);
    };
    return reply;
}

TEST(StreamLifecycle, StartStopCyclesLeaveNoSocketOrThreadBehind) {
    constexpr int kCycles = 200;
    StreamRecorder recorder;
    test::FakeDevice device;
    device.setDefaultReply(StreamForever());
    KorvexSession* session = recorder.login(device.port());
    const size_t handles = OpenHandleCount();
    const size_t threads = ThreadCount();
    if (handles == 0) {
        std::printf("this system does not count a process's handles: only threads are compared\n");
    }

    auto started = Clock::now();
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        KorvexPlayParams params =
            recorder.params(cycle % 2 == 0 ? KORVEX_TRANSPORT_TCP : KORVEX_TRANSPORT_UDP);
        size_t framesBefore = recorder.count(Report::kFrame);
        KorvexStream* stream = KORVEX_StartPlay(session, &params);
        ASSERT_NE(stream, nullptr);
        // Stopped while frames flow; every fourth cycle as soon as it was started.
        if (cycle % 4 != 3) {
            ASSERT_TRUE(recorder.waitFor(Report::kFrame, -1, framesBefore + 1, 5s))
                << "cycle " << cycle;
        }
        KORVEX_StopPlay(session, stream);
    }
    auto took = Clock::now() - started;
    EXPECT_LT(took, 60s);

    // The device's side of each connection closes once the stream has closed its own.
    EXPECT_TRUE(device.waitForClosedConnections(device.connectionCount(), 10s));
    EXPECT_TRUE(test::WaitUntil(
        [&] { return OpenHandleCount() == handles && ThreadCount() == threads; }, 10s))
        << "descriptors or handles " << handles << " -> " << OpenHandleCount() << ", threads "
        << threads << " -> " << ThreadCount();
    KORVEX_Logout(session);
}

// A device that drops SYNs holds a connection attempt for its whole wait (1 s on TCP, 3 s on UDP).
// A stop at its start, in its middle or near its end returns at once all the same, after the
// attempt's event 1, and nothing follows.
TEST(StreamLifecycle, StopPlayCutsAHangingConnectionAttemptShort) {
    test::SynDroppingListener device;
    for (auto [transport, attemptMs] :
         {std::pair{KORVEX_TRANSPORT_TCP, 1000}, std::pair{KORVEX_TRANSPORT_UDP, 3000}}) {
        Clock::duration worst{};
        for (int stopAfterMs : {0, attemptMs / 2, attemptMs - 200}) {
            StreamRecorder recorder;
            KorvexSession* session = recorder.login(device.port());
            KorvexPlayParams params = recorder.params(transport);
            KorvexStream* stream = KORVEX_StartPlay(session, &params);
            ASSERT_NE(stream, nullptr);
            ASSERT_TRUE(recorder.waitFor(Report::kEvent, KORVEX_STREAM_CONNECTING, 1, 2s));
            // Event 1 would mean that the attempt is over: it must still be waiting.
            ASSERT_FALSE(recorder.waitFor(Report::kEvent, KORVEX_STREAM_CONNECT_FAILED, 1,
                                          std::chrono::milliseconds(stopAfterMs)))
                << "transport " << transport << ": the attempt ended by itself";
            auto started = Clock::now();
            KORVEX_StopPlay(session, stream);
            auto took = Clock::now() - started;
            worst = std::max(worst, took);
            EXPECT_LT(took, 150ms) << "transport " << transport << ", stopped " << stopAfterMs
                                   << " ms into the attempt";
            EXPECT_EQ(recorder.texts(), (std::vector<std::string>{"event 0", "event 1"}));
            KORVEX_Logout(session);
        }
        std::printf("transport %d: slowest StopPlay during a connection attempt %.1f ms\n",
                    transport, std::chrono::duration<double, std::milli>(worst).count());
    }
}

}  // namespace
}  // namespace korvex
