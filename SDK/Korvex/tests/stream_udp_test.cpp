// The UDP stream through the exported interface: the port named in PLAY, reassembly and loss
// reports on the real socket, ports of streams started together, and how attempts end.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "Korvex.h"
#include "fake_device.h"
#include "stream_test_support.h"

namespace korvex {
namespace {

using namespace std::chrono_literals;
using test::FakeDevice;
using test::kFirstFragment;
using test::kLastFragment;
using test::kWholeFrame;
using test::MediaInfoPayload;
using test::Packet;
using test::Payload;
using test::Report;
using test::RequestedPort;
using test::StreamRecorder;
using test::StreamUdp;
using Clock = std::chrono::steady_clock;

// A reply that accepts PLAY and then keeps the control connection open, idle.
test::Reply AcceptAndIdle() {
    test::Reply reply = test::Answer(test::OkResponse());
    reply.closeAfter = false;
    return reply;
}

class UdpStreamTest : public ::testing::Test {
  protected:
    UdpStreamTest() : session_(recorder_.login(device_.port())) {
        device_.setDefaultReply(AcceptAndIdle());
    }
    ~UdpStreamTest() override {
        stop();
        KORVEX_Logout(session_);
    }

    void start() {
        KorvexPlayParams params = recorder_.params(KORVEX_TRANSPORT_UDP);
        stream_ = KORVEX_StartPlay(session_, &params);
        ASSERT_NE(stream_, nullptr);
    }
    Clock::duration stop() {
        auto started = Clock::now();
        if (stream_ != nullptr) {
            KORVEX_StopPlay(session_, stream_);
            stream_ = nullptr;
        }
        return Clock::now() - started;
    }
    // The time between the first report with text `from` and the first later one with `to`.
    Clock::duration between(const std::string& from, const std::string& to) {
        auto reports = recorder_.reports();
        for (size_t i = 0; i < reports.size(); ++i) {
            if (reports[i].text() == from) {
                for (size_t j = i + 1; j < reports.size(); ++j) {
                    if (reports[j].text() == to) {
                        return reports[j].at - reports[i].at;
                    }
                }
            }
        }
        ADD_FAILURE() << "no '" << from << "' followed by '" << to << "'";
        return Clock::duration::max();
    }

    StreamRecorder recorder_;
    FakeDevice device_;
    KorvexSession* session_;
    KorvexStream* stream_ = nullptr;
};

TEST_F(UdpStreamTest, PlayNamesThePortAndItsDatagramsBecomeFrames) {
    device_.script(
        StreamUdp(recorder_, 1,
                  {Packet(KORVEX_PACKET_MEDIA_INFO, MediaInfoPayload(1024, 768), 1, 1, kWholeFrame),
                   Packet(2, "before-key", 2, 2, kWholeFrame),
                   Packet(KORVEX_PACKET_KEY_FRAME, Payload(3000, 1), 3, 3, kFirstFragment),
                   Packet(KORVEX_PACKET_KEY_FRAME, Payload(3000, 2), 3, 4),
                   Packet(KORVEX_PACKET_KEY_FRAME, Payload(100, 3), 3, 5, kLastFragment),
                   Packet(KORVEX_PACKET_AUDIO, "aac", 4, 7, kWholeFrame)}));  // 6 is missing
    start();
    ASSERT_TRUE(recorder_.waitFor(Report::kFrame, -1, 3, 5s));
    std::string request = device_.requests()[0];
    int port = RequestedPort(request);
    EXPECT_GE(port, 25000);
    EXPECT_LE(port, 44999);
    EXPECT_EQ(request,
              "PLAY HDMI/1.0\r\nAUTHORIZATION: BASIC \r\nCHN:0\r\nSTREAM:0\r\nTRANSPORT:1\r\n"
              "RPORT:" +
                  std::to_string(port) + "\r\nCONTENT-LENGTH:0\r\n\r\n");
    EXPECT_EQ(
        recorder_.texts(),
        (std::vector<std::string>{"event 0", "event 2", "media 1024x768", "frame 2 ts=2 bytes=10",
                                  "frame 1 ts=3 bytes=6100", "event 4", "frame 3 ts=4 bytes=3"}));
    auto reports = recorder_.reports();
    EXPECT_EQ(reports[4].data, Payload(3000, 1) + Payload(3000, 2) + Payload(100, 3));
    EXPECT_TRUE(reports[4].dataInBuffer);
    // The control connection stays open while datagrams arrive.
    EXPECT_EQ(recorder_.count(Report::kEvent, KORVEX_STREAM_ENDED), 0u);
    EXPECT_FALSE(device_.waitForClosedConnections(1, 0ms));
}

TEST_F(UdpStreamTest, TwoStreamsStartedAtOnceReceiveOnDifferentPorts) {
    StreamRecorder other;
    KorvexSession* otherSession = other.login(device_.port());
    KorvexPlayParams params = other.params(KORVEX_TRANSPORT_UDP);
    start();
    KorvexStream* otherStream = KORVEX_StartPlay(otherSession, &params);
    ASSERT_NE(otherStream, nullptr);
    EXPECT_TRUE(recorder_.waitFor(Report::kEvent, KORVEX_STREAM_STARTED, 1, 5s));
    EXPECT_TRUE(other.waitFor(Report::kEvent, KORVEX_STREAM_STARTED, 1, 5s));
    auto requests = device_.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(RequestedPort(requests[0]), RequestedPort(requests[1]));
    KORVEX_StopPlay(otherSession, otherStream);
    KORVEX_Logout(otherSession);
}

TEST_F(UdpStreamTest, SilenceEndsTheAttemptDropsTheOpenFrameAndReconnectsAtOnce) {
    device_.script(StreamUdp(recorder_, 1, {Packet(2, "part", 5, 1, kFirstFragment)}));
    device_.script(StreamUdp(recorder_, 2, {Packet(2, "rest", 5, 2, kLastFragment)}));
    start();
    ASSERT_TRUE(recorder_.waitFor(Report::kFrame, -1, 1, 8s));
    EXPECT_EQ(recorder_.texts(),
              (std::vector<std::string>{"event 0", "event 2", "event 3", "end", "event 0",
                                        "event 2", "frame 2 ts=5 bytes=4"}));
    EXPECT_EQ(recorder_.reports().back().data, "rest");
    auto silence = between("event 2", "event 3");
    EXPECT_GE(silence, 2900ms);
    EXPECT_LT(silence, 4500ms);
    EXPECT_LT(between("end", "event 0"), 500ms);
}

TEST_F(UdpStreamTest, StrayBytesAfterEveryFrameLetFullDatagramsThrough) {
    // Full 4096-byte datagrams, each followed by junk whose last bytes the assembler keeps.
    std::vector<test::Datagram> datagrams;
    for (uint32_t i = 1; i <= 20; ++i) {
        datagrams.push_back(
            Packet(2, Payload(4096 - 24, static_cast<uint8_t>(i)), i, i, kWholeFrame));
        datagrams.push_back(std::string(300, 'j'));
    }
    device_.script(StreamUdp(recorder_, 1, datagrams));
    start();
    ASSERT_TRUE(recorder_.waitFor(Report::kFrame, -1, 20, 5s))
        << recorder_.count(Report::kFrame) << " frames, " << recorder_.count(Report::kStreamEnd)
        << " ends";
    EXPECT_EQ(recorder_.count(Report::kEvent, KORVEX_STREAM_ENDED), 0u);
    EXPECT_EQ(recorder_.count(Report::kEvent, KORVEX_STREAM_DATA_LOST), 0u);
    EXPECT_EQ(recorder_.reports().back().data, Payload(4096 - 24, 20));
}

TEST_F(UdpStreamTest, ADatagramOverTheLargestSizeEndsTheAttempt) {
    // One byte over 4096 is not cut to fit, though the buffer has room behind the held bytes.
    device_.script(
        StreamUdp(recorder_, 1, {Packet(2, "a", 1, 1, kWholeFrame), std::string(4097, 'x')}));
    start();
    ASSERT_TRUE(recorder_.waitFor(Report::kStreamEnd, -1, 1, 5s));
    // Not cut to fit and taken for garbage: the attempt ends at once, not after the silence.
    EXPECT_LT(between("frame 2 ts=1 bytes=1", "event 3"), 1500ms);
    ASSERT_TRUE(recorder_.waitFor(Report::kEvent, KORVEX_STREAM_STARTED, 2, 5s));
}

TEST_F(UdpStreamTest, OnlyTheDevicesOwnAddressFeedsTheStream) {
    // Another local sender (127.0.0.2) aims at the same port, before, between and after the
    // device's datagrams: none of its bytes reach a frame or the sequence check.
    if (!test::LoopbackSendersAreTold()) {
        GTEST_SKIP() << "this system does not tell which loopback address a datagram came from";
    }
    device_.script(StreamUdp(
        recorder_, 1,
        {test::Datagram(Packet(KORVEX_PACKET_KEY_FRAME, "spoof", 1, 7, kWholeFrame), "127.0.0.2"),
         Packet(KORVEX_PACKET_KEY_FRAME, "real", 2, 1, kWholeFrame),
         test::Datagram(Packet(2, "spoof", 3, 9, kFirstFragment), "127.0.0.2"),
         Packet(2, "next", 4, 2, kWholeFrame),
         test::Datagram(Packet(2, "spoof", 5, 3, kWholeFrame), "127.0.0.2")}));
    start();
    ASSERT_TRUE(recorder_.waitFor(Report::kFrame, -1, 2, 5s));
    EXPECT_FALSE(recorder_.waitFor(Report::kFrame, -1, 3, 300ms));
    EXPECT_EQ(recorder_.texts(),
              (std::vector<std::string>{"event 0", "event 2", "frame 1 ts=2 bytes=4",
                                        "frame 2 ts=4 bytes=4"}));
}

TEST_F(UdpStreamTest, AnUnreachableDeviceIsRetriedAfterThreeSecondsAndStopCutsThePause) {
    KORVEX_Logout(session_);
    session_ = recorder_.login(test::RefusingPort());
    start();
    ASSERT_TRUE(recorder_.waitFor(Report::kEvent, KORVEX_STREAM_CONNECT_FAILED, 2, 6s));
    auto pause = between("event 1", "event 0");
    EXPECT_GE(pause, 2900ms);
    EXPECT_LT(pause, 4500ms);
    EXPECT_LT(stop(), 500ms);
    std::vector<std::string> texts = recorder_.texts();
    EXPECT_EQ(texts, (std::vector<std::string>{"event 0", "event 1", "event 0", "event 1"}));
}

}  // namespace
}  // namespace korvex
