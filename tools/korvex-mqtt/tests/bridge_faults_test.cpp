// The bridge when things go wrong: commands that are not commands, devices that refuse, stay
// silent or restart, a broker that restarts, a bridge that is killed or stopped, a broker that
// wants TLS and a password, a configuration that is wrong.
#include <gtest/gtest.h>
#include <signal.h>

#include <mutex>

#include "mqtt_test_kit.h"

namespace korvex_mqtt_test {
namespace {

using devicesim_test::LogCapture;
using devicesim_test::RunningInstallation;

constexpr int kWaitMs = 15000;

bool any(const std::string&) {
    return true;
}

// Waits until every device of `devices` is online.
void waitOnline(MqttProbe& probe, BridgeProcess& bridge, const std::vector<std::string>& devices) {
    for (const std::string& device : devices) {
        ASSERT_TRUE(probe.waitFor(topic(device, "availability"), "online", kWaitMs))
            << device << "\n"
            << bridge.process().err();
    }
}

// The next result on the device's topic after publishing `payload` to `setTopic`.
Json resultOf(MqttProbe& probe, const std::string& setTopic, const std::string& resultTopic,
              const std::string& payload) {
    const size_t mark = probe.count();
    probe.publish(setTopic, payload);
    const auto result = probe.waitFor(resultTopic, any, kWaitMs, mark);
    EXPECT_TRUE(result) << payload;
    return result ? Json::parse(result->payload) : Json();
}

TEST(BridgeFaults, CommandsThatAreNoneAreAnsweredAndChangeNothing) {
    RunningInstallation installation(devicesim::Behaviour(), {"rx", "tx1"});
    TestBroker broker;
    BridgeProcess bridge(bridgeConfiguration(broker, deviceLines(installation, {"rx", "tx1"})));
    MqttProbe probe(broker.port());
    waitOnline(probe, bridge, {"rx", "tx1"});
    LogCapture log;
    struct Case {
        std::string payload;
        std::string says;
    };
    const std::vector<Case> cases = {
        {"layout ch12", "not JSON"},
        {"[1, 2]", "not a JSON object with a command"},
        {"{\"id\": 3}", "no command"},
        {"{\"layout\": \"ch5\"}", "layout: \"ch5\" is out of range"},
        {"{\"colour\": \"red\"}", "unknown field \"colour\""},
        {"{\"audio\": 7}", "audio: 7 is out of range"},
        {"{\"resolution\": \"720P60\"}", "resolution: \"720P60\" is out of range"},
        {"{\"frameRate\": 25}", "frameRate: 25 is out of range (allowed: 30, 60)"},
        {"{\"ttl\": {\"index\": 3, \"baudrate\": 9600}}", "ttl.index: 3 is out of range"},
        {"{\"ttl\": {\"index\": 1, \"baudrate\": 12345}}", "ttl.baudrate: 12345 is out of range"},
        {"{\"ttl\": {\"index\": 1}}", "ttl is not {\"index\": N, \"baudrate\": N}"},
        {"{\"actuator\": {\"id\": 1, \"goto\": 101}}", "actuator.goto: 101 is out of range"},
        {"{\"actuator\": {\"id\": 1, \"goto\": 50.5}}", "actuator.goto: 50.5 is out of range"},
        {"{\"reset\": false}", "reset: false is out of range (allowed: true)"},
        {"{\"layout\": \"ch12\", \"reset\": true}", "ttl, actuator and reset each go alone"},
        // Checked against what the receiver shows: channel 3 is not on its output (ch1).
        {"{\"audio\": 3}", "audio: channel 3 is not on the output (layout ch1)"},
        {"{\"frameRate\": 60, \"layout\": \"quad\"}", "frameRate: the layout shows 4 windows"},
    };
    for (const Case& c : cases) {
        const Json result = resultOf(probe, topic("rx", "set"), topic("rx", "result"), c.payload);
        EXPECT_EQ(result["result"], "error") << c.payload;
        const std::string error = result.value("error", "");
        EXPECT_NE(error.find(c.says), std::string::npos) << "expected: " << c.says << "\n" << error;
    }
    const Json text = resultOf(probe, topic("rx", "set"), topic("rx", "result"), "layout ch12");
    EXPECT_EQ(text["request"], "layout ch12");
    const Json nobody =
        resultOf(probe, topic("nobody", "set"), topic("nobody", "result"), "{\"reset\": true}");
    EXPECT_EQ(nobody["error"], "no device \"nobody\" (devices: rx, tx1)");

    EXPECT_FALSE(log.contains("SET_")) << "a command that is none reached a device";
    EXPECT_FALSE(log.contains("SYSTEM_RESET"));
    auto& rx = installation.device("rx");
    std::lock_guard<std::mutex> lock(rx.state().mutex);
    EXPECT_EQ(rx.state().settings.display.count, 1);
    EXPECT_EQ(rx.state().settings.ttl[0].baudrate, 115200);
}

TEST(BridgeFaults, ARefusingAndASilentDeviceAnswerSo) {
    RunningInstallation installation(devicesim::Behaviour(), {"rx", "tx1"});
    devicesim::Behaviour silent;
    silent.answerDelayMs = 60000;
    RunningInstallation quiet(silent, {"rx"});
    TestBroker broker;
    std::vector<std::string> devices = deviceLines(installation, {"rx", "tx1"});
    devices.push_back("receiver = quiet 127.0.0.1:" + std::to_string(quiet.port("rx")));
    BridgeProcess bridge(bridgeConfiguration(broker, devices));
    MqttProbe probe(broker.port());
    waitOnline(probe, bridge, {"rx", "tx1"});
    const auto offline = probe.waitFor(topic("quiet", "availability"), "offline", kWaitMs);
    ASSERT_TRUE(offline) << bridge.process().err();

    // A transmitter has no display: it refuses.
    const Json refused =
        resultOf(probe, topic("tx1", "set"), topic("tx1", "result"), "{\"layout\": \"ch12\"}");
    EXPECT_EQ(refused["result"], "refused") << refused.dump();
    EXPECT_EQ(refused["step"], "GET_DISPLAY");
    const Json silentResult =
        resultOf(probe, topic("quiet", "set"), topic("quiet", "result"), "{\"layout\": \"ch12\"}");
    EXPECT_EQ(silentResult["result"], "no answer") << silentResult.dump();
    EXPECT_EQ(silentResult["step"], "GET_DISPLAY");
    for (const Received& message : probe.messages()) {
        EXPECT_FALSE(message.topic == topic("quiet", "availability") &&
                     message.payload == "online");
    }
}

TEST(BridgeFaults, ADeviceThatStopsAnsweringTurnsOfflineAndNothingElse) {
    devicesim::Behaviour rebooting;
    rebooting.resetSeconds = 2;
    RunningInstallation installation(rebooting, {"rx"});
    TestBroker broker;
    BridgeProcess bridge(bridgeConfiguration(broker, deviceLines(installation, {"rx"})));
    MqttProbe probe(broker.port());
    waitOnline(probe, bridge, {"rx"});
    ASSERT_TRUE(probe.waitFor(topic("rx", "state"), any, kWaitMs));
    const size_t mark = probe.count();
    const Json reset =
        resultOf(probe, topic("rx", "set"), topic("rx", "result"), "{\"reset\": true}");
    EXPECT_EQ(reset["result"], "done") << reset.dump();
    const auto offline = probe.waitFor(topic("rx", "availability"), "offline", kWaitMs, mark);
    ASSERT_TRUE(offline) << bridge.process().err();
    ASSERT_TRUE(probe.waitFor(topic("rx", "availability"), "online", kWaitMs, mark));
    EXPECT_TRUE(bridge.process().waitForStderr(
        "rx (127.0.0.1:" + std::to_string(installation.port("rx")) + ") stopped answering",
        kWaitMs));
    // The state and SystemInfo were left alone: nothing was cleared or published again.
    const std::vector<Received> messages = probe.messages();
    for (size_t i = mark; i < messages.size(); ++i) {
        const Received& message = messages[i];
        EXPECT_NE(message.topic, topic("rx", "state")) << message.payload;
        EXPECT_NE(message.topic, topic("rx", "sysinfo")) << message.payload;
    }
}

TEST(BridgeFaults, ARestartedBrokerIsReconnectedAndAKilledBridgeLeavesOffline) {
    RunningInstallation installation(devicesim::Behaviour(), {"rx"});
    TestBroker broker;
    BridgeProcess bridge(bridgeConfiguration(broker, deviceLines(installation, {"rx"})));
    {
        MqttProbe probe(broker.port());
        waitOnline(probe, bridge, {"rx"});
    }
    broker.stop();
    broker.start();
    // The new broker kept nothing; the bridge connects again and publishes it all anew.
    MqttProbe probe(broker.port());
    const auto online = probe.waitFor("site/room-12/bridge/availability", "online", kWaitMs);
    ASSERT_TRUE(online) << bridge.process().err();
    EXPECT_TRUE(probe.waitFor(topic("rx", "state"), any, kWaitMs));
    EXPECT_TRUE(probe.waitFor("homeassistant/button/site_room-12_rx/reset/config", any, kWaitMs));
    EXPECT_TRUE(bridge.process().waitForStderr("next attempt in 1 s", kWaitMs))
        << bridge.process().err();
    // Subscribed again: commands arrive.
    const Json command =
        resultOf(probe, topic("rx", "set"), topic("rx", "result"), "{\"audio\": \"none\"}");
    EXPECT_EQ(command["result"], "done") << command.dump();

    const size_t mark = probe.count();
    bridge.process().signal(SIGKILL);
    EXPECT_TRUE(probe.waitFor("site/room-12/bridge/availability", "offline", kWaitMs, mark));
    MqttProbe later(broker.port());
    const auto left = later.waitFor("site/room-12/bridge/availability", any, kWaitMs);
    ASSERT_TRUE(left);
    EXPECT_EQ(left->payload, "offline");
    EXPECT_TRUE(left->retained);
}

TEST(BridgeFaults, AStoppedBridgeMarksEverythingOfflineAndAWrongConfigurationStopsIt) {
    RunningInstallation installation(devicesim::Behaviour(), {"rx", "tx1"});
    TestBroker broker;
    BridgeProcess bridge(bridgeConfiguration(broker, deviceLines(installation, {"rx", "tx1"})));
    MqttProbe probe(broker.port());
    waitOnline(probe, bridge, {"rx", "tx1"});
    const size_t mark = probe.count();
    bridge.process().signal(SIGTERM);
    EXPECT_EQ(bridge.process().wait(kWaitMs), 0) << bridge.process().err();
    for (const char* device : {"rx", "tx1", "bridge"}) {
        EXPECT_TRUE(probe.waitFor(topic(device, "availability"), "offline", kWaitMs, mark))
            << device;
    }

    BridgeProcess wrong("broker = mqtt://127.0.0.1:1\nreceiver = rx 127.0.0.1:70000\n");
    EXPECT_EQ(wrong.process().wait(kWaitMs), 2);
    EXPECT_NE(wrong.process().err().find(wrong.configPath() + ":2: receiver: \"127.0.0.1:70000\""),
              std::string::npos)
        << wrong.process().err();
}

TEST(BridgeFaults, ABrokerWithTlsAndAPassword) {
    RunningInstallation installation(devicesim::Behaviour(), {"rx"});
    TestBroker broker(true);
    const std::string secured =
        "broker = mqtts://127.0.0.1:" + std::to_string(broker.securePort()) +
        "\nca_file = " + broker.caFile() + "\nusername = korvex\n";
    const std::string devices = deviceLines(installation, {"rx"})[0] + "\n";
    BridgeProcess bridge(secured + "password = secret\nprefix = site/room-12\n" + devices);
    MqttProbe probe(broker.port());
    waitOnline(probe, bridge, {"rx"});
    EXPECT_TRUE(probe.waitFor("site/room-12/bridge/availability", "online", kWaitMs));

    BridgeProcess refused(secured + "password = wrong\nprefix = site/room-13\n" + devices);
    EXPECT_TRUE(refused.process().waitForStderr("the broker refused the connection", kWaitMs))
        << refused.process().err();
    EXPECT_TRUE(refused.process().waitForStderr("next attempt in", kWaitMs))
        << refused.process().err();
    EXPECT_FALSE(probe.waitFor("site/room-13/bridge/availability", "online", 0));
}

}  // namespace
}  // namespace korvex_mqtt_test
