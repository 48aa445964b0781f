// The devicesim program itself: its command line, its log, and a clean stop on a signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <string>

#include "child_process.h"
#include "wire_client.h"

namespace devicesim_test {
namespace {

TEST(Program, HelpAndCommandLineErrors) {
    ChildProcess help(DEVICESIM_PATH, {"--help"});
    EXPECT_EQ(help.wait(5000), 0);
    EXPECT_NE(help.out().find("Usage: devicesim"), std::string::npos);

    ChildProcess badRole(DEVICESIM_PATH, {"--device", "tx9@127.0.0.1"});
    EXPECT_EQ(badRole.wait(5000), 2);
    EXPECT_NE(badRole.err().find("role must be rx or tx1..tx4"), std::string::npos);

    ChildProcess none(DEVICESIM_PATH, {});
    EXPECT_EQ(none.wait(5000), 2);
    EXPECT_NE(none.err().find("no device given"), std::string::npos);
}

TEST(Program, AnswersThenStopsCleanlyOnSignals) {
    const std::string pidFile = "/tmp/devicesim-test-" + std::to_string(::getpid()) + ".pid";
    for (int signalNumber : {SIGTERM, SIGINT}) {
        ChildProcess process(DEVICESIM_PATH,
                             {"--device", "rx@127.0.0.1:0", "--device", "tx1@127.0.0.1:0",
                              "--loop-seconds", "1", "--pid-file", pidFile});
        std::smatch match;
        ASSERT_TRUE(
            process.waitForStderr(std::regex(R"(rx listening on 127\.0\.0\.1:(\d+))"), match, 5000))
            << process.err();
        const uint16_t rx = static_cast<uint16_t>(std::stoi(match[1]));
        ASSERT_TRUE(process.waitForStderr(std::regex(R"(tx1 listening on 127\.0\.0\.1:(\d+))"),
                                          match, 5000));
        const uint16_t tx = static_cast<uint16_t>(std::stoi(match[1]));
        ASSERT_TRUE(process.waitForStderr(std::regex("running; SIGINT or SIGTERM"), match, 5000));

        struct stat info {};
        EXPECT_EQ(::stat(pidFile.c_str(), &info), 0);
        EXPECT_EQ(ask(rx, request("GET_SYSINFO", 0)).substr(0, 15), "HDMI/1.0 200 OK");
        EXPECT_TRUE(process.waitForStderr(
            std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} rx 127\.0\.0\.1:\d+: GET_SYSINFO)"),
            match, 2000))
            << "every request is logged with a timestamp";

        // A stream that is running must not hold up the stop.
        const int stream = connectLoopback(tx, 3000);
        ASSERT_GE(stream, 0);
        sendText(stream,
                 "PLAY HDMI/1.0\r\nAUTHORIZATION: BASIC \r\nCHN:0\r\nSTREAM:0\r\nTRANSPORT:0\r\n"
                 "CONTENT-LENGTH:0\r\n\r\n");
        ASSERT_TRUE(process.waitForStderr(std::regex("streaming on this connection"), match, 3000));

        const auto signalled = std::chrono::steady_clock::now();
        process.signal(signalNumber);
        EXPECT_EQ(process.wait(5000), 0) << process.err();
        EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(3));
        EXPECT_NE(process.err().find("devicesim: stopped"), std::string::npos);
        EXPECT_NE(::stat(pidFile.c_str(), &info), 0) << "the pid file is removed";
        bool closed = false;
        readUntilClosed(stream, 2000, &closed);
        EXPECT_TRUE(closed);
        ::close(stream);
    }
}

TEST(Program, AddressInUseIsReported) {
    ChildProcess first(DEVICESIM_PATH, {"--device", "rx@127.0.0.1:0"});
    std::smatch match;
    ASSERT_TRUE(
        first.waitForStderr(std::regex(R"(rx listening on 127\.0\.0\.1:(\d+))"), match, 5000));
    const std::string port = match[1];
    ChildProcess second(DEVICESIM_PATH, {"--device", "tx1@127.0.0.1:" + port});
    EXPECT_EQ(second.wait(5000), 1);
    EXPECT_NE(second.err().find("tx1: bind 127.0.0.1:" + port), std::string::npos) << second.err();
}

}  // namespace
}  // namespace devicesim_test
