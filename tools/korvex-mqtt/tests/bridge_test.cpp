// The bridge with a well-behaved installation: what it publishes (retained, with Home
// Assistant's discovery, only on change) and what its commands do to the devices.
#include <gtest/gtest.h>

#include <mutex>

#include "mqtt_test_kit.h"

namespace korvex_mqtt_test {
namespace {

using devicesim_test::LogCapture;
using devicesim_test::RunningInstallation;

constexpr int kWaitMs = 15000;

template <typename Read>
auto settingsOf(devicesim::DeviceServer& device, Read read) {
    std::lock_guard<std::mutex> lock(device.state().mutex);
    return read(device.state().settings);
}

// The JSON of a message that must have come.
Json payloadOf(const std::optional<Received>& message) {
    EXPECT_TRUE(message.has_value());
    return message ? Json::parse(message->payload, nullptr, false) : Json();
}

TEST(Bridge, PublishesTheInstallationRetainedWithDiscovery) {
    RunningInstallation installation;
    TestBroker broker;
    BridgeProcess bridge(
        bridgeConfiguration(broker, deviceLines(installation, {"rx", "tx1", "tx2"})));
    {
        MqttProbe live(broker.port());
        for (const char* device : {"rx", "tx1", "tx2"}) {
            ASSERT_TRUE(live.waitFor(topic(device, "availability"), "online", kWaitMs))
                << device << "\n"
                << bridge.process().err();
        }
    }
    // A client that comes later finds all of it retained.
    MqttProbe later(broker.port());
    const auto online = later.waitFor("site/room-12/bridge/availability", "online", kWaitMs);
    ASSERT_TRUE(online);
    EXPECT_TRUE(online->retained);
    const auto rxState = later.waitFor(
        topic("rx", "state"), [](const std::string&) { return true; }, kWaitMs);
    ASSERT_TRUE(rxState);
    EXPECT_TRUE(rxState->retained);
    const Json rx = payloadOf(rxState);
    EXPECT_EQ(rx["layout"], "ch1");
    EXPECT_EQ(rx["windows"][0]["width"], 100);
    EXPECT_EQ(rx["audio"], 1);
    EXPECT_EQ(rx["resolution"], "1080P60");
    EXPECT_EQ(rx["frameRate"], 30);
    EXPECT_EQ(rx["ttl"][1]["index"], 2);
    EXPECT_EQ(rx["ttl"][1]["port"], 9001);
    const Json tx1 = payloadOf(later.waitFor(
        topic("tx1", "state"), [](const std::string&) { return true; }, kWaitMs));
    EXPECT_EQ(tx1["videoenc"]["frameRate"], 30);
    EXPECT_EQ(tx1["audioenc"]["samples"], 48000);
    EXPECT_EQ(tx1["ttl"][0]["baudrate"], 115200);
    const auto sysinfo = later.waitForJson(
        topic("tx2", "sysinfo"), [](const Json& info) { return info["model"] == "HDMI-IP-TX"; },
        kWaitMs);
    ASSERT_TRUE(sysinfo);
    EXPECT_TRUE(sysinfo->retained);

    const auto layout = later.waitForJson(
        "homeassistant/select/site_room-12_rx/layout/config",
        [](const Json& entity) { return entity["device"].contains("model"); }, kWaitMs);
    const Json entity = payloadOf(layout);
    EXPECT_TRUE(layout && layout->retained);
    EXPECT_EQ(entity["unique_id"], "korvex_site_room-12_rx_layout");
    EXPECT_EQ(entity["state_topic"], "site/room-12/rx/state");
    EXPECT_EQ(entity["command_topic"], "site/room-12/rx/set");
    EXPECT_EQ(entity["command_template"], "{\"layout\": \"{{ value }}\"}");
    EXPECT_EQ(entity["options"].size(), 7u);
    EXPECT_EQ(entity["availability_mode"], "all");
    EXPECT_EQ(entity["availability"][0]["topic"], "site/room-12/bridge/availability");
    EXPECT_EQ(entity["availability"][1]["topic"], "site/room-12/rx/availability");
    EXPECT_EQ(entity["device"]["model"], "HDMI-IP-RX");
    EXPECT_TRUE(later.waitFor(
        "homeassistant/sensor/site_room-12_tx1/frame_rate/config",
        [](const std::string&) { return true; }, kWaitMs));
    EXPECT_TRUE(later.waitFor(
        "homeassistant/number/site_room-12_tx2/actuator6/config",
        [](const std::string&) { return true; }, kWaitMs));
    for (const Received& message : later.messages()) {
        EXPECT_EQ(message.topic.find("homeassistant/select/site_room-12_tx1/layout"),
                  std::string::npos)
            << "a transmitter has no layout";
    }

    // Only changes are published: while tx1's change goes out, rx's state stays as it was.
    const size_t mark = later.count();
    {
        auto& device = installation.device("tx1");
        std::lock_guard<std::mutex> lock(device.state().mutex);
        device.state().settings.ttl[0].baudrate = 2400;
    }
    EXPECT_TRUE(later.waitForJson(
        topic("tx1", "state"),
        [](const Json& state) { return state["ttl"][0]["baudrate"] == 2400; }, kWaitMs, mark));
    EXPECT_FALSE(later.waitFor(
        topic("rx", "state"), [](const std::string&) { return true; }, 0, mark));
}

TEST(Bridge, CommandsSendWhatTheWindowSends) {
    RunningInstallation installation;
    auto& rx = installation.device("rx");
    auto& tx1 = installation.device("tx1");
    TestBroker broker;
    BridgeProcess bridge(bridgeConfiguration(broker, deviceLines(installation, {"rx", "tx1"})));
    MqttProbe probe(broker.port());
    ASSERT_TRUE(probe.waitFor(topic("rx", "availability"), "online", kWaitMs))
        << bridge.process().err();
    LogCapture log;
    auto command = [&](const std::string& device, const std::string& payload) {
        const size_t mark = probe.count();
        probe.publish(topic(device, "set"), payload);
        return payloadOf(probe.waitFor(
            topic(device, "result"), [](const std::string&) { return true; }, kWaitMs, mark));
    };

    // Two windows: the layout, then the shown channels' encoders written back unchanged.
    size_t mark = probe.count();
    const Json twoWindows = command("rx", "{\"layout\": \"ch12\", \"id\": 7}");
    EXPECT_EQ(twoWindows["result"], "done") << twoWindows.dump();
    EXPECT_EQ(twoWindows["id"], 7);
    EXPECT_EQ(twoWindows["request"]["layout"], "ch12");
    EXPECT_TRUE(
        log.contains("SET_DISPLAY CHN:0 {DISPLAY=[1:0,0,50,100 -a 2:50,0,50,100] | "
                     "RESOLUTION=1080P60 | AUDIO=1} -> 200 OK"));
    EXPECT_TRUE(log.contains("SET_VIDEOENC CHN:1"));
    EXPECT_TRUE(log.contains("SET_VIDEOENC CHN:2"));
    EXPECT_EQ(settingsOf(rx, [](auto& s) { return s.display.count; }), 2);
    EXPECT_TRUE(probe.waitForJson(
        topic("rx", "state"),
        [](const Json& state) { return state["layout"] == "ch12" && state["frameRate"].is_null(); },
        kWaitMs, mark));

    // One channel at 60 fps; channel 1 is no longer shown, so its sound goes, as in the window.
    const Json single = command("rx", "{\"layout\": \"ch3\", \"frameRate\": 60}");
    EXPECT_EQ(single["result"], "done") << single.dump();
    const VideoEncodeConfig channel3 = installation.simulator().installation().videoEncoder(3);
    EXPECT_EQ(channel3.frameRate, 60);
    EXPECT_EQ(channel3.keyGop, 120);
    EXPECT_EQ(channel3.bitrate, 4000);
    EXPECT_EQ(settingsOf(rx, [](auto& s) { return s.display.audio; }), -1);

    const Json sound = command("rx", "{\"audio\": \"ch3\", \"resolution\": \"4k\"}");
    EXPECT_EQ(sound["result"], "done") << sound.dump();
    EXPECT_TRUE(
        log.contains("SET_DISPLAY CHN:0 {DISPLAY=[3:0,0,100,100] | "
                     "RESOLUTION=3840x2160P30 | AUDIO=3} -> 200 OK"));

    // The serial port's rate only; everything else goes back as read.
    const Json ttl = command("tx1", "{\"ttl\": {\"index\": 2, \"baudrate\": 9600}}");
    EXPECT_EQ(ttl["result"], "done") << ttl.dump();
    EXPECT_TRUE(
        log.contains("SET_TTL CHN:1 {CHN=1 | MODE=0 | CLIENT=0 | BAUDRATE=9600 | "
                     "PORT=9001 | PEER_PORT=0 | PEER_ADDR=0.0.0.0} -> 200 OK"));
    EXPECT_EQ(settingsOf(tx1, [](auto& s) { return s.ttl[1].baudrate; }), 9600);

    const Json actuator = command("tx1", "{\"actuator\": {\"id\": 2, \"goto\": 50}}");
    EXPECT_EQ(actuator["result"], "done") << actuator.dump();
    EXPECT_TRUE(log.contains("ACTUATOR_MOVE CHN:0 {ID=2 | ORIENT=1 | ANGLE=87} -> 200 OK"));
    EXPECT_EQ(settingsOf(tx1, [](auto& s) { return s.actuator[2]; }), 87);
}

}  // namespace
}  // namespace korvex_mqtt_test
