#include "mqtt_test_kit.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace korvex_mqtt_test {

namespace {

constexpr int kStartMs = 10000;

}  // namespace

ScratchFolder::ScratchFolder() {
    char pattern[] = "/tmp/korvex-mqtt-test.XXXXXX";
    const char* made = ::mkdtemp(pattern);
    EXPECT_NE(made, nullptr);
    path_ = made != nullptr ? made : "/tmp";
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ScratchFolder::write(const std::string& name, const std::string& text) const {
    std::ofstream(path(name), std::ios::binary) << text;
    return path(name);
}

uint16_t freePort() {
    for (;;) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        ::close(fd);
        const uint16_t port = ntohs(address.sin_port);
        if (port != 0 && port != 1883) {
            return port;
        }
    }
}

bool runProgram(const std::string& path, const std::vector<std::string>& arguments) {
    ChildProcess child(path, arguments);
    const int status = child.wait(20000);
    EXPECT_EQ(status, 0) << path << ": " << child.err();
    return status == 0;
}

TestBroker::TestBroker(bool secured) {
    port_ = freePort();
    std::string text = "per_listener_settings true\npersistence false\nlog_dest stderr\n";
    text += "listener " + std::to_string(port_) + " 127.0.0.1\nallow_anonymous true\n";
    if (secured) {
        securePort_ = freePort();
        runProgram(OPENSSL_PATH, {"req", "-x509", "-newkey", "ec", "-pkeyopt",
                                  "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj",
                                  "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                                  "-keyout", folder_.path("key.pem"), "-out", caFile()});
        runProgram(MOSQUITTO_PASSWD_PATH,
                   {"-b", "-c", folder_.path("passwords"), "korvex", "secret"});
        // Started as root, mosquitto reads these as the user "mosquitto".
        namespace fs = std::filesystem;
        fs::permissions(folder_.path(""), fs::perms::others_read | fs::perms::others_exec,
                        fs::perm_options::add);
        for (const char* file : {"passwords", "key.pem"}) {
            fs::permissions(folder_.path(file), fs::perms::others_read, fs::perm_options::add);
        }
        text += "listener " + std::to_string(securePort_) + " 127.0.0.1\ncertfile " + caFile() +
                "\nkeyfile " + folder_.path("key.pem") + "\nallow_anonymous false\n" +
                "password_file " + folder_.path("passwords") + "\n";
    }
    folder_.write("mosquitto.conf", text);
    start();
}

TestBroker::~TestBroker() {
    stop();
}

void TestBroker::start() {
    process_ = std::make_unique<ChildProcess>(
        MOSQUITTO_PATH, std::vector<std::string>{"-c", folder_.path("mosquitto.conf")});
    ASSERT_TRUE(process_->waitForStderr(" running", kStartMs)) << process_->err();
}

void TestBroker::stop() {
    if (process_) {
        process_->signal(SIGTERM);
        EXPECT_EQ(process_->wait(kStartMs), 0) << process_->err();
        process_.reset();
    }
}

MqttProbe::MqttProbe(uint16_t port) {
    mosquitto_lib_init();
    client_ = mosquitto_new(nullptr, true, this);
    mosquitto_message_callback_set(client_, onMessage);
    mosquitto_subscribe_callback_set(client_, onSubscribe);
    EXPECT_EQ(mosquitto_connect(client_, "127.0.0.1", port, 30), MOSQ_ERR_SUCCESS);
    EXPECT_EQ(mosquitto_loop_start(client_), MOSQ_ERR_SUCCESS);
    EXPECT_EQ(mosquitto_subscribe(client_, nullptr, "#", 1), MOSQ_ERR_SUCCESS);
    std::unique_lock<std::mutex> lock(mutex_);
    EXPECT_TRUE(arrived_.wait_for(lock, std::chrono::milliseconds(kStartMs),
                                  [this] { return subscribed_; }));
}

MqttProbe::~MqttProbe() {
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, false);
    mosquitto_destroy(client_);
}

void MqttProbe::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* probe = static_cast<MqttProbe*>(self);
    const auto* bytes = static_cast<const char*>(message->payload);
    std::lock_guard<std::mutex> lock(probe->mutex_);
    probe->messages_.push_back(Received{
        message->topic, std::string(bytes, bytes == nullptr ? 0 : size_t(message->payloadlen)),
        message->retain});
    probe->arrived_.notify_all();
}

void MqttProbe::onSubscribe(mosquitto*, void* self, int, int, const int*) {
    auto* probe = static_cast<MqttProbe*>(self);
    std::lock_guard<std::mutex> lock(probe->mutex_);
    probe->subscribed_ = true;
    probe->arrived_.notify_all();
}

size_t MqttProbe::count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_.size();
}

std::optional<Received> MqttProbe::waitFor(const std::string& topic,
                                           const std::function<bool(const std::string&)>& match,
                                           int timeoutMs, size_t from) {
    std::unique_lock<std::mutex> lock(mutex_);
    std::optional<Received> found;
    arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (size_t i = from; i < messages_.size() && !found; ++i) {
            if (messages_[i].topic == topic && match(messages_[i].payload)) {
                found = messages_[i];
            }
        }
        return found.has_value();
    });
    return found;
}

std::optional<Received> MqttProbe::waitFor(const std::string& topic, const std::string& payload,
                                           int timeoutMs, size_t from) {
    return waitFor(
        topic, [&](const std::string& text) { return text == payload; }, timeoutMs, from);
}

std::optional<Received> MqttProbe::waitForJson(const std::string& topic,
                                               const std::function<bool(const Json&)>& match,
                                               int timeoutMs, size_t from) {
    return waitFor(
        topic,
        [&](const std::string& text) {
            const Json value = Json::parse(text, nullptr, false);
            return !value.is_discarded() && match(value);
        },
        timeoutMs, from);
}

std::vector<Received> MqttProbe::messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

void MqttProbe::publish(const std::string& topic, const std::string& payload) {
    EXPECT_EQ(mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                                payload.data(), 1, false),
              MOSQ_ERR_SUCCESS);
}

BridgeProcess::BridgeProcess(const std::string& configuration) {
    configPath_ = folder_.write("korvex-mqtt.conf", configuration);
    process_ = std::make_unique<ChildProcess>(KORVEX_MQTT_PATH,
                                              std::vector<std::string>{"--config", configPath_});
}

std::vector<std::string> deviceLines(const devicesim_test::RunningInstallation& installation,
                                     const std::vector<std::string>& roles) {
    std::vector<std::string> lines;
    for (const std::string& role : roles) {
        lines.push_back((role == "rx" ? "receiver = " : "transmitter = ") + role +
                        " 127.0.0.1:" + std::to_string(installation.port(role)));
    }
    return lines;
}

std::string topic(const std::string& device, const std::string& leaf) {
    return "site/room-12/" + device + "/" + leaf;
}

std::string bridgeConfiguration(const TestBroker& broker, const std::vector<std::string>& devices) {
    std::string text = "broker = mqtt://127.0.0.1:" + std::to_string(broker.port()) +
                       "\nprefix = site/room-12\npoll_interval = 0.3\n";
    for (const std::string& device : devices) {
        text += device + "\n";
    }
    return text;
}

}  // namespace korvex_mqtt_test
