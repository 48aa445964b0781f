// The program as a whole: help, version, usage errors (status 2, nothing sent) and the status
// of a device that refuses, stays silent or is not there (1).
#include <chrono>

#include "support.h"

namespace korvexctl_test {
namespace {

TEST(Program, HelpForTheProgramAndEveryCommand) {
    const Result help = runKorvexctl({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: korvexctl [--host ADDR]"), std::string::npos);
    EXPECT_TRUE(help.err.empty());
    for (const char* command :
         {"info", "get", "set", "reset", "key", "actuator", "upgrade", "play", "watch"}) {
        const Result own = runKorvexctl({command, "--help"});
        EXPECT_EQ(own.status, 0) << command;
        EXPECT_NE(own.out.find(std::string("Usage: korvexctl --host ADDR ") + command),
                  std::string::npos)
            << command << ":\n"
            << own.out;
        EXPECT_EQ(runKorvexctl({"help", command}).out, own.out) << command;
    }
    EXPECT_NE(runKorvexctl({"set", "--help"}).out.find("--baudrate N"), std::string::npos);
    const Result version = runKorvexctl({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.compare(0, 10, "korvexctl "), 0) << version.out;
}

TEST(Program, UsageErrorsSayWhatIsAllowedAndSendNothing) {
    RunningInstallation installation;
    LogCapture log;
    const uint16_t rx = installation.port("rx");
    struct Case {
        std::vector<std::string> arguments;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"info"}, "no device given"},
        {{"--host", "127.0.0.1", "--port", "70000", "info"},
         "--port: 70000 is out of range (allowed: 1..65535)"},
        {{"--host", "127.0.0.1", "--timeout", "soon", "info"},
         "--timeout: \"soon\" is not a whole number"},
        {{"--bogus", "info"}, "unknown option --bogus"},
        {at(rx, {}), "no command given"},
        {at(rx, {"frobnicate"}), "no command \"frobnicate\""},
        {at(rx, {"info", "--json"}), "--json is a global option and goes before the command"},
        {at(rx, {"get", "colour"}), "no record \"colour\""},
        {at(rx, {"set", "sysinfo", "--model", "X"}), "sysinfo is read-only"},
        {at(rx, {"get", "ttl"}), "ttl needs --index N"},
        {at(rx, {"set", "ttl", "--index", "3", "--baudrate", "9600"}),
         "--index: 3 is out of range (allowed: 1..2)"},
        {at(rx, {"set", "ttl", "--index", "2", "--baudrate", "fast"}),
         "--baudrate: \"fast\" is not a whole number"},
        {at(rx, {"set", "ttl", "--index", "2"}), "name at least one field"},
        {at(rx, {"set", "ttl", "--index", "2", "--speed", "9600"}), "unknown option --speed"},
        {at(rx, {"set", "ttl", "--index", "2", "--peeraddr", "a-very-long-address-of-many-chars"}),
         "longer than 23 characters"},
        {at(rx, {"set", "display", "--layout", "triple"}),
         "allowed: ch1, ch2, ch3, ch4, ch12, ch34, quad"},
        {at(rx, {"set", "display", "--window", "5:0,0,100,100"}),
         "--window channel: 5 is out of range (allowed: 1..4)"},
        {at(rx, {"set", "display", "--window", "1:0,0,100"}), "is not ID:X,Y,W,H"},
        {at(rx, {"set", "display", "--layout", "quad", "--window", "1:0,0,100,100"}),
         "use one of them"},
        {at(rx, {"set", "display", "--audio", "0"}), "allowed: 1..4, or none"},
        {at(rx, {"set", "videoenc", "--channel", "9", "--framerate", "60"}),
         "--channel: 9 is out of range"},
        {at(rx, {"actuator", "--id", "2", "goto", "150"}),
         "goto PERCENT: 150 is out of range (allowed: 0..100)"},
        {at(rx, {"actuator", "--id", "6", "stop"}), "--id: 6 is out of range (allowed: 0..5)"},
        {at(rx, {"actuator", "goto", "50"}), "name the actuator with --id N"},
        {at(rx, {"actuator", "--id", "1", "spin"}), "no action \"spin\""},
        {at(rx, {"key"}), "name the key code"},
        {at(rx, {"key", "five"}), "CODE: \"five\" is not a whole number"},
        {at(rx, {"upgrade", "/nonexistent/image.bin"}), "/nonexistent/image.bin: no such file"},
        {at(rx, {"play", "--seconds", "0"}), "--seconds: 0 is out of range (allowed: 1..86400)"},
        {at(rx, {"watch", "--interval", "10"}),
         "--interval: 10 is out of range (allowed: 100..3600000)"},
    };
    for (const Case& c : cases) {
        const Result result = runKorvexctl(c.arguments);
        EXPECT_EQ(result.status, 2) << c.says << "\n" << result.err;
        EXPECT_NE(result.err.find(c.says), std::string::npos) << "expected: " << c.says << "\n"
                                                              << result.err;
        EXPECT_NE(result.err.find("Try 'korvexctl"), std::string::npos) << result.err;
        EXPECT_TRUE(result.out.empty()) << result.out;
    }
    // Not one request reached the device.
    EXPECT_FALSE(log.contains("rx 127.0.0.1:"));
}

TEST(Program, ARefusingDeviceGivesStatusOne) {
    RunningInstallation installation;
    const uint16_t rx = installation.port("rx");
    const uint16_t tx = installation.port("tx1");
    // devicesim answers 400 for a baud rate that is no serial rate.
    const Result baud = runKorvexctl(at(rx, {"set", "ttl", "--index", "1", "--baudrate", "12345"}));
    EXPECT_EQ(baud.status, 1);
    EXPECT_NE(baud.err.find("answered GET_TTL but did not accept SET_TTL"), std::string::npos)
        << baud.err;
    EXPECT_TRUE(baud.out.empty());
    EXPECT_EQ(settingsOf(installation.device("rx"), [](auto& s) { return s.ttl[0].baudrate; }),
              115200);
    // The receiver answers for channels 1..4 only, and korvexctl says so.
    const Result channel = runKorvexctl(at(rx, {"get", "videoenc"}));
    EXPECT_EQ(channel.status, 1);
    EXPECT_NE(channel.err.find("(a receiver needs the channel: --channel 1..4)"), std::string::npos)
        << channel.err;
    // A transmitter has no display.
    const Result display = runKorvexctl(at(tx, {"get", "display"}));
    EXPECT_EQ(display.status, 1);
    EXPECT_NE(display.err.find("did not accept GET_DISPLAY"), std::string::npos) << display.err;
}

TEST(Program, ASilentDeviceGivesStatusOneWithinTheTimeout) {
    devicesim::Behaviour silent;
    silent.answerDelayMs = 20000;
    RunningInstallation installation(silent, {"rx"});
    const auto start = std::chrono::steady_clock::now();
    const Result result =
        runKorvexctl({"--host", "127.0.0.1", "--port", std::to_string(installation.port("rx")),
                      "--timeout", "300", "get", "display"});
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("no answer within 300 ms"), std::string::npos) << result.err;
    EXPECT_LT(took, std::chrono::seconds(3));
}

TEST(Program, NoDeviceThereGivesStatusOne) {
    uint16_t port = 0;
    {
        RunningInstallation gone(devicesim::Behaviour(), {"rx"});
        port = gone.port("rx");
    }
    const Result result = runKorvexctl(at(port, {"info"}));
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("did not answer"), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty());
}

}  // namespace
}  // namespace korvexctl_test
