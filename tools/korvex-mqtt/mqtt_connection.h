// The connection to the MQTT broker, on libmosquitto: a network thread of its own that connects,
// reconnects with backoff after the broker goes away (1 s doubling up to 30 s), and on every
// (re)connection subscribes and publishes every retained message again, so that a broker that
// lost them (a restart without persistence) has them back. Its last will marks the bridge offline.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config.h"

struct mosquitto;
struct mosquitto_message;

namespace korvex_mqtt {

class MqttConnection {
  public:
    // Runs on the network thread for every message of a subscription; must return quickly.
    using MessageHandler =
        std::function<void(const std::string& topic, const std::string& payload)>;

    // `willTopic` gets "online" (retained) on every connection and "offline" as the last will.
    MqttConnection(const BrokerSettings& broker, std::string willTopic,
                   std::vector<std::string> subscriptions, MessageHandler onMessage);
    ~MqttConnection();  // stops, without the last words of stop()
    MqttConnection(const MqttConnection&) = delete;
    MqttConnection& operator=(const MqttConnection&) = delete;

    // Applies the settings (TLS files are checked here) and starts the network thread, which
    // keeps trying to connect. False with the reason in `error`.
    bool start(std::string& error);

    // Keeps `payload` as the retained message of `topic` and publishes it when it differs from
    // what the topic holds (or after the next connection). Any thread.
    void publishRetained(const std::string& topic, const std::string& payload);
    // Publishes once, not retained, when connected (nothing is kept for later). Any thread.
    void publish(const std::string& topic, const std::string& payload);

    // Publishes the last retained messages (the will topic's "offline" after them), disconnects
    // cleanly and ends the network thread, waiting at most about 2 s for the broker.
    void stop(const std::vector<std::pair<std::string, std::string>>& lastWords);

  private:
    static void onConnect(mosquitto* client, void* self, int result);
    static void onDisconnect(mosquitto* client, void* self, int result);
    static void onMessage(mosquitto* client, void* self, const mosquitto_message* message);
    void run();
    void sendLocked(const std::string& topic, const std::string& payload, bool retain, int qos = 1);
    bool waitForRetry(int seconds);

    BrokerSettings broker_;
    std::string willTopic_;
    std::vector<std::string> subscriptions_;
    MessageHandler onMessage_;
    mosquitto* client_ = nullptr;

    std::mutex mutex_;                             // guards the members below
    std::map<std::string, std::string> retained_;  // what every retained topic holds
    bool connected_ = false;
    bool leaving_ = false;   // stop() has asked for the disconnection
    bool stopping_ = false;  // the network thread ends now
    bool finished_ = false;  // the network thread has ended
    int retrySeconds_ = 1;
    std::condition_variable wake_;

    std::thread thread_;
};

}  // namespace korvex_mqtt
