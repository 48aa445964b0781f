// The client library against the emulator: streams that carry junk after every packet or frame.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "Korvex.h"
#include "running_installation.h"
#include "stream_test_support.h"

namespace devicesim_test {
namespace {

using namespace std::chrono_literals;
using korvex::test::Report;
using korvex::test::StreamRecorder;

class KorvexClient : public ::testing::Test {
  protected:
    KorvexClient() { KORVEX_Init(); }
    ~KorvexClient() override { KORVEX_Exit(); }
};

// 300 junk bytes follow every packet on TCP and every frame (its last datagram) on UDP: the
// stream skips them, and its frames keep coming on the one connection.
TEST_F(KorvexClient, StreamsKeepTheirFramesWhenJunkFollowsEveryFrame) {
    devicesim::Behaviour behaviour;
    behaviour.loopSeconds = 1;
    behaviour.garbageBytes = 300;
    RunningInstallation installation(behaviour, {"tx1"});
    for (int transport : {KORVEX_TRANSPORT_TCP, KORVEX_TRANSPORT_UDP}) {
        StreamRecorder recorder;
        KorvexSession* session = recorder.login(installation.port("tx1"));
        KorvexPlayParams params = recorder.params(transport);
        KorvexStream* stream = KORVEX_StartPlay(session, &params);
        ASSERT_NE(stream, nullptr);
        // About 77 frames a second (pictures and sound): two stretches of a second and more each.
        // (No ASSERT before the stop: the stream calls into the recorder until then.)
        EXPECT_TRUE(recorder.waitFor(Report::kFrame, -1, 100, 10s))
            << "transport " << transport << ": " << recorder.count(Report::kFrame) << " frames, "
            << recorder.count(Report::kEvent, KORVEX_STREAM_ENDED) << " ends";
        const size_t first = recorder.count(Report::kFrame);
        EXPECT_TRUE(recorder.waitFor(Report::kFrame, -1, first + 100, 10s))
            << "transport " << transport;
        EXPECT_GE(recorder.count(Report::kFrame, KORVEX_PACKET_KEY_FRAME), 1u);
        EXPECT_EQ(recorder.count(Report::kEvent, KORVEX_STREAM_ENDED), 0u)
            << "transport " << transport;
        EXPECT_EQ(recorder.count(Report::kEvent, KORVEX_STREAM_STARTED), 1u)
            << "transport " << transport;
        KORVEX_StopPlay(session, stream);
        KORVEX_Logout(session);
    }
}

}  // namespace
}  // namespace devicesim_test
