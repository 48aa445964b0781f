// The command line.
#include <gtest/gtest.h>

#include <vector>

#include "options.h"

namespace devicesim {
namespace {

bool parse(std::vector<const char*> arguments, Options& options, std::string& error) {
    arguments.insert(arguments.begin(), "devicesim");
    return parseOptions(static_cast<int>(arguments.size()), arguments.data(), options, error);
}

TEST(Options, DevicesWithAndWithoutPorts) {
    Options options;
    std::string error;
    ASSERT_TRUE(parse({"--device", "rx@192.168.2.88", "--device=tx3@127.0.0.1:0"}, options, error))
        << error;
    ASSERT_EQ(options.devices.size(), 2u);
    EXPECT_EQ(options.devices[0].role, Role::Receiver);
    EXPECT_EQ(options.devices[0].port, 15380);
    EXPECT_EQ(options.devices[0].name(), "rx");
    EXPECT_EQ(options.devices[1].channel, 3);
    EXPECT_EQ(options.devices[1].port, 0);
    EXPECT_EQ(options.devices[1].address, "127.0.0.1");
}

TEST(Options, BadDevicesAreExplained) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"tx5@127.0.0.1", "role must be rx or tx1..tx4"},
        {"tx1", "expected ROLE@ADDR[:PORT]"},
        {"tx1@127.0.0.1:70000", "port must be 0..65535"},
        {"tx1@localhost", "not a dotted IPv4 address"},
        {"rx@127.0.0.1:", "port must be 0..65535"},
    };
    for (const auto& entry : cases) {
        Options options;
        std::string error;
        EXPECT_FALSE(parse({"--device", entry.first}, options, error)) << entry.first;
        EXPECT_NE(error.find(entry.second), std::string::npos) << error;
    }
    Options options;
    std::string error;
    EXPECT_FALSE(parse({"--device", "tx1@127.0.0.1", "--device", "tx1@127.0.0.2"}, options, error));
    EXPECT_NE(error.find("given twice"), std::string::npos);
    EXPECT_FALSE(parse({}, options, error));
    EXPECT_NE(error.find("no device"), std::string::npos);
}

TEST(Options, FaultsAndTimings) {
    Options options;
    std::string error;
    ASSERT_TRUE(parse({"--device", "tx1@127.0.0.1", "--refuse-play", "--garbage-bytes", "9",
                       "--media-info-size=1024x768", "--upgrade-result", "cut", "--silent-after",
                       "0", "--reset-seconds=2", "--huge-content-length", "--mute-after", "7",
                       "--picture", "detailed"},
                      options, error))
        << error;
    const Behaviour& b = options.behaviour;
    EXPECT_TRUE(b.refusePlay);
    EXPECT_EQ(b.garbageBytes, 9);
    EXPECT_EQ(b.mediaInfoWidth, 1024);
    EXPECT_EQ(b.mediaInfoHeight, 768);
    EXPECT_EQ(b.upgradeOutcome, UpgradeOutcome::Cut);
    EXPECT_EQ(b.silentAfterSeconds, 0);
    EXPECT_EQ(b.muteAfterSeconds, 7);
    EXPECT_EQ(b.resetSeconds, 2);
    EXPECT_TRUE(b.hugeContentLength);
    EXPECT_FALSE(b.closeMidAnswer);
    EXPECT_EQ(b.picture, Picture::Detailed);

    for (std::vector<const char*> bad : {
             std::vector<const char*>{"--garbage-bytes", "-1"},
             std::vector<const char*>{"--loop-seconds", "0"},
             std::vector<const char*>{"--upgrade-result", "maybe"},
             std::vector<const char*>{"--picture", "busy"},
             std::vector<const char*>{"--media-info-size", "1024"},
             std::vector<const char*>{"--refuse-play=yes"},
             std::vector<const char*>{"--answer-delay-ms"},
             std::vector<const char*>{"--frobnicate"},
         }) {
        bad.insert(bad.begin(), {"--device", "tx1@127.0.0.1"});
        EXPECT_FALSE(parse(bad, options, error)) << bad[2];
    }
}

TEST(Options, HelpNeedsNoDevice) {
    Options options;
    std::string error;
    ASSERT_TRUE(parse({"--help"}, options, error));
    EXPECT_TRUE(options.help);
    EXPECT_NE(usageText().find("--device ROLE@ADDR[:PORT]"), std::string::npos);
}

}  // namespace
}  // namespace devicesim
