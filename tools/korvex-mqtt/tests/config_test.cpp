// The configuration file: what a good one gives, and that a wrong line is named by its number.
#include <gtest/gtest.h>

#include "config.h"

namespace korvex_mqtt {
namespace {

TEST(Config, ReadsBrokerTopicsPollingAndDevices) {
    const std::string text =
        "# a room\n"
        "broker = mqtts://broker.example:8884\n"
        "  username = korvex  \n"
        "password = p#ss = word\n"
        "ca_file = /etc/ca.pem\n"
        "prefix = site/room-12\n"
        "discovery_prefix =\n"
        "poll_interval = 2.5\n"
        "timeout = 700\n"
        "receiver = rx 192.168.2.88\n"
        "transmitter = tx1 192.168.2.220:15381\n";
    BridgeConfig config;
    std::string error;
    ASSERT_TRUE(parseConfig(text, "k.conf", config, error)) << error;
    EXPECT_TRUE(config.broker.tls);
    EXPECT_EQ(config.broker.host, "broker.example");
    EXPECT_EQ(config.broker.port, 8884);
    EXPECT_EQ(config.broker.username, "korvex");
    EXPECT_EQ(config.broker.password, "p#ss = word");
    EXPECT_EQ(config.broker.caFile, "/etc/ca.pem");
    EXPECT_EQ(config.broker.clientId, "korvex-mqtt-site-room-12");
    EXPECT_EQ(config.prefix, "site/room-12");
    EXPECT_EQ(config.discoveryPrefix, "");
    EXPECT_EQ(config.pollIntervalMs, 2500);
    EXPECT_EQ(config.timeoutMs, 700);
    ASSERT_EQ(config.devices.size(), 2u);
    EXPECT_TRUE(config.devices[0].receiver);
    EXPECT_EQ(config.devices[0].address(), "192.168.2.88:15380");
    EXPECT_FALSE(config.devices[1].receiver);
    EXPECT_EQ(config.devices[1].name, "tx1");
    EXPECT_EQ(config.devices[1].address(), "192.168.2.220:15381");

    ASSERT_TRUE(parseConfig("broker = mqtt://[::1]\nreceiver = rx h\n", "k", config, error));
    EXPECT_EQ(config.broker.host, "::1");
    EXPECT_EQ(config.broker.port, 1883);
    EXPECT_FALSE(config.broker.tls);
    EXPECT_EQ(config.discoveryPrefix, "homeassistant");
}

TEST(Config, AWrongLineIsNamed) {
    const std::string device = "receiver = rx 10.0.0.1\n";
    struct Case {
        std::string text;
        std::string says;
    };
    const std::vector<Case> cases = {
        {"brokr = mqtt://h\n" + device, "k.conf:1: no setting \"brokr\""},
        {"broker = http://h\n" + device, "k.conf:1: broker: \"http://h\" is not mqtt://"},
        {"broker = mqtt://h:0\n" + device, "k.conf:1: broker: \"mqtt://h:0\""},
        {device + "prefix = site/#\n", "k.conf:2: prefix: \"site/#\" is no topic prefix"},
        {device + "prefix = /site\n", "k.conf:2: prefix: \"/site\" is no topic prefix"},
        {device + "poll_interval = 0.1\n", "k.conf:2: poll_interval: \"0.1\" is not 0.2..3600"},
        {device + "timeout = soon\n", "k.conf:2: timeout: \"soon\" is not 100..60000"},
        {device + "just words\n", "k.conf:2: not a \"key = value\" line"},
        {device + "transmitter = tx1\n", "k.conf:2: transmitter: give NAME ADDRESS[:PORT]"},
        {device + "transmitter = rx 10.0.0.2\n", "k.conf:2: transmitter: the name \"rx\" is taken"},
        {device + "transmitter = bridge 10.0.0.2\n",
         "k.conf:2: transmitter: \"bridge\" is no device name"},
        {device + "transmitter = tx/1 10.0.0.2\n",
         "k.conf:2: transmitter: \"tx/1\" is no device name"},
        {device + "transmitter = tx1 10.0.0.2:70000\n",
         "k.conf:2: transmitter: \"10.0.0.2:70000\" is not ADDRESS[:PORT]"},
        {"broker = mqtt://h\n", "k.conf: no device"},
        {device + "ca_file = /ca.pem\n", "k.conf: ca_file, ca_path, cert_file and key_file need"},
        {"broker = mqtts://h\ncert_file = /c.pem\n" + device,
         "k.conf: cert_file and key_file go together"},
        {device + "password = x\n", "k.conf: a password needs a username"},
    };
    for (const Case& c : cases) {
        BridgeConfig config;
        std::string error;
        EXPECT_FALSE(parseConfig(c.text, "k.conf", config, error)) << c.text;
        EXPECT_EQ(error.find(c.says), 0u) << "expected: " << c.says << "\ngot: " << error;
    }
    BridgeConfig config;
    std::string error;
    EXPECT_FALSE(readConfig("/nonexistent/korvex-mqtt.conf", config, error));
    EXPECT_EQ(error, "/nonexistent/korvex-mqtt.conf: cannot be read");
}

}  // namespace
}  // namespace korvex_mqtt
