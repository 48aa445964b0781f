// A scripted device on 127.0.0.1 for the library's tests. It accepts connections one after the
// other, records every byte each connection sends, and answers each with the next scripted reply
// (or the default one): chunks sent after scripted delays, optionally after the whole request
// (header and CONTENT-LENGTH body) has arrived.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "test_platform.h"

namespace korvex::test {

struct Chunk {
    int delayMs = 0;  // wait before sending this chunk
    std::string bytes;
};

struct Reply {
    std::vector<Chunk> chunks;
    // Answer only once the request's header and its CONTENT-LENGTH body are in.
    bool waitForRequest = true;
    // After the chunks: close at once (true) or keep the connection open until the client
    // closes it or the device stops.
    bool closeAfter = true;
    // Called on the device thread with the connected socket after the chunks, for tests that
    // need to stream more (it may send until it returns).
    std::function<void(RawSocket socket, const std::string& request)> then;
};

// A reply of one chunk with `text`, sent at once.
Reply Answer(std::string text);
// "HDMI/1.0 200 OK" with the given body lines and a matching CONTENT-LENGTH.
std::string OkResponse(const std::string& body = "");
// A reply that never answers (the connection stays open until the client gives up).
Reply Silence();

class FakeDevice {
  public:
    // Listens on `address` (a loopback address) and `port` (0: a free one).
    explicit FakeDevice(const char* address = "127.0.0.1", int port = 0);
    ~FakeDevice();
    FakeDevice(const FakeDevice&) = delete;
    FakeDevice& operator=(const FakeDevice&) = delete;

    int port() const { return port_; }

    // Replies for the next connections, in order; once they are used up, the default reply.
    void script(Reply reply);
    void setDefaultReply(Reply reply);

    // Every connection's received bytes, in the order the connections were accepted. A
    // connection's bytes are complete once the client has closed it.
    std::vector<std::string> requests() const;
    size_t connectionCount() const;
    // Waits until `count` connections were accepted and all of them were closed by the client.
    bool waitForClosedConnections(size_t count, std::chrono::milliseconds timeout) const;

    // While held, every connection takes in its request and then waits: nothing is answered
    // until release() (for tests that look at the client while the device is thinking).
    void hold();
    void release();

    // Stops accepting and closes every connection.
    void stop();

  private:
    void acceptLoop();
    void serve(RawSocket socket, size_t index, Reply reply);

    RawSocket listener_ = kNoRawSocket;
    // A datagram to wakeRead_ (from wakeWrite_, to which it is connected) wakes every wait of
    // the device: nobody reads it, so it stays readable.
    RawSocket wakeRead_ = kNoRawSocket;
    RawSocket wakeWrite_ = kNoRawSocket;
    int port_ = 0;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<Reply> scripted_;
    Reply defaultReply_;
    std::vector<std::string> received_;
    std::vector<bool> closed_;
    std::vector<RawSocket> sockets_;  // open connections (kNoRawSocket once closed), under mutex_
    std::vector<std::thread> workers_;
    std::thread acceptor_;
    bool stopping_ = false;
    bool held_ = false;
};

// Sends all of `bytes` on a blocking socket, as far as the peer takes them.
void SendAll(RawSocket socket, const std::string& bytes);

// A port on 127.0.0.1 where nothing listens (connections are refused).
int RefusingPort();

// A datagram socket bound to `address` (a loopback address such as 127.0.0.2) and a free port.
RawSocket DatagramSocketOn(const char* address);

// Whether a receiver is told the true sender of a loopback datagram. Wine reports every datagram
// from 127.0.0.x as coming from 127.0.0.1, so that another local sender cannot be told apart.
bool LoopbackSendersAreTold();

// A listener on 127.0.0.1 whose accept queue is full and never served, like a device that drops
// SYNs: a connection attempt to it gets no answer and hangs until its own timeout.
class SynDroppingListener {
  public:
    SynDroppingListener();
    ~SynDroppingListener();
    SynDroppingListener(const SynDroppingListener&) = delete;
    SynDroppingListener& operator=(const SynDroppingListener&) = delete;

    int port() const { return port_; }

  private:
    void closeAll();

    RawSocket listener_ = kNoRawSocket;
    int port_ = 0;
    std::vector<RawSocket> queued_;  // the connections that fill the queue
};

// Waits for `condition` with a deadline; true when it became true in time.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

}  // namespace korvex::test
