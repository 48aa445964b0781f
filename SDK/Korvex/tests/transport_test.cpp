// The socket layer: bounded connects, sends that never lose bytes or raise SIGPIPE, receives,
// UDP ports, and sockets numbered above FD_SETSIZE.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "fake_device.h"
#include "platform.h"

namespace korvex {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A listener on 127.0.0.1 whose accepted connection is handed to the test.
class Listener {
  public:
    Listener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 4);
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~Listener() { ::close(fd_); }
    int port() const { return port_; }
    int accept() { return ::accept(fd_, nullptr, nullptr); }

  private:
    int fd_;
    int port_;
};

TEST(Transport, ConnectsByAddressAndByNameAndReturnsABlockingSocket) {
    Listener listener;
    for (const char* host : {"127.0.0.1", "localhost"}) {
        Socket socket(ConnectWithTimeout(host, listener.port(), 1000));
        ASSERT_TRUE(socket.valid()) << host;
        EXPECT_EQ(fcntl(socket.get(), F_GETFL) & O_NONBLOCK, 0) << host;
        ::close(listener.accept());
    }
}

TEST(Transport, RefusedAndUnresolvableFailAtOnceWithoutLeavingASocket) {
    auto started = Clock::now();
    EXPECT_EQ(ConnectWithTimeout("127.0.0.1", test::RefusingPort(), 5000), kNoSocket);
    EXPECT_EQ(ConnectWithTimeout("", 15380, 5000), kNoSocket);
    EXPECT_EQ(ConnectWithTimeout(nullptr, 15380, 5000), kNoSocket);
    EXPECT_LT(Clock::now() - started, 2s);
}

TEST(Transport, AWokenWakerEndsAConnectionAttemptAtOnce) {
    test::SynDroppingListener dropping;
    Waker waker;
    ASSERT_TRUE(waker.valid());
    // Not woken: the attempt to a device that drops SYNs takes its whole wait, as without one.
    auto started = Clock::now();
    EXPECT_EQ(ConnectWithTimeout("127.0.0.1", dropping.port(), 300, &waker), kNoSocket);
    EXPECT_GE(Clock::now() - started, 290ms);
    // And a device that answers is reached as usual.
    Listener listener;
    Socket made(ConnectWithTimeout("127.0.0.1", listener.port(), 1000, &waker));
    EXPECT_TRUE(made.valid());

    // Once woken, every attempt ends at once, to a silent device and to one that answers. (A wake
    // during the wait is what a stream's stop does; its tests cover it.)
    waker.wake();
    started = Clock::now();
    EXPECT_EQ(ConnectWithTimeout("127.0.0.1", dropping.port(), 5000, &waker), kNoSocket);
    EXPECT_EQ(ConnectWithTimeout("127.0.0.1", listener.port(), 5000, &waker), kNoSocket);
    waker.wake();
    EXPECT_EQ(ConnectWithTimeout("127.0.0.1", dropping.port(), 5000, &waker), kNoSocket);
    EXPECT_LT(Clock::now() - started, 100ms);
}

TEST(Transport, ReceiveReportsTimeoutAndPeerCloseAsZero) {
    Listener listener;
    Socket socket(ConnectWithTimeout("127.0.0.1", listener.port(), 1000));
    ASSERT_TRUE(socket.valid());
    int peer = listener.accept();
    char buffer[16];

    auto started = Clock::now();
    EXPECT_EQ(ReceiveWithTimeout(socket.get(), buffer, sizeof buffer, 250), 0);
    auto waited = Clock::now() - started;
    EXPECT_GE(waited, 240ms);
    EXPECT_LT(waited, 1s);

    ::send(peer, "abc", 3, 0);
    EXPECT_EQ(ReceiveWithTimeout(socket.get(), buffer, sizeof buffer, 1000), 3);
    ::close(peer);
    started = Clock::now();
    EXPECT_EQ(ReceiveWithTimeout(socket.get(), buffer, sizeof buffer, 2000), 0);
    EXPECT_LT(Clock::now() - started, 500ms);
}

TEST(Transport, SendingToAClosedPeerFailsWithoutSignal) {
    Listener listener;
    Socket socket(ConnectWithTimeout("127.0.0.1", listener.port(), 1000));
    ASSERT_TRUE(socket.valid());
    ::close(listener.accept());
    std::string data(65536, 'x');
    bool failed = false;
    for (int i = 0; i < 50 && !failed; ++i) {
        failed = !SendAllWithTimeout(socket.get(), data.data(), data.size(), 500);
    }
    EXPECT_TRUE(failed);  // and the process is still alive
}

TEST(Transport, SendAllDeliversEveryByteInOrderToASlowReader) {
    Listener listener;
    Socket socket(ConnectWithTimeout("127.0.0.1", listener.port(), 1000));
    ASSERT_TRUE(socket.valid());
    int small = 4096;
    setsockopt(socket.get(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    int peer = listener.accept();
    setsockopt(peer, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);

    std::string data(256 * 1024, '\0');
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(i * 7 + i / 4096);
    }
    std::string received;
    std::thread reader([&] {
        char buffer[8192];
        while (received.size() < data.size()) {
            ssize_t count = ::recv(peer, buffer, sizeof buffer, 0);
            if (count <= 0) {
                break;
            }
            received.append(buffer, static_cast<size_t>(count));
        }
    });
    EXPECT_TRUE(SendAllWithTimeout(socket.get(), data.data(), data.size(), 2000));
    reader.join();
    ::close(peer);
    EXPECT_TRUE(received == data);
}

TEST(Transport, SendAllGivesUpWithinItsWaitWhenThePeerStopsReading) {
    Listener listener;
    Socket socket(ConnectWithTimeout("127.0.0.1", listener.port(), 1000));
    ASSERT_TRUE(socket.valid());
    int peer = listener.accept();
    std::string data(32 * 1024 * 1024, 'x');  // far more than both socket buffers hold
    auto started = Clock::now();
    EXPECT_FALSE(SendAllWithTimeout(socket.get(), data.data(), data.size(), 300));
    EXPECT_LT(Clock::now() - started, 3s);
    ::close(peer);
}

TEST(Transport, UdpPortThatIsTakenGivesNoSocket) {
    Socket first(OpenUdpReceiver(0));
    ASSERT_TRUE(first.valid());
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(first.get(), reinterpret_cast<sockaddr*>(&address), &length);
    EXPECT_EQ(OpenUdpReceiver(ntohs(address.sin_port)), kNoSocket);
}

TEST(Transport, DatagramLargerThanTheRoomIsAnErrorNotACutDatagram) {
    Socket receiver(OpenUdpReceiver(0));
    ASSERT_TRUE(receiver.valid());
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(receiver.get(), reinterpret_cast<sockaddr*>(&address), &length);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int sender = ::socket(AF_INET, SOCK_DGRAM, 0);
    std::string big(3000, 'b');
    std::string fits(100, 'f');
    ::sendto(sender, big.data(), big.size(), 0, reinterpret_cast<sockaddr*>(&address), length);
    ::sendto(sender, fits.data(), fits.size(), 0, reinterpret_cast<sockaddr*>(&address), length);
    ::close(sender);

    char buffer[1024];
    EXPECT_LT(ReceiveDatagramWithTimeout(receiver.get(), buffer, sizeof buffer, 1000), 0);
    EXPECT_EQ(ReceiveDatagramWithTimeout(receiver.get(), buffer, sizeof buffer, 1000), 100);
}

TEST(Transport, SocketsNumberedAboveFdSetSizeWork) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    const int high = FD_SETSIZE + 100;
    if (limit.rlim_cur <= static_cast<rlim_t>(high)) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, high + 1);
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur <= static_cast<rlim_t>(high)) {
        GTEST_SKIP() << "cannot open descriptors above FD_SETSIZE here";
    }
    Listener listener;
    Socket low(ConnectWithTimeout("127.0.0.1", listener.port(), 1000));
    ASSERT_TRUE(low.valid());
    Socket socket(dup2(low.get(), high));
    ASSERT_EQ(socket.get(), high);
    int peer = listener.accept();
    ::send(peer, "hello", 5, 0);
    char buffer[8];
    EXPECT_EQ(ReceiveWithTimeout(socket.get(), buffer, sizeof buffer, 1000), 5);
    EXPECT_EQ(SendWithTimeout(socket.get(), "ok", 2, 1000), 2);
    ::close(peer);
}

}  // namespace
}  // namespace korvex
