// The TCP stream through the exported interface against the fake device: the PLAY request, the
// gates, resynchronisation, how connections end and restart, and how StopPlay ends a stream.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "Korvex.h"
#include "fake_device.h"
#include "stream_test_support.h"

namespace korvex {
namespace {

using namespace std::chrono_literals;
using test::Answer;
using test::FakeDevice;
using test::MediaInfoPayload;
using test::Packet;
using test::Payload;
using test::Report;
using test::StreamRecorder;
using test::StreamTcp;
using Clock = std::chrono::steady_clock;

std::string MediaInfo(int width, int height) {
    return Packet(KORVEX_PACKET_MEDIA_INFO, MediaInfoPayload(width, height));
}

// The time from the n-th report with this text to the next report.
Clock::duration GapAfter(const std::vector<Report>& reports, const std::string& text, int nth = 1) {
    for (size_t i = 0; i + 1 < reports.size(); ++i) {
        if (reports[i].text() == text && --nth == 0) {
            return reports[i + 1].at - reports[i].at;
        }
    }
    ADD_FAILURE() << "no report '" << text << "' with a successor";
    return Clock::duration::max();
}

// Recorder, device and session, in the order they must be torn down in reverse.
class TcpStreamTest : public ::testing::Test {
  protected:
    TcpStreamTest() : session_(recorder_.login(device_.port())) {
        // Connections beyond the scripted ones are accepted and never answered.
        device_.setDefaultReply(test::Silence());
    }
    ~TcpStreamTest() override {
        stop();
        KORVEX_Logout(session_);
    }

    void start(bool mediaInfo = true, int channel = 0) {
        KorvexPlayParams params = recorder_.params(KORVEX_TRANSPORT_TCP, mediaInfo);
        params.channel = channel;
        stream_ = KORVEX_StartPlay(session_, &params);
        ASSERT_NE(stream_, nullptr);
    }
    // StopPlay's duration.
    Clock::duration stop() {
        auto started = Clock::now();
        if (stream_ != nullptr) {
            KORVEX_StopPlay(session_, stream_);
            stream_ = nullptr;
        }
        return Clock::now() - started;
    }

    StreamRecorder recorder_;
    FakeDevice device_;
    KorvexSession* session_;
    KorvexStream* stream_ = nullptr;
};

TEST_F(TcpStreamTest, PlaysFromTheFirstKeyFrameOnWithFramesInPlace) {
    device_.script(StreamTcp(recorder_, 1,
                             {MediaInfo(1920, 1080) + Packet(2, "before-key", 1) +
                              Packet(KORVEX_PACKET_AUDIO, "audio-before", 1) +
                              Packet(KORVEX_PACKET_KEY_FRAME, Payload(5000), 2) +
                              Packet(2, "p", 3) + Packet(KORVEX_PACKET_AUDIO, "aac", 3)}));
    start(true, 5);
    ASSERT_TRUE(recorder_.waitFor(Report::kFrame, -1, 3, 5s));
    EXPECT_EQ(device_.requests()[0],
              "PLAY HDMI/1.0\r\nAUTHORIZATION: BASIC \r\nCHN:5\r\nSTREAM:0\r\nTRANSPORT:0\r\n"
              "CONTENT-LENGTH:0\r\n\r\n");
    stop();
    EXPECT_EQ(recorder_.texts(),
              (std::vector<std::string>{"event 0", "event 2", "media 1920x1080",
                                        "frame 1 ts=2 bytes=5000", "frame 2 ts=3 bytes=1",
                                        "frame 3 ts=3 bytes=3", "event 3", "end"}));
    for (const Report& report : recorder_.reports()) {
        if (report.kind == Report::kFrame) {
            EXPECT_TRUE(report.dataInBuffer) << report.text();
        }
    }
    EXPECT_EQ(recorder_.reports()[3].data, Payload(5000));
}

TEST_F(TcpStreamTest, AnUnknownPictureSizeEndsTheConnectionAtTheFirstFrameAndItReconnectsAtOnce) {
    device_.script(
        StreamTcp(recorder_, 1, {MediaInfo(1024, 768) + Packet(KORVEX_PACKET_KEY_FRAME, "k", 1)}));
    device_.script(
        StreamTcp(recorder_, 2, {MediaInfo(1280, 720) + Packet(KORVEX_PACKET_KEY_FRAME, "k", 2)}));
    start();
    ASSERT_TRUE(recorder_.waitFor(Report::kFrame, -1, 1, 5s));
    EXPECT_EQ(recorder_.texts(),
              (std::vector<std::string>{"event 0", "event 2", "event 3", "end", "event 0",
                                        "event 2", "media 1280x720", "frame 1 ts=2 bytes=1"}));
    EXPECT_LT(GapAfter(recorder_.reports(), "end"), 500ms);  // no pause before reconnecting
}

TEST_F(TcpStreamTest, WithoutAMediaInfoCallbackEveryConnectionEndsAtItsFirstFrame) {
    for (size_t connection = 1; connection <= 2; ++connection) {
        device_.script(StreamTcp(recorder_, connection,
                                 {MediaInfo(1920, 1080) + Packet(KORVEX_PACKET_KEY_FRAME, "k")}));
    }
    start(false);
    ASSERT_TRUE(recorder_.waitFor(Report::kStreamEnd, -1, 2, 5s));
    EXPECT_EQ(recorder_.count(Report::kFrame), 0u);
    EXPECT_EQ(recorder_.count(Report::kMediaInfo), 0u);
}

TEST_F(TcpStreamTest, ChunksWithoutMediaInfoEndTheConnectionAtTheFourth) {
    // Garbage only: three chunks are borne, the fourth ends it (six are sent, in case two
    // arrive together).
    device_.script(StreamTcp(recorder_, 1, {"aaaa", "bbbb", "cccc", "dddd", "eeee", "ffff"}, 150));
    start();
    ASSERT_TRUE(recorder_.waitFor(Report::kStreamEnd, -1, 1, 5s));
    auto reports = recorder_.reports();
    // Ended by the fourth chunk, not by three seconds of silence.
    EXPECT_LT(reports[2].at - reports[1].at, 2s);
}

TEST_F(TcpStreamTest, SkipsGarbageAndParsesASplitPacketOnceComplete) {
    std::string key = Packet(KORVEX_PACKET_KEY_FRAME, Payload(3000), 4);
    device_.script(StreamTcp(recorder_, 1,
                             {"xyz" + MediaInfo(720, 576) + key.substr(0, 1000),
                              // ... and an empty packet that ends exactly where the bytes end
                              key.substr(1000) + Packet(2, "", 5)},
                             100));
    start();
    ASSERT_TRUE(recorder_.waitFor(Report::kFrame, -1, 2, 3s));
    auto reports = recorder_.reports();
    EXPECT_EQ(reports[3].text(), "frame 1 ts=4 bytes=3000");
    EXPECT_EQ(reports[3].data, Payload(3000));
    EXPECT_EQ(reports[4].text(), "frame 2 ts=5 bytes=0");
    EXPECT_EQ(recorder_.count(Report::kFrame), 2u);
}

TEST_F(TcpStreamTest, APacketLargerThanTheBufferIsDroppedAndReceptionGoesOn) {
    const size_t buffer = 4194304;
    int64_t claimed = 5 * 1024 * 1024;
    std::string oversized = Packet(2, std::string(buffer, '\0'), 2, 0, 0, &claimed);
    device_.script(StreamTcp(recorder_, 1,
                             {MediaInfo(1920, 1080) + Packet(KORVEX_PACKET_KEY_FRAME, "k", 1),
                              oversized + Packet(2, "after", 3)},
                             50));
    start();
    ASSERT_TRUE(recorder_.waitFor(Report::kFrame, -1, 2, 10s));
    EXPECT_EQ(recorder_.texts(),
              (std::vector<std::string>{"event 0", "event 2", "media 1920x1080",
                                        "frame 1 ts=1 bytes=1", "frame 2 ts=3 bytes=5"}));
}

TEST_F(TcpStreamTest, SilenceEndsTheConnectionAfterThreeSecondsAndItReconnectsAtOnce) {
    device_.script(
        StreamTcp(recorder_, 1, {MediaInfo(1920, 1080) + Packet(KORVEX_PACKET_KEY_FRAME, "k", 1)}));
    device_.script(StreamTcp(recorder_, 2, {}));
    start();
    ASSERT_TRUE(recorder_.waitFor(Report::kEvent, KORVEX_STREAM_STARTED, 2, 8s));
    auto reports = recorder_.reports();
    EXPECT_EQ(recorder_.texts(), (std::vector<std::string>{"event 0", "event 2", "media 1920x1080",
                                                           "frame 1 ts=1 bytes=1", "event 3", "end",
                                                           "event 0", "event 2"}));
    auto silence = GapAfter(reports, "frame 1 ts=1 bytes=1");
    EXPECT_GE(silence, 2900ms);
    EXPECT_LT(silence, 4500ms);
    EXPECT_LT(GapAfter(reports, "end"), 500ms);
}

TEST_F(TcpStreamTest, ADeviceThatClosesEndsTheConnectionAtOnce) {
    device_.script(StreamTcp(
        recorder_, 1, {MediaInfo(1920, 1080) + Packet(KORVEX_PACKET_KEY_FRAME, "k", 1)}, 0, false));
    start();
    ASSERT_TRUE(recorder_.waitFor(Report::kStreamEnd, -1, 1, 5s));
    EXPECT_LT(GapAfter(recorder_.reports(), "frame 1 ts=1 bytes=1"), 1s);
}

TEST_F(TcpStreamTest, StopPlayReturnsPromptlyAfterEventThreeAndStreamEnd) {
    device_.script(
        StreamTcp(recorder_, 1, {MediaInfo(1920, 1080) + Packet(KORVEX_PACKET_KEY_FRAME, "k", 1)}));
    start();
    ASSERT_TRUE(recorder_.waitFor(Report::kFrame, -1, 1, 5s));
    auto took = stop();
    // Everything was reported before StopPlay returned, in this order, and nothing after.
    std::vector<std::string> texts = recorder_.texts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[texts.size() - 2], "event 3");
    EXPECT_EQ(texts.back(), "end");
    EXPECT_LT(took, 700ms);  // a receive wait does not hold the caller for its whole second
    EXPECT_TRUE(device_.waitForClosedConnections(1, 2s));
    EXPECT_EQ(recorder_.texts().size(), texts.size());
}

TEST_F(TcpStreamTest, MissingHandlesAndUnknownTransportsDoNothing) {
    KorvexPlayParams params = recorder_.params(KORVEX_TRANSPORT_TCP);
    EXPECT_EQ(KORVEX_StartPlay(nullptr, &params), nullptr);
    EXPECT_EQ(KORVEX_StartPlay(session_, nullptr), nullptr);
    params.transport = 2;
    EXPECT_EQ(KORVEX_StartPlay(session_, &params), nullptr);
    KORVEX_StopPlay(nullptr, nullptr);
    KORVEX_StopPlay(session_, nullptr);
    EXPECT_EQ(device_.connectionCount(), 0u);

    device_.script(StreamTcp(recorder_, 1, {}));
    start();
    ASSERT_TRUE(recorder_.waitFor(Report::kEvent, KORVEX_STREAM_STARTED, 1, 5s));
    KORVEX_StopPlay(nullptr, stream_);  // not a stop: the stream goes on
    EXPECT_EQ(recorder_.count(Report::kEvent, KORVEX_STREAM_ENDED), 0u);
    stop();
    EXPECT_EQ(recorder_.count(Report::kEvent, KORVEX_STREAM_ENDED), 1u);
}

TEST_F(TcpStreamTest, AnUnreachableDeviceIsRetriedEverySecondAndStopCutsThePause) {
    KORVEX_Logout(session_);
    session_ = recorder_.login(test::RefusingPort());
    start();
    ASSERT_TRUE(recorder_.waitFor(Report::kEvent, KORVEX_STREAM_CONNECT_FAILED, 2, 5s));
    auto pause = GapAfter(recorder_.reports(), "event 1");
    EXPECT_GE(pause, 950ms);
    EXPECT_LT(pause, 2s);
    EXPECT_LT(stop(), 500ms);
    std::vector<std::string> texts = recorder_.texts();
    EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 4),
              (std::vector<std::string>{"event 0", "event 1", "event 0", "event 1"}));
    EXPECT_EQ(recorder_.count(Report::kEvent, KORVEX_STREAM_ENDED), 0u);
}

TEST_F(TcpStreamTest, ARefusedPlayPausesASecondWithoutFurtherEvents) {
    device_.script(Answer("HDMI/1.0 401 Unauthorized\r\n\r\n"));
    start();
    ASSERT_TRUE(recorder_.waitFor(Report::kEvent, KORVEX_STREAM_CONNECTING, 2, 5s));
    auto pause = GapAfter(recorder_.reports(), "event 0");
    EXPECT_GE(pause, 950ms);
    EXPECT_LT(pause, 2s);
    // The second attempt waits for an answer that never comes; a stop there ends it at once and
    // without event 3, since no stream was established.
    ASSERT_TRUE(test::WaitUntil([&] { return device_.connectionCount() == 2; }, 2s));
    EXPECT_LT(stop(), 500ms);
    EXPECT_EQ(recorder_.texts(), (std::vector<std::string>{"event 0", "event 0"}));
}

TEST_F(TcpStreamTest, ConnectionsThatBringNoFrameAreRepeatedAtOnceOnlyTwiceInARow) {
    // Two connections that stream and then close are each followed at once; so are the first two
    // of those that close before any frame. The third of those in a row waits as after a failed
    // connection, and a stop cuts that wait.
    for (size_t started = 1; started <= 2; ++started) {
        device_.script(StreamTcp(
            recorder_, started, {MediaInfo(1920, 1080) + Packet(KORVEX_PACKET_KEY_FRAME, "key", 1)},
            0, false));
    }
    device_.setDefaultReply(Answer("HDMI/1.0 200 OK\r\n\r\n"));
    start();
    ASSERT_TRUE(recorder_.waitFor(Report::kStreamEnd, -1, 5, 10s));
    const auto reports = recorder_.reports();
    for (int nth = 1; nth <= 4; ++nth) {
        EXPECT_LT(GapAfter(reports, "end", nth), 700ms) << "after connection " << nth;
    }
    EXPECT_EQ(recorder_.count(Report::kFrame), 2u);
    ASSERT_TRUE(recorder_.waitFor(Report::kStreamEnd, -1, 6, 5s));
    auto pause = GapAfter(recorder_.reports(), "end", 5);
    EXPECT_GE(pause, 950ms);
    EXPECT_LT(pause, 2s);
    // Now in the pause after the sixth: the stop ends it at once.
    EXPECT_LT(stop(), 500ms);
}

}  // namespace
}  // namespace korvex
