// The client library against the emulator: streams that carry junk after every packet or frame,
// and many configuration calls from many threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Korvex.h"
#include "running_installation.h"
#include "stream_test_support.h"

namespace devicesim_test {
namespace {

using namespace std::chrono_literals;
using korvex::test::Report;
using korvex::test::StreamRecorder;
using Clock = std::chrono::steady_clock;

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

// Sixteen threads, 500 calls each, one connection per call: the device refuses none, since never
// more than sixteen are open at a time.
TEST_F(KorvexClient, SixteenThreadsOfConfigurationCallsAreAllAnswered) {
    constexpr int kThreads = 16;
    constexpr int kCallsPerThread = 500;
    LogCapture log;
    RunningInstallation installation(devicesim::Behaviour(), {"rx"});
    KorvexLoginInfo login{};
    std::strncpy(login.host, "127.0.0.1", sizeof login.host - 1);
    login.port = installation.port("rx");
    KorvexSession* session = KORVEX_Login(&login, nullptr, nullptr);
    ASSERT_NE(session, nullptr);

    const auto deadline = Clock::now() + 100s;
    std::atomic<int> calls{0};
    std::atomic<int> failures{0};
    std::vector<std::thread> clients;
    for (int t = 0; t < kThreads; ++t) {
        clients.emplace_back([&] {
            for (int i = 0; i < kCallsPerThread && Clock::now() < deadline; ++i) {
                SystemInfo info{};
                int result =
                    KORVEX_GetConfig(session, CFG_GET_SYSINFO, &info, sizeof info, 3000, 0);
                if (result != 0 || std::string(info.model) != "HDMI-IP-RX") {
                    ++failures;
                }
                ++calls;
            }
        });
    }
    for (std::thread& client : clients) {
        client.join();
    }
    KORVEX_Logout(session);
    EXPECT_EQ(calls.load(), kThreads * kCallsPerThread) << "not done within 100 s";
    EXPECT_EQ(failures.load(), 0);
    EXPECT_FALSE(log.contains("connections open already"));
}

}  // namespace
}  // namespace devicesim_test
