#include "config.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace korvex_mqtt {

namespace {

std::string trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool wholeNumber(const std::string& text, long minimum, long maximum, int& out) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) {
        return false;
    }
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || value < minimum || value > maximum) {
        return false;
    }
    out = static_cast<int>(value);
    return true;
}

// "HOST" or "HOST:PORT" ("[v6]:PORT" too); false when the port is no port.
bool hostAndPort(const std::string& text, std::string& host, int& port) {
    std::string rest = text;
    if (!rest.empty() && rest[0] == '[') {
        const size_t close = rest.find(']');
        if (close == std::string::npos) {
            return false;
        }
        host = rest.substr(1, close - 1);
        rest = rest.substr(close + 1);
        return rest.empty() || (rest[0] == ':' && wholeNumber(rest.substr(1), 1, 65535, port));
    }
    const size_t colon = rest.rfind(':');
    host = rest.substr(0, colon);
    return colon == std::string::npos || wholeNumber(rest.substr(colon + 1), 1, 65535, port);
}

bool parseBroker(const std::string& url, BrokerSettings& broker, std::string& error) {
    std::string rest;
    if (url.compare(0, 7, "mqtt://") == 0) {
        broker.tls = false;
        broker.port = 1883;
        rest = url.substr(7);
    } else if (url.compare(0, 8, "mqtts://") == 0) {
        broker.tls = true;
        broker.port = 8883;
        rest = url.substr(8);
    } else {
        error = "broker: \"" + url + "\" is not mqtt://HOST[:PORT] or mqtts://HOST[:PORT]";
        return false;
    }
    if (!rest.empty() && rest.back() == '/') {
        rest.pop_back();
    }
    if (!hostAndPort(rest, broker.host, broker.port) || broker.host.empty() ||
        broker.host.find('/') != std::string::npos) {
        error = "broker: \"" + url + "\" is not mqtt://HOST[:PORT] or mqtts://HOST[:PORT]";
        return false;
    }
    return true;
}

// Topic levels: no wildcards, no empty level, not starting or ending with "/".
bool isTopicPrefix(const std::string& prefix) {
    return !prefix.empty() && prefix.find_first_of("+#") == std::string::npos &&
           prefix.front() != '/' && prefix.back() != '/' && prefix.find("//") == std::string::npos;
}

bool isDeviceName(const std::string& name) {
    if (name.empty() || name == "bridge") {
        return false;
    }
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') {
            return false;
        }
    }
    return true;
}

bool parseDevice(const std::string& key, const std::string& value, BridgeConfig& config,
                 std::string& error) {
    std::istringstream words(value);
    DeviceSettings device;
    std::string address;
    std::string extra;
    device.receiver = key == "receiver";
    if (!(words >> device.name >> address) || (words >> extra)) {
        error = key + ": give NAME ADDRESS[:PORT], such as \"" + key + " = " +
                (device.receiver ? "rx 192.168.2.88" : "tx1 192.168.2.220") + "\"";
        return false;
    }
    if (!isDeviceName(device.name)) {
        error = key + ": \"" + device.name +
                "\" is no device name (letters, digits, - and _; not \"bridge\")";
        return false;
    }
    if (!hostAndPort(address, device.host, device.port) || device.host.empty() ||
        device.host.size() > 63) {
        error = key + ": \"" + address + "\" is not ADDRESS[:PORT] (an address of at most 63 " +
                "characters, a port 1..65535)";
        return false;
    }
    for (const DeviceSettings& other : config.devices) {
        if (other.name == device.name) {
            error = key + ": the name \"" + device.name + "\" is taken";
            return false;
        }
    }
    config.devices.push_back(device);
    return true;
}

bool parseSetting(const std::string& key, const std::string& value, BridgeConfig& config,
                  std::string& error) {
    BrokerSettings& broker = config.broker;
    std::string* text = key == "username"    ? &broker.username
                        : key == "password"  ? &broker.password
                        : key == "ca_file"   ? &broker.caFile
                        : key == "ca_path"   ? &broker.caPath
                        : key == "cert_file" ? &broker.certFile
                        : key == "key_file"  ? &broker.keyFile
                        : key == "client_id" ? &broker.clientId
                                             : nullptr;
    if (text != nullptr) {
        *text = value;
        return true;
    }
    if (key == "broker") {
        return parseBroker(value, broker, error);
    }
    if (key == "receiver" || key == "transmitter") {
        return parseDevice(key, value, config, error);
    }
    if (key == "prefix" || key == "discovery_prefix") {
        if (!isTopicPrefix(value) && !(key == "discovery_prefix" && value.empty())) {
            error = key + ": \"" + value + "\" is no topic prefix (levels joined by /, no + or #)";
            return false;
        }
        (key == "prefix" ? config.prefix : config.discoveryPrefix) = value;
        return true;
    }
    if (key == "poll_interval") {
        char* end = nullptr;
        const double seconds = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !(seconds >= 0.2 && seconds <= 3600)) {
            error = "poll_interval: \"" + value + "\" is not 0.2..3600 seconds";
            return false;
        }
        config.pollIntervalMs = static_cast<int>(std::lround(seconds * 1000));
        return true;
    }
    if (key == "timeout") {
        if (!wholeNumber(value, 100, 60000, config.timeoutMs)) {
            error = "timeout: \"" + value + "\" is not 100..60000 milliseconds";
            return false;
        }
        return true;
    }
    error = "no setting \"" + key + "\"";
    return false;
}

// What the settings must be together.
bool checkConfig(const BridgeConfig& config, std::string& error) {
    const BrokerSettings& broker = config.broker;
    if (config.devices.empty()) {
        error = "no device: name them with receiver = NAME ADDRESS and transmitter = NAME ADDRESS";
    } else if (broker.certFile.empty() != broker.keyFile.empty()) {
        error = "cert_file and key_file go together";
    } else if (!broker.tls && !(broker.caFile + broker.caPath + broker.certFile).empty()) {
        error = "ca_file, ca_path, cert_file and key_file need an mqtts:// broker";
    } else if (!broker.password.empty() && broker.username.empty()) {
        error = "a password needs a username";
    } else {
        return true;
    }
    return false;
}

}  // namespace

bool parseConfig(const std::string& text, const std::string& fileName, BridgeConfig& out,
                 std::string& error) {
    BridgeConfig config;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        const std::string content = trim(line);
        if (content.empty() || content[0] == '#') {
            continue;
        }
        const size_t equals = content.find('=');
        const std::string where = fileName + ":" + std::to_string(number) + ": ";
        if (equals == std::string::npos) {
            error = where + "not a \"key = value\" line";
            return false;
        }
        if (!parseSetting(trim(content.substr(0, equals)), trim(content.substr(equals + 1)), config,
                          error)) {
            error.insert(0, where);
            return false;
        }
    }
    if (!checkConfig(config, error)) {
        error = fileName + ": " + error;
        return false;
    }
    if (config.broker.clientId.empty()) {
        config.broker.clientId = "korvex-mqtt-" + config.prefix;
        std::replace(config.broker.clientId.begin(), config.broker.clientId.end(), '/', '-');
    }
    out = config;
    return true;
}

bool readConfig(const std::string& path, BridgeConfig& out, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    return parseConfig(text.str(), path, out, error);
}

}  // namespace korvex_mqtt
