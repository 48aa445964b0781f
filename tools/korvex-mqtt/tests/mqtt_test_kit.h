// What the bridge's tests run it against: a mosquitto broker of their own on 127.0.0.1 and a free
// port (never 1883, so that a broker of the machine's plays no part), a client on libmosquitto
// that records every message, and the bridge as a child process with a configuration file.
#pragma once

#include <mosquitto.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "record_json.h"
#include "running_installation.h"

namespace korvex_mqtt_test {

using devicesim_test::ChildProcess;
using korvexctl::Json;

// A folder of its own under /tmp, removed with its files.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    // Writes `text` into the file `name` of the folder; returns its path.
    std::string write(const std::string& name, const std::string& text) const;
    std::string path(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// A port on 127.0.0.1 that was free a moment ago (not 1883).
uint16_t freePort();

// Runs a program to its end (at most 20 s); true when it exited with 0.
bool runProgram(const std::string& path, const std::vector<std::string>& arguments);

// mosquitto, listening on 127.0.0.1 on a free port with anonymous clients. With `secured`, a
// second listener takes TLS (a certificate of its own for 127.0.0.1, in caFile()) and the user
// "korvex" with password "secret" only.
class TestBroker {
  public:
    explicit TestBroker(bool secured = false);
    ~TestBroker();

    uint16_t port() const { return port_; }
    uint16_t securePort() const { return securePort_; }
    std::string caFile() const { return folder_.path("ca.pem"); }

    // Ends the broker (SIGTERM), which keeps nothing: its retained messages are gone.
    void stop();
    // Starts it again on the same ports.
    void start();

  private:
    ScratchFolder folder_;
    uint16_t port_ = 0;
    uint16_t securePort_ = 0;
    std::unique_ptr<ChildProcess> process_;
};

struct Received {
    std::string topic;
    std::string payload;
    bool retained = false;
};

// A client that subscribes to "#" and records every message.
class MqttProbe {
  public:
    explicit MqttProbe(uint16_t port);
    ~MqttProbe();
    MqttProbe(const MqttProbe&) = delete;
    MqttProbe& operator=(const MqttProbe&) = delete;

    // How many messages have come so far: `from` for the waits below, to wait for later ones.
    size_t count() const;
    // The first message on `topic` from the `from`th on whose payload `match` takes, waiting up to
    // `timeoutMs`; nothing when none came.
    std::optional<Received> waitFor(const std::string& topic,
                                    const std::function<bool(const std::string&)>& match,
                                    int timeoutMs, size_t from = 0);
    // The same for a payload that is exactly `payload`.
    std::optional<Received> waitFor(const std::string& topic, const std::string& payload,
                                    int timeoutMs, size_t from = 0);
    // The same for a JSON payload that `match` takes.
    std::optional<Received> waitForJson(const std::string& topic,
                                        const std::function<bool(const Json&)>& match,
                                        int timeoutMs, size_t from = 0);
    std::vector<Received> messages() const;
    void publish(const std::string& topic, const std::string& payload);

  private:
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void onSubscribe(mosquitto*, void* self, int, int, const int*);

    mosquitto* client_ = nullptr;
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Received> messages_;
    bool subscribed_ = false;
};

// korvex-mqtt as a child process, with `configuration` as its file.
class BridgeProcess {
  public:
    explicit BridgeProcess(const std::string& configuration);
    ChildProcess& process() { return *process_; }
    const std::string& configPath() const { return configPath_; }

  private:
    ScratchFolder folder_;
    std::string configPath_;
    std::unique_ptr<ChildProcess> process_;
};

// "receiver = rx 127.0.0.1:PORT", "transmitter = tx1 127.0.0.1:PORT" for `roles` of `installation`.
std::vector<std::string> deviceLines(const devicesim_test::RunningInstallation& installation,
                                     const std::vector<std::string>& roles);

// "site/room-12/<device>/<leaf>".
std::string topic(const std::string& device, const std::string& leaf);

// A configuration for the bridge against `broker` with the topic prefix "site/room-12", quick
// polls, and `devices` ("receiver = rx 127.0.0.1:PORT" lines).
std::string bridgeConfiguration(const TestBroker& broker, const std::vector<std::string>& devices);

}  // namespace korvex_mqtt_test
