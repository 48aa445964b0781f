// One emulated device on its address and port: accepts connections, answers one request per
// connection (PLAY keeps it for the stream, UPGRADE for the image), and reboots on SYSTEM_RESET by
// refusing connections for a while.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "answer.h"
#include "device_state.h"
#include "media_loop.h"
#include "net.h"
#include "options.h"
#include "request.h"

namespace devicesim {

class DeviceServer {
  public:
    DeviceServer(const DeviceIdentity& identity, Installation& installation, LoopCache& loops,
                 const Behaviour& behaviour, const StopSignal& stop);
    ~DeviceServer();
    DeviceServer(const DeviceServer&) = delete;
    DeviceServer& operator=(const DeviceServer&) = delete;

    // Binds the listening socket and starts accepting.
    bool start(std::string& error);
    // Waits for every thread of the device; the owner raises the stop signal first.
    void join();

    uint16_t port() const { return port_; }
    DeviceState& state() { return state_; }
    bool rebooting() const { return rebooting_.load(); }
    int activeStreams() const { return activeStreams_.load(); }

  private:
    struct Connection {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void acceptLoop();
    void acceptPending();
    void reboot();
    bool requestReset();
    void reapConnections(bool all);
    void serve(Fd connection, const sockaddr_in& peer);
    // Reads the request head into `head` (and what came after it into `rest`); false, the
    // connection logged and answered where it takes an answer, when there is none.
    bool takeRequestHead(int fd, const std::string& peer, std::string& head, std::string& rest);
    void serveUpgrade(int fd, const std::string& peer, const Request& request, int64_t length,
                      const std::string& rest);
    // Reads a command's body of `length` bytes into the request; false when it did not come.
    bool takeBody(int fd, const std::string& peer, Request& request, int64_t length,
                  std::string& note);
    void serveCommand(int fd, const std::string& peer, const Request& request, std::string note);
    void servePlay(int fd, const std::string& peer, const sockaddr_in& peerAddress,
                   const Request& request);
    // The device no longer answers anything (--mute-after).
    bool muted() const;
    // Sends an answer with the configured faults; false when the connection must close.
    bool sendAnswer(int fd, const Answer& answer);
    void logExchange(const std::string& peer, const Request& request, const Answer& answer,
                     const std::string& note) const;

    DeviceState state_;
    LoopCache& loops_;
    const Behaviour& behaviour_;
    const StopSignal& stop_;
    Fd listener_;
    WakeSignal wake_;
    uint16_t port_ = 0;
    std::chrono::steady_clock::time_point startedAt_;

    std::mutex resetMutex_;
    std::condition_variable resetTaken_;
    bool resetPending_ = false;
    std::atomic<uint32_t> resetCount_{0};
    std::atomic<bool> rebooting_{false};
    std::atomic<int> activeStreams_{0};

    std::mutex connectionsMutex_;
    std::list<Connection> connections_;
    std::thread acceptThread_;
};

}  // namespace devicesim
