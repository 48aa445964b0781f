#include "mqtt_connection.h"

#include <mosquitto.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace korvex_mqtt {

namespace {

constexpr int kQos = 1;
constexpr int kLoopWaitMs = 200;
constexpr int kLongestRetrySeconds = 30;
constexpr int kStopWaitMs = 2000;
const char kOnline[] = "online";
const char kOffline[] = "offline";

const char* textOrNull(const std::string& text) {
    return text.empty() ? nullptr : text.c_str();
}

}  // namespace

MqttConnection::MqttConnection(const BrokerSettings& broker, std::string willTopic,
                               std::vector<std::string> subscriptions, MessageHandler onMessage)
    : broker_(broker),
      willTopic_(std::move(willTopic)),
      subscriptions_(std::move(subscriptions)),
      onMessage_(std::move(onMessage)) {}

MqttConnection::~MqttConnection() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
    mosquitto_destroy(client_);
}

bool MqttConnection::start(std::string& error) {
    // A clean session: the subscriptions are made again on every connection.
    client_ = mosquitto_new(textOrNull(broker_.clientId), true, this);
    if (client_ == nullptr) {
        error = "no MQTT client (out of memory)";
        return false;
    }
    // Our own network thread runs mosquitto_loop; other threads publish.
    mosquitto_threaded_set(client_, true);
    mosquitto_connect_callback_set(client_, onConnect);
    mosquitto_disconnect_callback_set(client_, onDisconnect);
    mosquitto_message_callback_set(client_, onMessage);
    int result =
        mosquitto_will_set(client_, willTopic_.c_str(), sizeof kOffline - 1, kOffline, kQos, true);
    if (result == MOSQ_ERR_SUCCESS && !broker_.username.empty()) {
        result = mosquitto_username_pw_set(client_, broker_.username.c_str(),
                                           textOrNull(broker_.password));
    }
    if (result == MOSQ_ERR_SUCCESS && broker_.tls) {
        const bool systemAuthorities = broker_.caFile.empty() && broker_.caPath.empty();
        result =
            mosquitto_tls_set(client_, textOrNull(broker_.caFile),
                              systemAuthorities ? "/etc/ssl/certs" : textOrNull(broker_.caPath),
                              textOrNull(broker_.certFile), textOrNull(broker_.keyFile), nullptr);
    }
    if (result != MOSQ_ERR_SUCCESS) {
        error = std::string("MQTT settings not taken: ") + mosquitto_strerror(result) +
                (broker_.tls ? " (are the TLS files there and readable?)" : "");
        return false;
    }
    retained_[willTopic_] = kOnline;
    thread_ = std::thread(&MqttConnection::run, this);
    return true;
}

void MqttConnection::sendLocked(const std::string& topic, const std::string& payload, bool retain,
                                int qos) {
    if (connected_) {
        // A failure here is a lost connection, which the next connection makes good.
        mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), qos, retain);
    }
}

void MqttConnection::publishRetained(const std::string& topic, const std::string& payload) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = retained_.find(topic);
    if (found != retained_.end() && found->second == payload) {
        return;
    }
    retained_[topic] = payload;
    sendLocked(topic, payload, true);
}

void MqttConnection::publish(const std::string& topic, const std::string& payload) {
    std::lock_guard<std::mutex> lock(mutex_);
    sendLocked(topic, payload, false);
}

void MqttConnection::onConnect(mosquitto* client, void* self, int result) {
    auto* connection = static_cast<MqttConnection*>(self);
    if (result != 0) {
        std::fprintf(stderr, "korvex-mqtt: the broker refused the connection: %s\n",
                     mosquitto_connack_string(result));
        return;
    }
    std::fprintf(stderr, "korvex-mqtt: connected to %s:%d\n", connection->broker_.host.c_str(),
                 connection->broker_.port);
    for (const std::string& topic : connection->subscriptions_) {
        mosquitto_subscribe(client, nullptr, topic.c_str(), kQos);
    }
    std::lock_guard<std::mutex> lock(connection->mutex_);
    connection->connected_ = true;
    connection->retrySeconds_ = 1;
    // The bridge's own availability first, then everything else it stands for.
    connection->sendLocked(connection->willTopic_, kOnline, true);
    for (const auto& entry : connection->retained_) {
        if (entry.first != connection->willTopic_) {
            connection->sendLocked(entry.first, entry.second, true);
        }
    }
}

void MqttConnection::onDisconnect(mosquitto*, void* self, int result) {
    auto* connection = static_cast<MqttConnection*>(self);
    std::lock_guard<std::mutex> lock(connection->mutex_);
    if (connection->connected_ && result != 0) {
        std::fprintf(stderr, "korvex-mqtt: lost the broker (%s)\n", mosquitto_strerror(result));
    }
    connection->connected_ = false;
}

void MqttConnection::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* connection = static_cast<MqttConnection*>(self);
    const auto* bytes = static_cast<const char*>(message->payload);
    connection->onMessage_(
        message->topic,
        std::string(bytes, bytes == nullptr ? 0 : static_cast<size_t>(message->payloadlen)));
}

// Waits before the next attempt; false when stopped meanwhile.
bool MqttConnection::waitForRetry(int seconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait_for(lock, std::chrono::seconds(seconds), [this] { return stopping_ || leaving_; });
    if (stopping_ || leaving_) {
        finished_ = true;
        wake_.notify_all();
        return false;
    }
    return true;
}

void MqttConnection::run() {
    int result = mosquitto_connect_async(client_, broker_.host.c_str(), broker_.port,
                                         broker_.keepaliveSeconds);
    for (;;) {
        if (result == MOSQ_ERR_SUCCESS) {
            result = mosquitto_loop(client_, kLoopWaitMs, 1);
        }
        int seconds = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            // Leaving, the loop runs until the disconnection is out (or stop gives up on it).
            if (stopping_ || (leaving_ && result != MOSQ_ERR_SUCCESS)) {
                finished_ = true;
                wake_.notify_all();
                return;
            }
            if (result == MOSQ_ERR_SUCCESS) {
                continue;
            }
            seconds = retrySeconds_;
            retrySeconds_ = std::min(retrySeconds_ * 2, kLongestRetrySeconds);
        }
        std::fprintf(stderr, "korvex-mqtt: no broker at %s:%d (%s); next attempt in %d s\n",
                     broker_.host.c_str(), broker_.port, mosquitto_strerror(result), seconds);
        if (!waitForRetry(seconds)) {
            return;
        }
        result = mosquitto_reconnect_async(client_);
    }
}

void MqttConnection::stop(const std::vector<std::pair<std::string, std::string>>& lastWords) {
    if (!thread_.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // QoS 0: these go out at once, before the disconnection, however many QoS 1 messages
        // still wait for their acknowledgement.
        for (const auto& words : lastWords) {
            retained_[words.first] = words.second;
            sendLocked(words.first, words.second, true, 0);
        }
        sendLocked(willTopic_, kOffline, true, 0);
        leaving_ = true;
    }
    wake_.notify_all();
    // A clean disconnection drops the will, so the "offline" above stands in for it.
    mosquitto_disconnect(client_);
    {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait_for(lock, std::chrono::milliseconds(kStopWaitMs), [this] { return finished_; });
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

}  // namespace korvex_mqtt
