// The socket layer: bounded connects, sends that never lose bytes or raise SIGPIPE, receives,
// UDP ports, and sockets numbered above FD_SETSIZE.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "fake_device.h"
#include "platform.h"
#include "test_platform.h"

namespace korvex {
namespace {

using namespace std::chrono_literals;
using test::CloseRawSocket;
using test::RawSocket;
using Clock = std::chrono::steady_clock;

// Where datagrams to `socket` go: its bound port on 127.0.0.1.
sockaddr_in LoopbackAddressOf(RawSocket socket) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A listener on 127.0.0.1 whose accepted connection is handed to the test.
class Listener {
  public:
    Listener() : fd_(test::OpenSocket(SOCK_STREAM)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 4);
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~Listener() { CloseRawSocket(fd_); }
    int port() const { return port_; }
    RawSocket accept() { return test::AcceptConnection(fd_); }

  private:
    RawSocket fd_;
    int port_;
};

TEST(Transport, ConnectsByAddressAndByNameAndReturnsABlockingSocket) {
    Listener listener;
    for (const char* host : {"127.0.0.1", "localhost"}) {
        Socket socket(ConnectWithTimeout(host, listener.port(), 1000));
        ASSERT_TRUE(socket.valid()) << host;
        // A receive with nothing to read waits out the socket's receive timeout when the socket
        // blocks; a non-blocking one would fail at once.
        test::SetReceiveTimeout(socket.get(), 200);
        char byte;
        auto started = Clock::now();
        EXPECT_LT(test::ReceiveBytes(socket.get(), &byte, 1), 0) << host;
        EXPECT_GE(Clock::now() - started, 150ms) << host;
        CloseRawSocket(listener.accept());
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
    RawSocket peer = listener.accept();
    char buffer[16];

    auto started = Clock::now();
    EXPECT_EQ(ReceiveWithTimeout(socket.get(), buffer, sizeof buffer, 250), 0);
    auto waited = Clock::now() - started;
    EXPECT_GE(waited, 240ms);
    EXPECT_LT(waited, 1s);

    test::SendBytes(peer, "abc", 3);
    EXPECT_EQ(ReceiveWithTimeout(socket.get(), buffer, sizeof buffer, 1000), 3);
    CloseRawSocket(peer);
    started = Clock::now();
    EXPECT_EQ(ReceiveWithTimeout(socket.get(), buffer, sizeof buffer, 2000), 0);
    EXPECT_LT(Clock::now() - started, 500ms);
}

TEST(Transport, SendingToAClosedPeerFailsWithoutSignal) {
    Listener listener;
    Socket socket(ConnectWithTimeout("127.0.0.1", listener.port(), 1000));
    ASSERT_TRUE(socket.valid());
    CloseRawSocket(listener.accept());
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
    const auto* smallOption = reinterpret_cast<const char*>(&small);
    setsockopt(socket.get(), SOL_SOCKET, SO_SNDBUF, smallOption, sizeof small);
    RawSocket peer = listener.accept();
    setsockopt(peer, SOL_SOCKET, SO_RCVBUF, smallOption, sizeof small);

    std::string data(256 * 1024, '\0');
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(i * 7 + i / 4096);
    }
    std::string received;
    std::thread reader([&] {
        char buffer[8192];
        while (received.size() < data.size()) {
            long count = test::ReceiveBytes(peer, buffer, sizeof buffer);
            if (count <= 0) {
                break;
            }
            received.append(buffer, static_cast<size_t>(count));
        }
    });
    EXPECT_TRUE(SendAllWithTimeout(socket.get(), data.data(), data.size(), 2000));
    reader.join();
    CloseRawSocket(peer);
    EXPECT_TRUE(received == data);
}

TEST(Transport, SendAllGivesUpWithinItsWaitWhenThePeerStopsReading) {
    Listener listener;
    Socket socket(ConnectWithTimeout("127.0.0.1", listener.port(), 1000));
    ASSERT_TRUE(socket.valid());
    RawSocket peer = listener.accept();
    std::string data(32 * 1024 * 1024, 'x');  // far more than both socket buffers hold
    auto started = Clock::now();
    EXPECT_FALSE(SendAllWithTimeout(socket.get(), data.data(), data.size(), 300));
    EXPECT_LT(Clock::now() - started, 3s);
    CloseRawSocket(peer);
}

TEST(Transport, UdpPortThatIsTakenGivesNoSocket) {
    Socket first(OpenUdpReceiver(0));
    ASSERT_TRUE(first.valid());
    EXPECT_EQ(OpenUdpReceiver(ntohs(LoopbackAddressOf(first.get()).sin_port)), kNoSocket);
}

TEST(Transport, DatagramLargerThanTheRoomIsAnErrorNotACutDatagram) {
    Socket receiver(OpenUdpReceiver(0));
    ASSERT_TRUE(receiver.valid());
    sockaddr_in address = LoopbackAddressOf(receiver.get());
    const socklen_t length = sizeof address;
    RawSocket sender = test::OpenSocket(SOCK_DGRAM);
    std::string big(3000, 'b');
    std::string fits(100, 'f');
    ::sendto(sender, big.data(), static_cast<int>(big.size()), 0,
             reinterpret_cast<sockaddr*>(&address), length);
    ::sendto(sender, fits.data(), static_cast<int>(fits.size()), 0,
             reinterpret_cast<sockaddr*>(&address), length);
    CloseRawSocket(sender);

    const HostAddress source = htonl(INADDR_LOOPBACK);
    char buffer[1024];
    EXPECT_LT(ReceiveDatagramWithTimeout(receiver.get(), buffer, sizeof buffer, 1000, source), 0);
    EXPECT_EQ(ReceiveDatagramWithTimeout(receiver.get(), buffer, sizeof buffer, 1000, source), 100);
}

TEST(Transport, DatagramsFromAnotherSenderArePassedOverAlsoOversizedOnes) {
    if (!test::LoopbackSendersAreTold()) {
        GTEST_SKIP() << "this system does not tell which loopback address a datagram came from";
    }
    Socket receiver(OpenUdpReceiver(0));
    ASSERT_TRUE(receiver.valid());
    sockaddr_in address = LoopbackAddressOf(receiver.get());
    const socklen_t length = sizeof address;
    RawSocket device = test::DatagramSocketOn("127.0.0.1");
    RawSocket stranger = test::DatagramSocketOn("127.0.0.2");
    auto send = [&](RawSocket from, const std::string& bytes) {
        ::sendto(from, bytes.data(), static_cast<int>(bytes.size()), 0,
                 reinterpret_cast<sockaddr*>(&address), length);
    };
    send(stranger, std::string(3000, 'b'));
    send(stranger, std::string(50, 's'));
    send(device, std::string(100, 'f'));
    send(stranger, std::string(50, 's'));

    const HostAddress source = htonl(INADDR_LOOPBACK);
    char buffer[1024];
    EXPECT_EQ(ReceiveDatagramWithTimeout(receiver.get(), buffer, sizeof buffer, 1000, source), 100);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(ReceiveDatagramWithTimeout(receiver.get(), buffer, sizeof buffer, 300, source), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(250));
    CloseRawSocket(device);
    CloseRawSocket(stranger);
}

TEST(Transport, SocketsNumberedAboveFdSetSizeWork) {
    if (!test::kSocketsAreDescriptors) {
        GTEST_SKIP() << "POSIX only: Winsock sockets are handles, not descriptor numbers, and its "
                        "select sets are lists of handles that no number can overflow";
    }
    Listener listener;
    Socket low(ConnectWithTimeout("127.0.0.1", listener.port(), 1000));
    ASSERT_TRUE(low.valid());
    const int high = FD_SETSIZE + 100;
    Socket socket(test::CopyToDescriptor(low.get(), high));
    if (!socket.valid()) {
        GTEST_SKIP() << "cannot open descriptors above FD_SETSIZE here";
    }
    ASSERT_EQ(socket.get(), static_cast<SocketHandle>(high));
    RawSocket peer = listener.accept();
    test::SendBytes(peer, "hello", 5);
    char buffer[8];
    EXPECT_EQ(ReceiveWithTimeout(socket.get(), buffer, sizeof buffer, 1000), 5);
    EXPECT_EQ(SendWithTimeout(socket.get(), "ok", 2, 1000), 2);
    CloseRawSocket(peer);
}

}  // namespace
}  // namespace korvex
