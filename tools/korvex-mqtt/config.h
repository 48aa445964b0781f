// The bridge's configuration file (/etc/korvex-mqtt.conf): "key = value" lines, # comments.
#pragma once

#include <string>
#include <vector>

namespace korvex_mqtt {

constexpr int kDefaultDevicePort = 15380;

struct BrokerSettings {
    std::string host = "localhost";
    int port = 1883;
    bool tls = false;  // mqtts://
    std::string username;
    std::string password;
    std::string caFile;  // TLS: the broker's certificate authority (default: the system's)
    std::string caPath;
    std::string certFile;  // TLS: a client certificate and its key, both or neither
    std::string keyFile;
    std::string clientId;  // default: korvex-mqtt-PREFIX, "/" as "-"
    int keepaliveSeconds = 30;
};

struct DeviceSettings {
    std::string name;  // in topics: <prefix>/<name>/...
    bool receiver = false;
    std::string host;
    int port = kDefaultDevicePort;

    std::string address() const { return host + ":" + std::to_string(port); }
};

struct BridgeConfig {
    BrokerSettings broker;
    std::string prefix = "korvex";
    std::string discoveryPrefix = "homeassistant";  // empty: no Home Assistant discovery
    int pollIntervalMs = 5000;
    int timeoutMs = 1000;  // each send and receive of a poll's requests
    std::vector<DeviceSettings> devices;
};

// Parses the file's text. False with "FILE:LINE: what is wrong" in `error`.
bool parseConfig(const std::string& text, const std::string& fileName, BridgeConfig& out,
                 std::string& error);

// Reads and parses the file.
bool readConfig(const std::string& path, BridgeConfig& out, std::string& error);

}  // namespace korvex_mqtt
