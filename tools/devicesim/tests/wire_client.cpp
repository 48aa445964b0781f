#include "wire_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace devicesim_test {

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

int connectTo(const std::string& host, uint16_t port, int timeoutMs) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        ::close(fd);
        return -1;
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    pollfd wait = {fd, POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    if (::poll(&wait, 1, timeoutMs) != 1 ||
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool sendText(int fd, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t count = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count <= 0) {
            return false;
        }
        sent += static_cast<size_t>(count);
    }
    return true;
}

std::string readUntilClosed(int fd, int timeoutMs, bool* closed) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string received;
    char buffer[4096];
    if (closed != nullptr) {
        *closed = false;
    }
    for (;;) {
        pollfd wait = {fd, POLLIN, 0};
        if (::poll(&wait, 1, msLeft(deadline)) != 1) {
            return received;
        }
        const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
        if (count <= 0) {
            if (closed != nullptr) {
                *closed = true;
            }
            return received;
        }
        received.append(buffer, static_cast<size_t>(count));
    }
}

std::string ask(uint16_t port, const std::string& requestBytes, int timeoutMs) {
    const int fd = connectLoopback(port, timeoutMs);
    if (fd < 0) {
        return std::string();
    }
    std::string answer;
    if (sendText(fd, requestBytes)) {
        answer = readUntilClosed(fd, timeoutMs);
    }
    ::close(fd);
    return answer;
}

std::string request(const std::string& command, int chn, const std::string& body) {
    return command + " HDMI/1.0\r\nAUTHORIZATION: BASIC \r\nCHN:" + std::to_string(chn) +
           "\r\nCONTENT-LENGTH:" + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string okAnswer(const std::string& body) {
    return "HDMI/1.0 200 OK\r\nCONTENT-LENGTH:" + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string statusLine(const std::string& answer) {
    return answer.substr(0, answer.find("\r\n"));
}

}  // namespace devicesim_test
