// Sessions and the two plain device commands through the exported interface.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Korvex.h"
#include "fake_device.h"

namespace korvex {
namespace {

using namespace std::chrono_literals;
using test::Answer;
using test::FakeDevice;
using test::OkResponse;
using Clock = std::chrono::steady_clock;

KorvexSession* LoginTo(int port, const char* host = "127.0.0.1") {
    KorvexLoginInfo info{};
    std::strncpy(info.host, host, sizeof info.host - 1);
    info.port = port;
    return KORVEX_Login(&info, nullptr, nullptr);
}

struct SessionDeleter {
    void operator()(KorvexSession* session) const { KORVEX_Logout(session); }
};
using SessionPtr = std::unique_ptr<KorvexSession, SessionDeleter>;

TEST(Session, LoginSendsNothingAndLogoutAcceptsNull) {
    EXPECT_EQ(KORVEX_Init(), 0);
    FakeDevice device;
    auto started = Clock::now();
    SessionPtr session(LoginTo(device.port()));
    EXPECT_NE(session, nullptr);
    EXPECT_LT(Clock::now() - started, 100ms);
    EXPECT_EQ(KORVEX_Login(nullptr, nullptr, nullptr), nullptr);
    KORVEX_Logout(nullptr);
    EXPECT_EQ(device.connectionCount(), 0u);
    EXPECT_EQ(KORVEX_Exit(), 0);
}

TEST(Session, HostLongerThanItsFieldIsCut) {
    KorvexLoginInfo info;
    std::memset(info.host, 'h', sizeof info.host);  // not terminated at all
    info.port = 1;
    SessionPtr session(KORVEX_Login(&info, nullptr, nullptr));
    ASSERT_NE(session, nullptr);
}

TEST(Session, MissingSessionIsMinusTwoWithoutTraffic) {
    FakeDevice device;
    DisplayConfig display{};
    EXPECT_EQ(KORVEX_Reset(nullptr), -2);
    EXPECT_EQ(KORVEX_SendRemoteKey(nullptr, 5), -2);
    EXPECT_EQ(KORVEX_GetConfig(nullptr, CFG_GET_DISPLAY, &display, sizeof display, 100, 0), -2);
    EXPECT_EQ(KORVEX_SetConfig(nullptr, CFG_SET_DISPLAY, &display, sizeof display, 100, 0), -2);
    EXPECT_EQ(device.connectionCount(), 0u);
}

TEST(RemoteKey, SendsTheKeyAsBodyAndSucceedsOnOk) {
    FakeDevice device;
    SessionPtr session(LoginTo(device.port()));
    EXPECT_EQ(KORVEX_SendRemoteKey(session.get(), 5), 0);
    device.script(Answer("hdmi/1.0 200 ok\r\n\r\n"));
    EXPECT_EQ(KORVEX_SendRemoteKey(session.get(), -1), 0);
    ASSERT_TRUE(device.waitForClosedConnections(2, 2s));
    auto requests = device.requests();
    EXPECT_EQ(requests[0],
              "NET_KEYBOARD HDMI/1.0\r\nAUTHORIZATION: BASIC \r\nCHN:0\r\nCONTENT-LENGTH:7\r\n\r\n"
              "KEY=5\r\n");
    EXPECT_EQ(requests[1],
              "NET_KEYBOARD HDMI/1.0\r\nAUTHORIZATION: BASIC \r\nCHN:0\r\nCONTENT-LENGTH:8\r\n\r\n"
              "KEY=-1\r\n");
}

TEST(Reset, SendsSystemResetAndMapsTheStatus) {
    FakeDevice device;
    SessionPtr session(LoginTo(device.port()));
    EXPECT_EQ(KORVEX_Reset(session.get()), 0);
    device.script(Answer("HDMI/1.0 500 Internal Error\r\nCONTENT-LENGTH:0\r\n\r\n"));
    EXPECT_EQ(KORVEX_Reset(session.get()), -1);
    device.script(Answer("HDMI/1.0 200 O"));
    EXPECT_EQ(KORVEX_Reset(session.get()), -1);
    device.script(Answer("HDMI/"));
    EXPECT_EQ(KORVEX_Reset(session.get()), -1);
    ASSERT_TRUE(device.waitForClosedConnections(4, 2s));
    EXPECT_EQ(
        device.requests()[0],
        "SYSTEM_RESET HDMI/1.0\r\nAUTHORIZATION: BASIC \r\nCHN:0\r\nCONTENT-LENGTH:0\r\n\r\n");
}

TEST(Reset, UnreachableOrSilentDeviceFailsWithinItsWaits) {
    SessionPtr refused(LoginTo(test::RefusingPort()));
    auto started = Clock::now();
    EXPECT_EQ(KORVEX_Reset(refused.get()), -1);
    EXPECT_LT(Clock::now() - started, 3500ms);

    FakeDevice device;
    device.setDefaultReply(test::Silence());
    SessionPtr silent(LoginTo(device.port()));
    started = Clock::now();
    EXPECT_EQ(KORVEX_Reset(silent.get()), -1);
    auto took = Clock::now() - started;
    EXPECT_GE(took, 900ms);  // one receive wait of 1000 ms
    EXPECT_LT(took, 2500ms);
    // The socket was closed: the device sees the connection end.
    EXPECT_TRUE(device.waitForClosedConnections(1, 2s));
}

TEST(Session, CommandsOfOneSessionRunOnSeveralThreadsAtOnce) {
    FakeDevice device;
    test::Reply slow;
    slow.chunks = {{150, OkResponse()}};
    device.setDefaultReply(slow);
    SessionPtr session(LoginTo(device.port()));
    std::vector<std::thread> threads;
    std::atomic<int> succeeded{0};
    auto started = Clock::now();
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&, i] {
            if (KORVEX_SendRemoteKey(session.get(), i) == 0) {
                ++succeeded;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(succeeded.load(), 8);
    EXPECT_LT(Clock::now() - started, 1s);  // not one after the other
    EXPECT_EQ(device.connectionCount(), 8u);
}

}  // namespace
}  // namespace korvex
