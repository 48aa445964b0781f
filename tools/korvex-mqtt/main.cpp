// korvex-mqtt: an installation's devices on an MQTT broker. Reads its configuration, runs the
// bridge until SIGTERM or SIGINT, and then marks everything offline and disconnects cleanly.
#include <mosquitto.h>
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "Korvex.h"
#include "bridge.h"

#ifndef KORVEX_MQTT_VERSION
#define KORVEX_MQTT_VERSION "0"
#endif

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitConfiguration = 2;

const char kDefaultConfig[] = "/etc/korvex-mqtt.conf";

void printUsage() {
    std::printf(
        "Usage: korvex-mqtt [--config FILE] [--check]\n"
        "\n"
        "Publishes the devices of an HDMI-over-IP installation on an MQTT broker (availability,\n"
        "SystemInfo and state, retained; Home Assistant's discovery) and takes commands on\n"
        "<prefix>/<device>/set, answered on <prefix>/<device>/result.\n"
        "\n"
        "  --config FILE  the configuration (default %s)\n"
        "  --check        read the configuration, tell what it names, and end\n"
        "  --version      the program's version\n"
        "\n"
        "Exit status: 0 stopped by SIGTERM or SIGINT (or --check passed); 1 the bridge could not\n"
        "start; 2 the command line or the configuration is wrong.\n",
        kDefaultConfig);
}

void printCheck(const korvex_mqtt::BridgeConfig& config) {
    std::printf("broker %s://%s:%d as %s%s\n", config.broker.tls ? "mqtts" : "mqtt",
                config.broker.host.c_str(), config.broker.port, config.broker.clientId.c_str(),
                config.broker.username.empty() ? "" : (", user " + config.broker.username).c_str());
    std::printf("topics %s/<device>/..., discovery %s, poll every %d ms\n", config.prefix.c_str(),
                config.discoveryPrefix.empty() ? "off" : config.discoveryPrefix.c_str(),
                config.pollIntervalMs);
    for (const auto& device : config.devices) {
        std::printf("%s %s at %s\n", device.receiver ? "receiver" : "transmitter",
                    device.name.c_str(), device.address().c_str());
    }
}

// Waits for SIGTERM or SIGINT, which every thread has blocked since the start.
void waitForTheEnd(const sigset_t& signals) {
    int signal = 0;
    sigwait(&signals, &signal);
    std::fprintf(stderr, "korvex-mqtt: %s: stopping\n", strsignal(signal));
}

}  // namespace

int main(int argc, char** argv) {
    std::string path = kDefaultConfig;
    bool check = false;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--config" && i + 1 < argc) {
            path = argv[++i];
        } else if (word == "--check") {
            check = true;
        } else if (word == "--help" || word == "-h") {
            printUsage();
            return 0;
        } else if (word == "--version") {
            std::printf("korvex-mqtt %s\n", KORVEX_MQTT_VERSION);
            return 0;
        } else {
            std::fprintf(stderr, "korvex-mqtt: unexpected \"%s\"\nTry 'korvex-mqtt --help'.\n",
                         word.c_str());
            return kExitConfiguration;
        }
    }
    korvex_mqtt::BridgeConfig config;
    std::string error;
    if (!korvex_mqtt::readConfig(path, config, error)) {
        std::fprintf(stderr, "korvex-mqtt: %s\n", error.c_str());
        return kExitConfiguration;
    }
    if (check) {
        printCheck(config);
        return 0;
    }

    // Blocked before any thread starts, so that every thread inherits it and only sigwait sees
    // the signals. Writes to a broker that has gone must not end the process.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    mosquitto_lib_init();
    KORVEX_Init();
    int status = 0;
    {
        korvex_mqtt::Bridge bridge(config);
        if (bridge.start(error)) {
            waitForTheEnd(signals);
            bridge.stop();
        } else {
            std::fprintf(stderr, "korvex-mqtt: %s\n", error.c_str());
            status = kExitFailed;
        }
    }
    KORVEX_Exit();
    mosquitto_lib_cleanup();
    return status;
}
